// What the server grants its clients at most, so that no client (logged in or not) can take the
// memory, the disk or the time of the others. The defaults suit a site of a few dozen operators;
// each is a setting of the server (options.h).
#pragma once

#include <cstddef>
#include <cstdint>

struct ServerLimits {
    // Sessions at once: in all, from one IPv4 address, and of one user.
    int maxSessions = 1000;
    int maxSessionsPerAddress = 64;
    int maxSessionsPerUser = 64;
    // Registrations waiting for their password check, and the longest delay an address earns by
    // failing to log in.
    size_t maxPendingLogins = 256;
    int loginDelayMaxSeconds = 30;
    // Memory of texts clients have sent in part, in all sessions together.
    int64_t maxPartialBytes = 64LL * 1024 * 1024;
    // Bytes of uploads in progress, in all and of one user (a file may have 256 MB).
    int64_t maxUploadBytes = 1024LL * 1024 * 1024;
    int64_t maxUploadBytesPerUser = 512LL * 1024 * 1024;
    // Size of the files folder: the files in it and the uploads in progress.
    int64_t maxFilesBytes = 16LL * 1024 * 1024 * 1024;
    // Entries a dictionary column may grow to through edits (its key width allows 254 or 65534).
    size_t maxDictionaryEntries = 4096;
};
