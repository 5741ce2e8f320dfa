#include "output.h"

#include <chrono>
#include <cstdio>

QString JsonString(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'"':
                out += QStringLiteral("\\\"");
                break;
            case u'\\':
                out += QStringLiteral("\\\\");
                break;
            case u'\n':
                out += QStringLiteral("\\n");
                break;
            case u'\r':
                out += QStringLiteral("\\r");
                break;
            case u'\t':
                out += QStringLiteral("\\t");
                break;
            default:
                if (c.unicode() < 0x20) {
                    out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
                } else {
                    out += c;
                }
        }
    }
    out += u'"';
    return out;
}

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void Output::Line(const QString& pairs, int64_t atMicros) {
    QString line = QStringLiteral("{");
    if (times_) {
        line += QStringLiteral("\"t_us\":%1").arg(atMicros != 0 ? atMicros : NowMicros());
        if (!pairs.isEmpty()) {
            line += u',';
        }
    }
    line += pairs;
    line += QStringLiteral("}\n");
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Output::Error(const QString& message) {
    const QByteArray bytes = QStringLiteral("mobcfg-cli: %1\n").arg(message).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
