// The loopback limit: plain UDP datagrams of a session packet's size, each answered by a reply of an
// acknowledgement's size, with no protocol work at all. What any protocol over this socket pair
// could reach at best.
#pragma once

#include <cstdint>

struct ReferenceResult {
    double megabytesPerSecond = 0;
    int64_t resends = 0;  // re-sent packets, or for plain datagrams the ones never answered
};

// Moves totalBytes of payload in datagrams of datagramBytes (of which payloadBytes are payload),
// keeping at most window datagrams unanswered.
ReferenceResult RunLoopbackReference(int64_t totalBytes, int datagramBytes, int payloadBytes, int replyBytes,
                                     int window);
