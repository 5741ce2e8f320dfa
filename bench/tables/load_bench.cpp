// Loading a "gps"-like table of 100,000 records and 40 columns (mixed codes, Cyrillic texts): each
// figure is printed beside the unavoidable work on the same bytes.
//   LoadFromFile with cache writing  vs  reading the file + one MD5 pass + one scrambled write
//   the same, zlib-compressed        vs  the above + a bare inflate
//   CacheLoad                        vs  reading and unscrambling the cache files
//   memory per record of the replica vs  the record's bytes in the table file
// Times are the best of several runs. Usage: bench_tables_load [records]
#include <zlib.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>

#include "gps_table.h"
#include "infra/bytes.h"
#include "tables/base_client.h"
#include "tables/table_file_writer.h"

namespace {

constexpr int kRuns = 5;

double BestSeconds(const std::function<void()>& setup, const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        setup();
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// 40 columns of the codes a vehicle table uses.
const gps_table::ColumnGroup kGroups[] = {
    {"id", 1, 4, 6},   {"fix", 2, 32, 7}, {"b", 3, 1, 4},   {"flag", 4, 1, 3}, {"w", 5, 2, 3},
    {"f", 6, 4, 2},    {"d", 7, 8, 2},    {"u", 8, 4, 2},   {"dt", 9, 8, 2},   {"arr", 11, 8, 1},
    {"big", 13, 8, 1}, {"sp", 15, 2, 2},  {"sb", 16, 1, 1}, {"col", 21, 4, 1}, {"txt", 24, 4, 1}};

using table_files::WriteBytes;

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What any loader must do with these bytes: read them, digest them once, write them scrambled once.
void UnavoidableWork(const QString& path, bool inflateToo) {
    QByteArray bytes = Read(path);
    if (inflateToo) {
        QByteArray out(qsizetype(bytes.size()) * 8, '\0');
        uLongf size = uLongf(out.size());
        uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(bytes.constData()), uLong(bytes.size()));
        out.resize(qsizetype(size));
        bytes = std::move(out);
    }
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
    SetRandomHead(bytes);
    ScrambleBytes(bytes, 1);
    WriteBytes("temp/reference.out", bytes);
    if (digest.isEmpty()) {
        std::abort();
    }
}

// Bytes the replica holds in its column arrays.
int64_t ReplicaBytes(const TBaseClient& t) {
    int64_t total = 0;
    for (const auto& f : t.Fields) {
        const Stru_Data& d = f->Data;
        total += int64_t(d.DataSelected.capacity() / 8) + int64_t(d.DataInteger.capacity() * 4) +
                 int64_t(d.DataByte.capacity()) + int64_t(d.DataBoolean.capacity()) +
                 int64_t(d.DataWord.capacity() * 2) + int64_t(d.DataFloat.capacity() * 4) +
                 int64_t(d.DataDouble.capacity() * 8) + int64_t(d.DataCardinal.capacity() * 4) +
                 int64_t(d.DataDateTime.capacity() * 8) + int64_t(d.DataInt64.capacity() * 8);
        for (const QString& s : d.DataStringN) {
            total += int64_t(sizeof(QString)) + s.capacity() * 2;
        }
    }
    return total;
}

void Print(const char* what, double seconds, const char* reference, double referenceSeconds) {
    std::printf("%-34s %8.1f ms   %-44s %8.1f ms   ratio %.2f\n", what, seconds * 1e3, reference,
                referenceSeconds * 1e3, seconds / referenceSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    const int32_t records = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QDir().mkpath("temp/gps");
    const TableFileContent content = gps_table::MakeTable(records, kGroups);
    const QByteArray plain = WriteTableFile(content, false);
    const QByteArray zipped = WriteTableFile(content, true);
    std::printf("table file: %d records, %zu columns, %.1f MB plain, %.1f MB compressed\n", records,
                content.columns.size(), double(plain.size()) / 1e6, double(zipped.size()) / 1e6);

    TBaseClient table;
    table.NameTableS = "gps";
    table.Cache = true;
    const auto reset = [&](const QByteArray& bytes) {
        return [&table, &bytes] {
            table.Clear();
            WriteBytes("temp/gps.raw", bytes);
            WriteBytes("temp/gps.ref", bytes);
        };
    };
    const double loadPlain = BestSeconds(reset(plain), [&] {
        table.Zip = false;
        table.LoadFromFile("temp/gps.raw");
    });
    const double refPlain = BestSeconds(reset(plain), [] { UnavoidableWork("temp/gps.ref", false); });
    Print("LoadFromFile + cache, plain", loadPlain, "read + MD5 + scrambled write", refPlain);

    const double loadZip = BestSeconds(reset(zipped), [&] {
        table.Zip = true;
        table.LoadFromFile("temp/gps.raw");
    });
    const double refZip = BestSeconds(reset(zipped), [] { UnavoidableWork("temp/gps.ref", true); });
    Print("LoadFromFile + cache, zlib", loadZip, "read + inflate + MD5 + scrambled write", refZip);

    const double cacheLoad = BestSeconds([&] { table.Clear(); }, [&] { table.CacheLoad(); });
    QStringList cacheFiles;
    for (QDirIterator it("temp/gps", QDir::Files); it.hasNext();) {
        cacheFiles << it.next();
    }
    const double refCache = BestSeconds([] {},
                                        [&] {
                                            for (const QString& path : cacheFiles) {
                                                QByteArray bytes = Read(path);
                                                ScrambleBytes(bytes, 1);
                                            }
                                        });
    Print("CacheLoad", cacheLoad, "read + unscramble the cache files", refCache);
    std::printf("%-34s %8.1f B\n", "  (values per record it restored)",
                double(ReplicaBytes(table)) / records);

    table.Clear();
    table.Zip = false;
    WriteBytes("temp/gps.raw", plain);
    if (!table.LoadFromFile("temp/gps.raw") || table.CountRecord != records) {
        std::printf("the table file did not load\n");
        return 1;
    }
    const double perRecord = double(ReplicaBytes(table)) / records;
    const double filePerRecord = double(plain.size()) / records;
    std::printf("%-34s %8.1f B    %-44s %8.1f B    ratio %.2f\n", "replica memory per record", perRecord,
                "table file bytes per record", filePerRecord, perRecord / filePerRecord);
    return 0;
}
