// Arbitrary texts through HexToBytes, and arbitrary bytes through the hexadecimal and scrambling
// round trips.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "infra/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));

    QByteArray bytes;
    for (const QString& text : {QString::fromLatin1(raw), QString::fromUtf8(raw)}) {
        HexToBytes(text, bytes);
        if (bytes.size() != text.size() / 2) {
            std::abort();
        }
    }

    QString hex;
    BytesToHex(raw, hex);
    HexToBytes(hex, bytes);
    if (bytes != raw) {
        std::abort();
    }

    for (uint8_t kind : {1, 2}) {
        QByteArray scrambled = raw;
        ScrambleBytes(scrambled, kind);
        ScrambleBytes(scrambled, kind);
        if (scrambled != raw) {
            std::abort();
        }
    }
    return 0;
}
