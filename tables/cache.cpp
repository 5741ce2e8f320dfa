#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/file_names.h"
#include "infra/files.h"
#include "tables/base_client.h"
#include "tables/cache_files.h"
#include "tables/column_payload.h"
#include "tables/table_file_layout.h"

namespace {

constexpr uint8_t kScrambleKind = 1;
constexpr qsizetype kColumnHead = 19;  // head bytes, code byte, digest

bool WriteScrambled(const QString& path, QByteArray& buffer) {
    SetRandomHead(buffer);
    ScrambleBytes(buffer, kScrambleKind);
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(buffer) == buffer.size();
}

// Reads and unscrambles a whole cache file; false when it could not be opened.
bool ReadScrambled(const QString& path, QByteArray& content) {
    const auto file = OpenNotBlock(path);
    if (!file) {
        return false;
    }
    content = file->readAll();
    file->close();
    ScrambleBytes(content, kScrambleKind);
    return true;
}

// A column's values from its cache payload; false when the payload does not hold them all.
bool FillColumn(FieldGFB& f, uint8_t code, size_t records, int32_t extra, ByteReader& body) {
    Stru_Data& d = f.Data;
    switch (code) {
        case FieldCode::Integer:
        case FieldCode::Color:
            return body.ReadArray(d.DataInteger, records);
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            return f.Size >= 1 && int64_t(f.Size) * int64_t(records) <= kMaxColumnBytes &&
                   body.ReadArray(d.DataByte, records * size_t(f.Size));
        case FieldCode::Byte:
            return body.ReadArray(d.DataByte, records);
        case FieldCode::Boolean:
            return body.ReadArray(d.DataBoolean, records);
        case FieldCode::Word:
            return body.ReadArray(d.DataWord, records);
        case FieldCode::Float:
            return body.ReadArray(d.DataFloat, records);
        case FieldCode::Double:
            return body.ReadArray(d.DataDouble, records);
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            return body.ReadArray(d.DataCardinal, records);
        case FieldCode::DateTime:
            return body.ReadArray(d.DataDateTime, records);
        case FieldCode::Int64:
            return body.ReadArray(d.DataInt64, records);
        case FieldCode::Dict16: {
            uint16_t count = 0;
            return body.Skip(1) && body.Read(count) && ReadDictionary(body, code, count, d) &&
                   body.ReadArray(d.DataWord, records);
        }
        case FieldCode::Dict8: {
            uint16_t count = 0;
            return body.Skip(1) && body.Read(count) && ReadDictionary(body, code, count, d) &&
                   body.ReadArray(d.DataByte, records);
        }
        case FieldCode::VarText:
            return extra >= 0 && body.ReadArray(d.DataInteger, records) &&
                   body.ReadArray(d.DataByte, size_t(extra));
        default:
            return true;
    }
}

}  // namespace

QString StructureCachePath(const QString& table) {
    return QStringLiteral("temp/") + table + u'/' + table + QStringLiteral(".cacheb");
}

QString ColumnCachePath(const QString& table, const QString& column) {
    return QStringLiteral("temp/") + table + u'/' + column + QStringLiteral(".cache");
}

StructureCacheWriter::StructureCacheWriter(const QString& table, QByteArrayView header)
    : FPath(StructureCachePath(table)) {
    QFile::remove(FPath);
    FBuffer = QByteArray(2, '\0');
    FBuffer.append(header);
}

void StructureCacheWriter::Add(QByteArrayView descriptor) {
    FBuffer.append(descriptor);
}

bool StructureCacheWriter::Finish() {
    return WriteScrambled(FPath, FBuffer);
}

bool WriteColumnCache(const QString& table, const QString& column, uint8_t code, int32_t entryCount,
                      QByteArrayView entries, QByteArrayView values, QByteArrayView blob) {
    if (!IsPlainFileName(column)) {
        return false;
    }
    QByteArray buffer(kColumnHead, '\0');
    buffer.reserve(kColumnHead + entries.size() + values.size() + blob.size() + 3);
    AppendColumnPayload(buffer, code, entryCount, entries, values, blob);
    const QByteArray digest = ColumnDigest(code, entryCount, entries, values, blob);
    buffer[2] = char(code);
    std::memcpy(buffer.data() + 3, digest.constData(), 16);
    return WriteScrambled(ColumnCachePath(table, column), buffer);
}

bool TBaseClient::CacheLoad() {
    const auto guard = Guard();
    const QString structurePath = StructureCachePath(NameTableS);
    if (!Cache || !QFile::exists(structurePath)) {
        return true;
    }
    QByteArray structure;
    if (!ReadScrambled(structurePath, structure)) {
        return false;
    }
    ByteReader in(structure);
    TableHeader header;
    if (!in.Skip(2) || !ReadTableHeader(in, header) || header.RecordCount < 0 ||
        header.RecordCount > kMaxRecordCount) {
        return false;
    }
    const auto records = size_t(header.RecordCount);
    const uint16_t columnCount = uint16_t(header.ColumnCount);
    bool complete = true;
    for (uint16_t k = 0; k < columnCount; ++k) {
        ColumnDescriptor d;
        if (!ReadColumnDescriptor(in, d)) {
            return false;
        }
        FieldGFB& f = *Fields[size_t(AddField(d.fields))];
        const QString path = ColumnCachePath(NameTableS, f.name);
        if (!IsPlainFileName(f.name) || !QFile::exists(path)) {
            continue;
        }
        QByteArray content;
        if (!ReadScrambled(path, content)) {
            return false;
        }
        if (content.size() < kColumnHead) {
            complete = false;
            continue;
        }
        const uint8_t code = uint8_t(content[2]);
        f.MD5 = DigestHex(QByteArrayView(content).sliced(3, 16));
        f.TypeField = code;
        f.Load = true;
        if (records == 0) {
            continue;
        }
        ByteReader body(QByteArrayView(content).sliced(kColumnHead));
        if (FillColumn(f, code, records, d.Extra, body)) {
            f.Data.DataSelected.assign(records, false);
            continue;
        }
        // A damaged file goes without digest, so the server sends the column again.
        f.Data = Stru_Data{};
        f.MD5.clear();
        f.Load = false;
        complete = false;
    }
    return complete;
}
