#include "infra/codepage.h"

#include <QStringDecoder>
#include <array>

namespace {

constexpr char kUnmappable = '?';

// Both directions are table look-ups built once from Qt's own Windows-1251 decoder: the conversion
// runs for every datagram and cache file, and a table keeps exactly one byte per UTF-16 unit
// (the encoder would merge a surrogate pair into one substitute byte and shift every length).
struct CodePage {
    std::array<char16_t, 256> toUnicode{};
    std::array<uint8_t, 0x10000> toByte{};
    std::array<bool, 0x10000> mapped{};

    CodePage() {
        QByteArray all(256, '\0');
        for (int b = 0; b < 256; ++b) {
            all[b] = char(b);
        }
        QStringDecoder decoder("windows-1251");
        const QString text = decoder.decode(all);
        // Without the code page every stored text would turn into question marks: refuse to run.
        if (!decoder.isValid() || decoder.hasError() || text.size() != 256) {
            qFatal("The Windows-1251 code page is not available from Qt");
        }
        for (int b = 0; b < 256; ++b) {
            const char16_t u = text[b].unicode();
            toUnicode[b] = u;
            if (u != 0xFFFD && !mapped[u]) {
                mapped[u] = true;
                toByte[u] = uint8_t(b);
            }
        }
    }
};

const CodePage& Table() {
    static const CodePage table;
    return table;
}

}  // namespace

QByteArray toAnsi(const QString& text) {
    const CodePage& table = Table();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (QChar c : text) {
        const char16_t u = c.unicode();
        *out++ = table.mapped[u] ? char(table.toByte[u]) : kUnmappable;
    }
    return bytes;
}

QString fromAnsi(QByteArrayView bytes) {
    const CodePage& table = Table();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (char b : bytes) {
        *out++ = QChar(table.toUnicode[uint8_t(b)]);
    }
    return text;
}
