// Arbitrary bytes as a configuration file: no crash, and every setting found becomes an option word
// followed, where it takes one, by a value of one line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "server/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString error;
    const QStringList words =
        ConfigWords(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), error);
    if (!error.isEmpty() && !words.isEmpty()) {
        std::abort();
    }
    for (const QString& word : words) {
        if (word.isEmpty() || word.contains(u'\n')) {
            std::abort();
        }
    }
    return 0;
}
