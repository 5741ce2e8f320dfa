#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/files.h"
#include "tables/base_client.h"
#include "tables/byte_codec.h"
#include "tables/cache_files.h"
#include "tables/column_payload.h"
#include "tables/snapshot_layout.h"

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

// Sizes the array to count elements and copies what the bytes hold; false when they hold fewer.
template <typename T>
bool FillArray(std::vector<T>& array, size_t count, QByteArrayView bytes) {
    array.assign(count, T{});
    const size_t n = std::min(size_t(bytes.size()), count * sizeof(T));
    if (n > 0) {
        std::memcpy(array.data(), bytes.data(), n);
    }
    return size_t(bytes.size()) >= count * sizeof(T);
}

// Dictionary entries (key of KeyT, length-prefixed text) into keys and texts; false when an entry runs
// past the end (the entries before it are kept).
template <typename KeyT, typename StoreT>
bool ReadDictionary(ByteReader& in, uint16_t count, std::vector<StoreT>& keys, std::vector<QString>& texts) {
    keys.assign(count, StoreT{});
    texts.assign(count, QString());
    for (uint16_t i = 0; i < count; ++i) {
        KeyT key{};
        QByteArrayView text;
        if (!in.Read(key) || !in.ReadShortText(text)) {
            keys.resize(i);
            texts.resize(i);
            return false;
        }
        keys[i] = StoreT(key);
        texts[i] = fromAnsi(text);
    }
    return true;
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
    if (!IsSafeFileComponent(column)) {
        return false;
    }
    QByteArray buffer(kColumnHead, '\0');
    buffer.reserve(kColumnHead + entries.size() + values.size() + blob.size() + 3);
    AppendColumnPayload(buffer, code, entryCount, entries, values, blob);
    const QByteArray digest = PayloadDigest(QByteArrayView(buffer).sliced(kColumnHead));
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
        if (!IsSafeFileComponent(f.name) || !QFile::exists(path)) {
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
        f.Data.DataSelected.assign(records, false);
        ByteReader body(QByteArrayView(content).sliced(kColumnHead));
        bool filled = true;
        switch (code) {
            case FieldCode::Integer:
            case FieldCode::Color:
                filled = FillArray(f.Data.DataInteger, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::FixedText:
            case FieldCode::ByteArray:
                if (f.Size < 1 || int64_t(f.Size) * header.RecordCount > kMaxColumnBytes) {
                    complete = false;
                    break;
                }
                filled =
                    FillArray(f.Data.DataByte, records * size_t(f.Size), body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Byte:
                filled = FillArray(f.Data.DataByte, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Boolean:
                filled = FillArray(f.Data.DataBoolean, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Word:
                filled = FillArray(f.Data.DataWord, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Float:
                filled = FillArray(f.Data.DataFloat, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Double:
                filled = FillArray(f.Data.DataDouble, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Cardinal:
            case FieldCode::Stamp2000:
                filled = FillArray(f.Data.DataCardinal, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::DateTime:
                filled = FillArray(f.Data.DataDateTime, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Int64:
                filled = FillArray(f.Data.DataInt64, records, body.TakeUpTo(body.Remaining()));
                break;
            case FieldCode::Dict16:
            case FieldCode::Dict8: {
                uint16_t count = 0;
                const bool wide = code == FieldCode::Dict16;
                bool ok = body.Skip(1) && body.Read(count);
                if (ok && wide) {
                    ok = ReadDictionary<uint32_t>(body, count, f.Data.DataCardinal, f.Data.DataStringN);
                } else if (ok) {
                    ok = ReadDictionary<uint16_t>(body, count, f.Data.DataWord, f.Data.DataStringN);
                }
                complete = complete && ok;
                if (wide) {
                    filled = FillArray(f.Data.DataWord, records, body.TakeUpTo(body.Remaining()));
                } else {
                    filled = FillArray(f.Data.DataByte, records, body.TakeUpTo(body.Remaining()));
                }
                break;
            }
            case FieldCode::VarText: {
                filled = FillArray(f.Data.DataInteger, records, body.TakeUpTo(qsizetype(records) * 4));
                const int64_t blob = std::clamp<int64_t>(d.Extra, 0, body.Remaining());
                complete = complete && blob == d.Extra;
                FillArray(f.Data.DataByte, size_t(blob), body.TakeUpTo(blob));
                break;
            }
            default:
                break;
        }
        complete = complete && filled;
    }
    return complete;
}
