// Applying a table file: the header, the column list and the data blocks of the columns the server
// sent (docs/table-file-format.md). Every length is checked before it is read; the first fault ends
// the reading of blocks, keeping what came before it.
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <optional>

#include "infra/byte_codec.h"
#include "infra/codepage.h"
#include "infra/file_names.h"
#include "infra/side_jobs.h"
#include "tables/base_client.h"
#include "tables/cache_files.h"
#include "tables/table_error.h"
#include "tables/table_file_layout.h"

namespace {

// Inflated table files larger than this are refused.
constexpr int64_t kMaxInflatedBytes = int64_t(2) << 30;

bool InflateAll(QByteArrayView in, QByteArray& out) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        return false;
    }
    out.resize(std::clamp<qsizetype>(in.size() * 4, 64 * 1024, 64 * 1024 * 1024));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    qsizetype consumed = 0;
    qsizetype produced = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (produced == out.size()) {
            if (out.size() >= kMaxInflatedBytes) {
                break;
            }
            out.resize(std::min<qsizetype>(out.size() * 2, kMaxInflatedBytes));
        }
        const uInt inChunk = uInt(std::min<qsizetype>(in.size() - consumed, 1 << 30));
        const uInt outChunk = uInt(std::min<qsizetype>(out.size() - produced, 1 << 30));
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data())) + consumed;
        zs.avail_in = inChunk;
        zs.next_out = reinterpret_cast<Bytef*>(out.data()) + produced;
        zs.avail_out = outChunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        consumed += inChunk - zs.avail_in;
        produced += outChunk - zs.avail_out;
        if (rc == Z_BUF_ERROR && zs.avail_out != 0) {
            break;  // the input ended before the stream did
        }
        if (rc == Z_BUF_ERROR) {
            rc = Z_OK;
        }
    }
    inflateEnd(&zs);
    out.resize(produced);
    return rc == Z_STREAM_END;
}

template <typename T>
void FillRecords(ColumnArray<T>& array, size_t count, QByteArrayView bytes) {
    array.assign(count, T{});
    const size_t n = std::min(size_t(bytes.size()), count * sizeof(T));
    if (n > 0) {
        std::memcpy(array.data(), bytes.data(), n);
    }
}

// Stores a block's record values into the array of its code; the bytes not present stay zero.
void StoreRecordValues(FieldGFB& f, uint8_t code, size_t records, QByteArrayView values) {
    f.Data.DataSelected.assign(records, false);
    switch (code) {
        case FieldCode::Integer:
        case FieldCode::Color:
        case FieldCode::VarText:
            FillRecords(f.Data.DataInteger, records, values);
            break;
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            FillRecords(f.Data.DataByte, records * size_t(f.Size), values);
            break;
        case FieldCode::Byte:
        case FieldCode::Dict8:
            FillRecords(f.Data.DataByte, records, values);
            break;
        case FieldCode::Boolean:
            FillRecords(f.Data.DataBoolean, records, values);
            break;
        case FieldCode::Word:
        case FieldCode::Dict16:
            FillRecords(f.Data.DataWord, records, values);
            break;
        case FieldCode::Float:
            FillRecords(f.Data.DataFloat, records, values);
            break;
        case FieldCode::Double:
            FillRecords(f.Data.DataDouble, records, values);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            FillRecords(f.Data.DataCardinal, records, values);
            break;
        case FieldCode::DateTime:
            FillRecords(f.Data.DataDateTime, records, values);
            break;
        case FieldCode::Int64:
            FillRecords(f.Data.DataInt64, records, values);
            break;
        default:
            break;
    }
}

void WriteArchiveFile(const QString& path, QByteArrayView bytes) {
    QFile::remove(path);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes.data(), bytes.size());
    }
}

// The archive copies of one block: record values, dictionary slots, text blob.
void WriteArchive(const QString& table, const FieldGFB& f, uint8_t code, QByteArrayView entries,
                  QByteArrayView values, QByteArrayView blob) {
    if (!IsPlainFileName(f.name)) {
        return;
    }
    const QString dir = QStringLiteral("arh/") + table + u'/';
    QDir().mkpath(dir);
    WriteArchiveFile(dir + f.name + QStringLiteral(".ffb"), values);
    if (FieldIsDictionary(code)) {
        QByteArray out;
        ByteReader in(entries);
        uint32_t key = 0;
        QByteArrayView text;
        while (ReadDictionaryEntry(in, code, key, text)) {
            if (code == FieldCode::Dict16) {
                AppendLE(out, uint16_t(key));
            } else {
                AppendLE(out, uint8_t(key));
            }
            AppendTextSlot(out, text, f.SprSize);
        }
        WriteArchiveFile(dir + f.name + QStringLiteral(".ffs"), out);
    }
    if (code == FieldCode::VarText) {
        WriteArchiveFile(dir + f.name + QStringLiteral(".ffv"), blob);
    }
}

// Reads a whole table file from memory into the table. Holds no state beyond one call.
class TableFileReader {
  public:
    TableFileReader(TBaseClient& table, QByteArrayView file) : T(table), In(file) {}

    // False at the first fault.
    bool Read() {
        TableHeader header;
        if (!ReadTableHeader(In, header)) {
            return false;
        }
        const bool matches = T.veltax ? !header.name.isEmpty() && T.NameTableS.contains(header.name)
                                      : header.name == T.NameTableS;
        if (!matches) {
            return true;
        }
        if (header.RecordCount < 0 || header.RecordCount > kMaxRecordCount || header.ColumnCount < 0 ||
            header.DataBlockCount < 0) {
            return false;
        }
        Records = header.RecordCount;
        T.CountRecord = T.CountRecordFilter = Records;
        if (!ReadColumnList(header)) {
            return false;
        }
        if (T.veltax) {
            return true;
        }
        for (int32_t b = 0; b < header.DataBlockCount; ++b) {
            if (!ReadBlock(b + 1 == header.DataBlockCount)) {
                return false;
            }
        }
        return true;
    }

  private:
    bool ReadColumnList(const TableHeader& header) {
        std::optional<StructureCacheWriter> cache;
        if (T.Cache) {
            cache.emplace(T.NameTableS, header.raw);
        }
        bool ok = true;
        for (int32_t c = 0; c < header.ColumnCount; ++c) {
            ColumnDescriptor d;
            if (!ReadColumnDescriptor(In, d)) {
                ok = false;
                break;
            }
            if (cache) {
                cache->Add(d.raw);
            }
            T.AddField(d.fields);
        }
        if (cache) {
            cache->Finish();
        }
        return ok;
    }

    bool ReadBlock(bool last) {
        ColumnDescriptor d;
        if (!ReadColumnDescriptor(In, d)) {
            return false;
        }
        const int32_t pos = d.fields.n_abs;
        const uint8_t code = d.fields.TypeField;
        if (pos < 1 || pos > int32_t(T.Fields.size()) || !SizeFits(d)) {
            return false;
        }
        FieldGFB& f = *T.Fields[size_t(pos - 1)];
        if (!FieldHasStorage(code) && !last) {
            return false;  // where such a block ends is unknown, so the blocks after it cannot be trusted
        }
        f.TypeField = code;
        if (!FieldHasStorage(code)) {
            f.Load = true;
            return true;
        }
        f.Size = d.fields.Size;
        f.SprSize = d.fields.SprSize;
        QByteArrayView entryBytes;
        if (FieldIsDictionary(code)) {
            const qsizetype start = In.Pos();
            if (!ReadDictionary(In, code, d.Extra, f.Data)) {
                return false;
            }
            entryBytes = In.data().sliced(start, In.Pos() - start);
        }
        f.Load = true;
        if (Records == 0) {
            return true;
        }
        const qsizetype valueBytes = qsizetype(d.fields.Size) * Records;
        const QByteArrayView values = In.TakeUpTo(valueBytes);
        StoreRecordValues(f, code, size_t(Records), values);
        bool complete = values.size() == valueBytes;
        QByteArrayView blob;
        if (code == FieldCode::VarText) {
            blob = In.TakeUpTo(d.Extra);
            f.Data.DataByte.assign(blob.begin(), blob.end());
            complete = complete && blob.size() == d.Extra;
        }
        if (!complete) {
            return false;
        }
        if (T.Arh) {
            WriteArchive(T.NameTableS, f, code, entryBytes, values, blob);
        }
        if (T.Cache) {
            // The views point into the file's bytes, which outlive the reader and so every job.
            CacheWrites.Add(
                [table = T.NameTableS, column = f.name, code, count = d.Extra, entryBytes, values, blob] {
                    WriteColumnCache(table, column, code, count, entryBytes, values, blob);
                });
        }
        return true;
    }

    // A fixed-width code must have its element width; the sizes of the other codes must be sane.
    bool SizeFits(const ColumnDescriptor& d) const {
        const uint8_t code = d.fields.TypeField;
        const int32_t width = FieldElementWidth(code);
        if (width > 0 && d.fields.Size != width) {
            return false;
        }
        if (code == FieldCode::FixedText || code == FieldCode::ByteArray) {
            return d.fields.Size >= 1 && int64_t(d.fields.Size) * Records <= kMaxColumnBytes;
        }
        if (FieldIsDictionary(code)) {
            return d.fields.SprSize >= 0 && d.fields.SprSize <= 65535 && d.Extra >= 0;
        }
        if (code == FieldCode::VarText) {
            return d.Extra >= 0;
        }
        return true;
    }

    TBaseClient& T;
    ByteReader In;
    int32_t Records = 0;
    // Column cache files (digest, scrambling, writing) are made beside the parsing; the reader's
    // destruction waits for them.
    SideJobs CacheWrites;
};

}  // namespace

bool TBaseClient::LoadFromFile(const QString& FileName) {
    const auto guard = Guard();
    QFile file(FileName);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Mapped, the file is parsed and copied into the cache straight from the page cache, without a
    // copy into fresh memory first; a file that cannot be mapped is read. The mapping lasts as long as
    // `file`, which outlives the reader below and its cache writes.
    QByteArray read;
    QByteArrayView content;
    const qint64 size = file.size();
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
        content = QByteArrayView(mapped, size);
    } else {
        read = file.readAll();
        content = read;
    }
    bool ok = true;
    if (!LoadTypeRaw) {
        try {
            LoadFromJSON(fromAnsi(content));
        } catch (const TableConversionError&) {
            ok = false;
        }
        QFile::remove(FileName);
        return ok;
    }
    QByteArray inflated;
    if (Zip) {
        if (!InflateAll(content, inflated)) {
            QFile::remove(FileName);
            return false;
        }
        content = inflated;
    }
    // The reader lives to the end, so its cache writes overlap the view's rebuild too.
    TableFileReader reader(*this, content);
    ok = reader.Read();
    LoadFileName.clear();
    FlagLoadData = true;
    RefreshYes = true;
    RefreshData();
    QFile::remove(FileName);
    return ok;
}
