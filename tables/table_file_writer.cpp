#include "tables/table_file_writer.h"

#include <zlib.h>

#include <QFile>

#include "infra/codepage.h"
#include "tables/column_payload.h"
#include "tables/table_file_layout.h"

namespace {

Stru_NetFields FieldsOf(const TableFileColumn& c) {
    Stru_NetFields f;
    f.n_abs = c.n_abs;
    f.name = c.name;
    f.TypeField = c.TypeField;
    f.Size = c.Size;
    f.SprSize = c.SprSize;
    return f;
}

QByteArray DictionaryBytes(const TableFileColumn& c) {
    QByteArray out;
    for (const TableFileDictEntry& e : c.dictionary) {
        AppendDictionaryEntry(out, c.TypeField, e.key, toAnsi(e.text));
    }
    return out;
}

TableFileBlock BlockOf(const TableFileColumn& c, int32_t records) {
    return MakeTableFileBlock(c.TypeField, records, int32_t(c.dictionary.size()), DictionaryBytes(c),
                              c.values, c.blob);
}

QByteArray Compress(const QByteArray& plain) {
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.constData()),
              uLong(plain.size()), Z_DEFAULT_COMPRESSION);
    out.resize(qsizetype(size));
    return out;
}

}  // namespace

TableFileBlock MakeTableFileBlock(uint8_t code, int32_t records, int32_t entryCount, QByteArrayView entries,
                                  QByteArrayView values, QByteArrayView blob) {
    TableFileBlock block;
    const bool dictionary = FieldIsDictionary(code);
    block.Extra = dictionary ? entryCount : code == FieldCode::VarText ? int32_t(blob.size()) : 0;
    if (dictionary) {
        block.body.append(entries);
    }
    // A dictionary's entries travel even without records; values (and a blob) only with them.
    if (records > 0 && FieldHasStorage(code)) {
        block.body.append(values);
        if (code == FieldCode::VarText) {
            block.body.append(blob);
        }
    }
    block.digest = ColumnDigest(code, entryCount, entries, values, blob);
    return block;
}

TableFileWriter::TableFileWriter(const QString& name, int32_t recordCount)
    : name_(name), records_(recordCount) {
    head_.resize(kTableHeaderSize);
}

void TableFileWriter::AddColumn(const Stru_NetFields& column, int32_t extra) {
    AppendColumnDescriptor(head_, column, extra);
    ++columns_;
}

void TableFileWriter::AddBlock(int32_t position, const Stru_NetFields& column, const TableFileBlock& block) {
    Stru_NetFields at = column;
    at.n_abs = position;
    AppendColumnDescriptor(head_, at, block.Extra);
    ++blocks_;
    if (!block.body.isEmpty()) {
        pieces_.push_back(std::move(head_));
        pieces_.push_back(block.body);
        head_ = QByteArray();
    }
}

std::vector<QByteArray> TableFileWriter::TakePieces() {
    if (!head_.isEmpty()) {
        pieces_.push_back(std::move(head_));
    }
    // The header goes in last, when the counts are known, into the room kept for it at the start.
    QByteArray header;
    AppendTableHeader(header, name_, records_, blocks_, columns_);
    pieces_.front().replace(0, kTableHeaderSize, header);
    return std::move(pieces_);
}

QByteArray WriteTableFile(const TableFileContent& table, bool zip) {
    TableFileWriter writer(table.name, table.RecordCount);
    std::vector<TableFileBlock> blocks;
    for (const TableFileColumn& c : table.columns) {
        blocks.push_back(BlockOf(c, table.RecordCount));
        writer.AddColumn(FieldsOf(c), blocks.back().Extra);
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].sendData) {
            writer.AddBlock(int32_t(i + 1), FieldsOf(table.columns[i]), blocks[i]);
        }
    }
    QByteArray out;
    for (const QByteArray& piece : writer.TakePieces()) {
        out.append(piece);
    }
    return zip ? Compress(out) : out;
}

bool WriteTableFileTo(const QString& path, const TableFileContent& table, bool zip) {
    const QByteArray bytes = WriteTableFile(table, zip);
    QFile::remove(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString ColumnCacheMD5(const TableFileColumn& column) {
    return DigestHex(BlockOf(column, 1).digest);
}

void AppendFixedText(TableFileColumn& column, const QString& text) {
    column.values.append(TextSlot(text, column.Size));
}

void AppendVarText(TableFileColumn& column, const QString& text) {
    AppendLE(column.values, int32_t(column.blob.size()));
    AppendShortText(column.blob, toAnsi(text));
}

void AppendNoVarText(TableFileColumn& column) {
    AppendLE(column.values, int32_t(-1));
}
