// Arbitrary header and data files under the backlog's reader: reading and removing until the
// backlog is empty never crashes, never reads outside a file, and always comes to an end.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "infra/backlog.h"
#include "infra/files.h"

namespace {

QByteArray Int32(int32_t value) {
    const auto v = uint32_t(value);
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

void Write(const QString& name, const QByteArray& bytes) {
    QFile file(QStringLiteral("dd8/") + name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

bool EnterScratchFolder() {
    static QTemporaryDir scratch;
    SetOpenRetries(0);
    return scratch.isValid() && QDir::setCurrent(scratch.path());
}

}  // namespace

// Input: byte 0 picks the number of data files (1 to 3) and whether the header is taken raw from the
// next 16 bytes; byte 1 is the header's count otherwise; the rest is split evenly over the data files.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = EnterScratchFolder();
    if (!ready || size < 2) {
        return 0;
    }
    QDir("dd8").removeRecursively();
    QDir().mkpath("dd8");

    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const int files = data[0] % 3 + 1;
    QByteArray rest = input.mid(2);
    if ((data[0] & 0x80) != 0 && rest.size() >= 16) {
        Write(QStringLiteral("backsoob.dat"), rest.left(16));
        rest = rest.mid(16);
    } else {
        Write(QStringLiteral("backsoob.dat"),
              Int32(0x0FEEFFFF) + Int32(data[1]) + Int32(0) + Int32(files - 1));
    }
    const qsizetype part = rest.size() / files;
    for (int n = 0; n < files; ++n) {
        Write(QStringLiteral("bs%1.dat").arg(n),
              n + 1 < files ? rest.mid(n * part, part) : rest.mid(n * part));
    }

    TBackSoobString backlog;
    backlog.NameBack = QStringLiteral("dd8");
    backlog.Init();
    QString message;
    for (int guard = 0; backlog.Count() > 0; ++guard) {
        if (size_t(guard) > size + 10) {
            std::abort();
        }
        backlog.GetSoob(message);
        backlog.DeleteSoob();
    }
    backlog.GetSoob(message);
    backlog.PutSoob(QStringLiteral("after"));
    return 0;
}
