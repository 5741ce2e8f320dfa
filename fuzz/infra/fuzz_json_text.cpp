// Arbitrary texts through the four JSON helpers: no crash, walks that always end, and escaped
// strings that read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "infra/json_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    for (const QString& key : {QStringLiteral("a"), QStringLiteral("$c$"), text.left(3), QString()}) {
        GetJSONValue(text, key);
    }

    QString rest = text;
    QString key;
    QString value;
    for (qsizetype guard = text.size() + 1; GetJSONPair(rest, key, value); --guard) {
        if (guard == 0) {
            std::abort();
        }
    }

    rest = text;
    for (qsizetype guard = text.size() + 1; !GetJSONItem(rest).isEmpty(); --guard) {
        if (guard == 0) {
            std::abort();
        }
    }

    const QString built = QStringLiteral("{\"k\":\"") + StrToJSONStr(text) + QStringLiteral("\",\"z\":1}");
    if (GetJSONValue(built, QStringLiteral("k")) != text) {
        std::abort();
    }
    rest = built;
    if (!GetJSONPair(rest, key, value) || key != QStringLiteral("k") || value != text) {
        std::abort();
    }
    return 0;
}
