// Writing table files in the format TBaseClient::LoadFromFile reads (docs/table-file-format.md), with
// the digest the client's cache keeps for each column, so that a server can leave out the blocks whose
// digest the client already holds. The stand-in server writes its files with TableFileWriter and
// MakeTableFileBlock; tests, benchmarks and fuzz targets describe a whole table as TableFileContent.
//
// Usage:
//   TableFileContent t{.name = "gps", .RecordCount = 2};
//   TableFileColumn& id = t.columns.emplace_back(TableFileColumn{.n_abs = 1, .name = "n_abs",
//                                                                .TypeField = 1, .Size = 4});
//   AppendValue(id, int32_t(17)); AppendValue(id, int32_t(18));
//   ... further columns ...
//   QByteArray bytes = WriteTableFile(t, /*zip=*/false);
//
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

#include "infra/byte_codec.h"
#include "tables/field.h"

// What a column's data block carries after its descriptor, the descriptor's Extra, and the digest the
// client's cache keeps for the column.
struct TableFileBlock {
    int32_t Extra = 0;  // the entry count (codes 15, 16) or the blob length (code 24)
    QByteArray body;
    QByteArray digest;  // 16 bytes; the client sends it as 32 hexadecimal digits
};

// The block of a column of a table of `records` records: entries are the dictionary entries as
// AppendDictionaryEntry writes them, values the record values (Size bytes each), blob the
// length-prefixed texts of code 24. The digest is that of the column's cache payload
// (column_payload.h); a client caches (and so reports) a column only from a file with records.
TableFileBlock MakeTableFileBlock(uint8_t code, int32_t records, int32_t entryCount, QByteArrayView entries,
                                  QByteArrayView values, QByteArrayView blob);

// Puts a table file together as pieces that follow one another, so that blocks made once can go into
// many files without being copied: the column list first, then the blocks.
class TableFileWriter {
  public:
    TableFileWriter(const QString& name, int32_t recordCount);

    void AddColumn(const Stru_NetFields& column, int32_t extra);
    // The block of the column at 1-based position `position` of the list; the body is shared.
    void AddBlock(int32_t position, const Stru_NetFields& column, const TableFileBlock& block);
    int32_t BlockCount() const { return blocks_; }
    // The whole file; the writer is spent.
    std::vector<QByteArray> TakePieces();

  private:
    QString name_;
    int32_t records_;
    int32_t columns_ = 0;
    int32_t blocks_ = 0;
    std::vector<QByteArray> pieces_;
    QByteArray head_;  // what is written since the last shared body
};

struct TableFileDictEntry {
    uint32_t key = 0;  // code 15: 32 bits in the file; code 16: the low 16 bits
    QString text;      // up to 255 characters of the code page
};

struct TableFileColumn {
    int32_t n_abs = 0;  // the server's column identifier
    QString name;       // up to 15 characters
    uint8_t TypeField = 0;
    int32_t Size = 0;  // bytes per record value; the element width for fixed-width codes
    int32_t SprSize = 0;
    // Whether a data block follows for this column; false when the client's cached copy is current.
    bool sendData = true;
    // Size x RecordCount bytes of record values, as the block carries them (code 24: the offsets).
    QByteArray values;
    std::vector<TableFileDictEntry> dictionary;  // codes 15 and 16
    QByteArray blob;                             // code 24: length-prefixed texts
};

struct TableFileContent {
    QString name;  // up to 8 characters; must equal the table's name (or occur in it, structure-only)
    int32_t RecordCount = 0;
    std::vector<TableFileColumn> columns;
};

// The whole file; zip compresses it with zlib (the client then needs its Zip flag set).
QByteArray WriteTableFile(const TableFileContent& table, bool zip);
// Writes it to path, replacing a file there; false when it could not be written.
bool WriteTableFileTo(const QString& path, const TableFileContent& table, bool zip);

// The digest the client's cache stores for this column (32 upper-case hexadecimal digits), which the
// client sends in the "md5" object of its load request.
QString ColumnCacheMD5(const TableFileColumn& column);

// Helpers that append one record's value to a column.
template <typename T>
void AppendValue(TableFileColumn& column, T value) {
    AppendLE(column.values, value);
}
// Code 2: a text slot of the column's Size.
void AppendFixedText(TableFileColumn& column, const QString& text);
// Code 24: the text goes to the blob and its offset to the record values.
void AppendVarText(TableFileColumn& column, const QString& text);
// Code 24: a record without text (offset -1).
void AppendNoVarText(TableFileColumn& column);
