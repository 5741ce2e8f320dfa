// Arbitrary table files, plain or zlib-compressed, in full and structure-only mode, with the cache and
// the archive on; every column of the result is then read for every record.
//
// The first input byte picks the mode; the rest is the file. The record count of the header is capped
// at 4096 here, since a valid file may announce up to ten million records, which the loader then
// allocates for each column by design.
#include <zlib.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tables/base_client.h"
#include "tests/tables/table_file_builder.h"

namespace {

const table_files::WorkDir kWorkDir;

QByteArray Compress(const QByteArray& plain) {
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.constData()),
              uLong(plain.size()), 1);
    out.resize(qsizetype(size));
    return out;
}

void ReadEverything(TBaseClient& t) {
    for (int32_t rec = 0; rec <= t.CountRecord + 1; ++rec) {
        t.RecNoTemp = rec;
        for (const auto& f : t.Fields) {
            f->AsString();
            f->AsInt64();
            f->GetSprValueNumber();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t mode = data[0];
    QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (file.size() >= 13) {
        int32_t records = 0;
        std::memcpy(&records, file.constData() + 9, 4);
        records = records > 4096 ? 4096 : records;
        std::memcpy(file.data() + 9, &records, 4);
    }
    TBaseClient t;
    t.NameTableS = (mode & 4) ? QStringLiteral("gpsshab") : QStringLiteral("gps");
    t.veltax = mode & 1;
    t.Zip = mode & 2;
    t.Cache = mode & 8;
    t.Arh = mode & 16;
    if (t.Zip && !(mode & 32)) {
        file = Compress(file);
    }
    QFile out(QStringLiteral("temp/in.bin"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    out.write(file);
    out.close();
    t.LoadFromFile(QStringLiteral("temp/in.bin"));
    ReadEverything(t);
    QDir(QStringLiteral("temp")).removeRecursively();
    QDir(QStringLiteral("arh")).removeRecursively();
    QDir().mkpath(QStringLiteral("temp"));
    return 0;
}
