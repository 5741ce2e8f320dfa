#include "tables/table_file_writer.h"

#include <zlib.h>

#include <QFile>

#include "infra/codepage.h"
#include "tables/column_payload.h"
#include "tables/field.h"
#include "tables/snapshot_layout.h"

namespace {

bool IsDictionary(uint8_t code) {
    return code == FieldCode::Dict16 || code == FieldCode::Dict8;
}

// Extra of a descriptor: entry count or blob length.
int32_t ExtraOf(const TableFileColumn& c) {
    if (IsDictionary(c.TypeField)) {
        return int32_t(c.dictionary.size());
    }
    return c.TypeField == FieldCode::VarText ? int32_t(c.blob.size()) : 0;
}

Stru_NetFields FieldsOf(const TableFileColumn& c, int32_t id) {
    Stru_NetFields f;
    f.n_abs = id;
    f.name = c.name;
    f.TypeField = c.TypeField;
    f.Size = c.Size;
    f.SprSize = c.SprSize;
    return f;
}

QByteArray DictionaryBytes(const TableFileColumn& c) {
    QByteArray out;
    for (const TableFileDictEntry& e : c.dictionary) {
        if (c.TypeField == FieldCode::Dict16) {
            AppendLE(out, e.key);
        } else {
            AppendLE(out, uint16_t(e.key));
        }
        const QByteArray text = toAnsi(e.text).left(255);
        AppendLE(out, uint8_t(text.size()));
        out.append(text);
    }
    return out;
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

QByteArray WriteTableFile(const TableFileContent& table, bool zip) {
    int32_t blocks = 0;
    for (const TableFileColumn& c : table.columns) {
        blocks += c.sendData ? 1 : 0;
    }
    QByteArray out;
    AppendTableHeader(out, table.name, table.RecordCount, blocks, int32_t(table.columns.size()));
    for (const TableFileColumn& c : table.columns) {
        AppendColumnDescriptor(out, FieldsOf(c, c.n_abs), ExtraOf(c));
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const TableFileColumn& c = table.columns[i];
        if (!c.sendData) {
            continue;
        }
        AppendColumnDescriptor(out, FieldsOf(c, int32_t(i + 1)), ExtraOf(c));
        if (IsDictionary(c.TypeField)) {
            out.append(DictionaryBytes(c));
        }
        if (table.RecordCount > 0 && FieldHasStorage(c.TypeField)) {
            out.append(c.values);
            if (c.TypeField == FieldCode::VarText) {
                out.append(c.blob);
            }
        }
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
    QByteArray payload;
    const QByteArray entries = DictionaryBytes(column);
    AppendColumnPayload(payload, column.TypeField, int32_t(column.dictionary.size()), entries, column.values,
                        column.blob);
    return DigestHex(PayloadDigest(payload));
}

void AppendFixedText(TableFileColumn& column, const QString& text) {
    column.values.append(TextSlot(text, column.Size));
}

void AppendVarText(TableFileColumn& column, const QString& text) {
    AppendLE(column.values, int32_t(column.blob.size()));
    const QByteArray ansi = toAnsi(text).left(255);
    AppendLE(column.blob, uint8_t(ansi.size()));
    column.blob.append(ansi);
}

void AppendNoVarText(TableFileColumn& column) {
    AppendLE(column.values, int32_t(-1));
}
