// Arbitrary bytes as a settings file: no crash, and whatever a key holds is a line's worth of text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "session/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* key : {"Address", "Port", "UserDefault"}) {
        for (const char* section : {"ServerHost", "Main", ""}) {
            if (const auto value = IniValue(bytes, section, key); value && value->contains(u'\n')) {
                std::abort();
            }
        }
    }
    if (const auto port = IniValue(bytes, "ServerHost", "Port")) {
        IniInteger(*port, 9010);
    }
    return 0;
}
