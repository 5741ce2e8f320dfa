#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "infra/bulk_memory.h"
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

// A column cache file read front to back, each piece unscrambled where it lands, so that the record
// values go from the file straight into their column array.
class ColumnCacheFile {
  public:
    // False when the file could not be opened.
    bool Open(const QString& path) {
        FFile = OpenNotBlock(path);
        if (!FFile) {
            return false;
        }
        FSize = FFile->size();
        return true;
    }

    // The code byte and the digest; false when the file is shorter than its head.
    bool ReadHead(uint8_t& code, QByteArrayView& digest) {
        if (FSize < kColumnHead || FFile->read(FHead, kColumnHead) != kColumnHead) {
            return false;
        }
        FPos = kColumnHead;
        ScrambleBodyPart(FHead + 2, kColumnHead - 2, kScrambleKind, FHead, 0);
        code = uint8_t(FHead[2]);
        digest = QByteArrayView(FHead + 3, 16);
        return true;
    }

    // The next count elements into values, in memory of `region` when it has room; false, with
    // nothing allocated, when the file does not hold them.
    template <typename T>
    bool ReadArray(ColumnArray<T>& values, size_t count, const std::shared_ptr<BulkRegion>& region) {
        if (count > size_t(FSize - FPos) / sizeof(T)) {
            return false;
        }
        ColumnArray<T> read(count, RegionAllocator<T>(region));
        if (!Read(reinterpret_cast<char*>(read.data()), qint64(count * sizeof(T)))) {
            return false;
        }
        values = std::move(read);
        return true;
    }

    // Everything after the head, unscrambled.
    QByteArray ReadRest() {
        QByteArray rest(FSize - FPos, Qt::Uninitialized);
        return Read(rest.data(), rest.size()) ? rest : QByteArray();
    }

  private:
    bool Read(char* out, qint64 n) {
        if (n == 0) {
            return true;
        }
        if (FFile->read(out, n) != n) {
            return false;
        }
        ScrambleBodyPart(out, n, kScrambleKind, FHead, FPos - 2);
        FPos += n;
        return true;
    }

    std::unique_ptr<QFile> FFile;
    qint64 FSize = 0;
    qint64 FPos = 0;
    char FHead[kColumnHead] = {};
};

// A column's values from its cache file; false when the file does not hold them all.
bool FillColumn(FieldGFB& f, uint8_t code, size_t records, int32_t extra, ColumnCacheFile& file,
                const std::shared_ptr<BulkRegion>& region) {
    Stru_Data& d = f.Data;
    switch (code) {
        case FieldCode::Integer:
        case FieldCode::Color:
            return file.ReadArray(d.DataInteger, records, region);
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            return f.Size >= 1 && int64_t(f.Size) * int64_t(records) <= kMaxColumnBytes &&
                   file.ReadArray(d.DataByte, records * size_t(f.Size), region);
        case FieldCode::Byte:
            return file.ReadArray(d.DataByte, records, region);
        case FieldCode::Boolean:
            return file.ReadArray(d.DataBoolean, records, region);
        case FieldCode::Word:
            return file.ReadArray(d.DataWord, records, region);
        case FieldCode::Float:
            return file.ReadArray(d.DataFloat, records, region);
        case FieldCode::Double:
            return file.ReadArray(d.DataDouble, records, region);
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            return file.ReadArray(d.DataCardinal, records, region);
        case FieldCode::DateTime:
            return file.ReadArray(d.DataDateTime, records, region);
        case FieldCode::Int64:
            return file.ReadArray(d.DataInt64, records, region);
        case FieldCode::Dict16:
        case FieldCode::Dict8: {
            // The dictionary's length is only known by reading it: the rest of the file is read whole.
            const QByteArray rest = file.ReadRest();
            ByteReader body(rest);
            uint16_t count = 0;
            if (!body.Skip(1) || !body.Read(count) || !ReadDictionary(body, code, count, d)) {
                return false;
            }
            return code == FieldCode::Dict16 ? body.ReadArray(d.DataWord, records)
                                             : body.ReadArray(d.DataByte, records);
        }
        case FieldCode::VarText:
            return extra >= 0 && file.ReadArray(d.DataInteger, records, region) &&
                   file.ReadArray(d.DataByte, size_t(extra), region);
        default:
            return true;
    }
}

// The descriptors of a structure cache, up to the first one cut short.
struct StructureCache {
    size_t Records = 0;
    std::vector<ColumnDescriptor> Columns;
    bool Complete = false;
};

bool ReadStructureCache(ByteReader& in, StructureCache& out) {
    TableHeader header;
    if (!in.Skip(2) || !ReadTableHeader(in, header) || header.RecordCount < 0 ||
        header.RecordCount > kMaxRecordCount) {
        return false;
    }
    out.Records = size_t(header.RecordCount);
    const uint16_t columnCount = uint16_t(header.ColumnCount);
    for (uint16_t k = 0; k < columnCount; ++k) {
        ColumnDescriptor d;
        if (!ReadColumnDescriptor(in, d)) {
            return true;
        }
        out.Columns.push_back(d);
    }
    out.Complete = true;
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
    QByteArray structureBytes;
    if (!ReadScrambled(structurePath, structureBytes)) {
        return false;
    }
    ByteReader in(structureBytes);
    StructureCache structure;
    if (!ReadStructureCache(in, structure)) {
        return false;
    }
    const size_t records = structure.Records;
    // The columns' files, with one region that can hold all their values (a file holds no fewer
    // bytes than the arrays it fills).
    std::vector<QString> paths;
    qint64 fileBytes = 0;
    for (const ColumnDescriptor& d : structure.Columns) {
        const QString name = d.fields.name.left(15);
        const QFileInfo file(ColumnCachePath(NameTableS, name));
        paths.push_back(IsPlainFileName(name) && file.exists() ? file.filePath() : QString());
        fileBytes += paths.back().isEmpty() ? 0 : file.size();
    }
    const auto region = records > 0 ? BulkRegion::Map(size_t(fileBytes)) : nullptr;
    bool complete = structure.Complete;
    for (size_t k = 0; k < structure.Columns.size(); ++k) {
        const ColumnDescriptor& d = structure.Columns[k];
        FieldGFB& f = *Fields[size_t(AddField(d.fields))];
        if (paths[k].isEmpty()) {
            continue;
        }
        ColumnCacheFile file;
        if (!file.Open(paths[k])) {
            return false;
        }
        uint8_t code = 0;
        QByteArrayView digest;
        if (!file.ReadHead(code, digest)) {
            complete = false;
            continue;
        }
        f.MD5 = DigestHex(digest);
        f.TypeField = code;
        f.Load = true;
        if (records == 0) {
            continue;
        }
        if (FillColumn(f, code, records, d.Extra, file, region)) {
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
