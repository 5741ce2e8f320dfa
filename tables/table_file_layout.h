// The fixed parts of a table file (docs/table-file-format.md), read and written field by field: the
// 21-byte header, the 37-byte column / block descriptor and a dictionary entry. The reader
// (table_file_reader.cpp), the writer (table_file_writer.h) and the structure cache use these and
// nothing else. Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

#include "infra/byte_codec.h"
#include "tables/field.h"

inline constexpr qsizetype kTableHeaderSize = 21;
inline constexpr qsizetype kDescriptorSize = 37;

struct TableHeader {
    QString name;  // up to 8 characters
    int32_t RecordCount = 0;
    int32_t DataBlockCount = 0;
    int32_t ColumnCount = 0;
    QByteArrayView raw;  // the 21 bytes as read
};

// A column descriptor of the column list, or a block descriptor (then fields.n_abs is the 1-based
// position of the column). Extra: the entry count (codes 15, 16) or blob length (code 24).
struct ColumnDescriptor {
    Stru_NetFields fields;
    int32_t Extra = 0;
    QByteArrayView raw;  // the 37 bytes as read
};

bool ReadTableHeader(ByteReader& in, TableHeader& header);
bool ReadColumnDescriptor(ByteReader& in, ColumnDescriptor& descriptor);
// One dictionary entry of a column of code 15 (a 32-bit key) or 16 (a 16-bit key): the key and the
// characters of its text.
bool ReadDictionaryEntry(ByteReader& in, uint8_t code, uint32_t& key, QByteArrayView& text);
// `count` dictionary entries of a column of that code into its keys (code 15: DataCardinal, code 16:
// DataWord) and texts (DataStringN), which they replace. False at the first entry that is cut short,
// keeping the entries before it; false with nothing changed when fewer bytes remain than `count`
// entries take at least.
bool ReadDictionary(ByteReader& in, uint8_t code, int32_t count, Stru_Data& data);

void AppendTableHeader(QByteArray& out, const QString& name, int32_t recordCount, int32_t blockCount,
                       int32_t columnCount);
void AppendColumnDescriptor(QByteArray& out, const Stru_NetFields& fields, int32_t extra);
// text: code-page bytes, cut to 255.
void AppendDictionaryEntry(QByteArray& out, uint8_t code, uint32_t key, QByteArrayView text);
