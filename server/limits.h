// What the server grants its clients at most, so that no client (logged in or not) can take the
// memory, the disk or the time of the others. The defaults suit a site of a few dozen operators;
// each is a setting of the server (options.h).
#pragma once

#include <cstddef>

struct ServerLimits {
    // Entries a dictionary column may grow to through edits (its key width allows 254 or 65534).
    size_t maxDictionaryEntries = 4096;
};
