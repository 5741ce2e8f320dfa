// The floor under a warm load: in a fresh process, read and unscramble every cache file of a client's
// working folder and check that each holds at least its head, as CacheLoad does before it fills the
// columns. Run it in a new process each time, so that its reads and page faults are as cold as a
// client's first load. Prints one line: {"files":N,"bytes":B,"us":T}.
// Usage: bench_tables_cache_floor [client folder, default the working folder]
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <chrono>
#include <cstdio>

#include "infra/bytes.h"
#include "infra/files.h"

namespace {

constexpr qsizetype kStructureHead = 2;  // head bytes
constexpr qsizetype kColumnHead = 19;    // head bytes, code byte, digest

}  // namespace

int main(int argc, char** argv) {
    const QString folder = (argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath()) + "/temp";
    const QStringList filters = {QStringLiteral("*.cache"), QStringLiteral("*.cacheb")};
    int files = 0;
    int64_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (QDirIterator it(folder, filters, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const auto file = OpenNotBlock(path);
        if (!file) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
            return 1;
        }
        QByteArray content = file->readAll();
        file->close();
        ScrambleBytes(content, 1);
        const qsizetype head = path.endsWith(QStringLiteral(".cacheb")) ? kStructureHead : kColumnHead;
        if (content.size() < head) {
            std::fprintf(stderr, "%s is shorter than its head\n", qPrintable(path));
            return 1;
        }
        ++files;
        bytes += content.size();
    }
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::printf("{\"files\":%d,\"bytes\":%lld,\"us\":%lld}\n", files, static_cast<long long>(bytes),
                static_cast<long long>(us.count()));
    return files > 0 ? 0 : 1;
}
