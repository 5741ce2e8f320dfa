// Arbitrary cache files: the input is split into a structure cache and one column cache file, which is
// stored under the name of every descriptor the structure lists; CacheLoad then reads them back and
// every value is read. The record count of the structure is capped at 4096 (see fuzz_load_from_file).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "infra/file_names.h"
#include "tables/base_client.h"
#include "tables/table_file_layout.h"
#include "tests/tables/table_file_builder.h"

namespace {

const table_files::WorkDir kWorkDir;

void WriteScrambled(const QString& path, QByteArray content) {
    ScrambleBytes(content, 1);
    QFile out(path);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        out.write(content);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t split = std::min<size_t>(size - 2, size_t(data[0]) * 4 + data[1]);
    QByteArray structure(reinterpret_cast<const char*>(data + 2), qsizetype(split));
    const QByteArray column(reinterpret_cast<const char*>(data + 2 + split), qsizetype(size - 2 - split));
    if (structure.size() >= 2 + 13) {
        int32_t records = 0;
        std::memcpy(&records, structure.constData() + 2 + 9, 4);
        records = records > 4096 ? 4096 : records;
        std::memcpy(structure.data() + 2 + 9, &records, 4);
    }
    QDir().mkpath(QStringLiteral("temp/c"));
    WriteScrambled(QStringLiteral("temp/c/c.cacheb"), structure);
    ByteReader in(structure);
    TableHeader header;
    if (in.Skip(2) && ReadTableHeader(in, header)) {
        ColumnDescriptor d;
        while (ReadColumnDescriptor(in, d)) {
            if (IsPlainFileName(d.fields.name.left(15))) {
                WriteScrambled(QStringLiteral("temp/c/") + d.fields.name.left(15) + QStringLiteral(".cache"),
                               column);
            }
        }
    }
    TBaseClient t;
    t.NameTableS = QStringLiteral("c");
    t.Cache = true;
    t.CacheLoad();
    t.CountRecord = 4097;
    for (int32_t rec = 0; rec <= t.CountRecord; rec += 7) {
        t.RecNoTemp = rec;
        for (const auto& f : t.Fields) {
            f->AsString();
            f->AsInteger();
        }
    }
    QDir(QStringLiteral("temp/c")).removeRecursively();
    return 0;
}
