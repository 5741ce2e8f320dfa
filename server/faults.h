// Seeded network faults for testing: each datagram the server sends or receives may be lost,
// duplicated, held back so that later ones overtake it (reorder), and delayed by a fixed time.
// The same seed and the same sequence of datagrams give the same faults.
// Not thread-safe: the protocol thread owns it.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <map>
#include <random>

#include "infra/udp_socket.h"

struct FaultSettings {
    double loss = 0;     // probability of dropping
    double dup = 0;      // probability of sending twice
    double reorder = 0;  // probability of holding back behind later datagrams
    int delayMs = 0;     // every datagram waits this long
    uint32_t seed = 1;

    bool active() const { return loss > 0 || dup > 0 || reorder > 0 || delayMs > 0; }
};

class Faults {
  public:
    explicit Faults(const FaultSettings& settings);

    // Whether any fault is configured; without one the caller need not copy datagrams for take().
    bool active() const { return s_.active(); }

    // Takes one datagram (with the address it came from or goes to) at time nowMs; its surviving
    // copies become due later (or at once). Returns false when the faults are off: the caller then
    // handles the datagram directly.
    bool take(const QByteArray& datagram, const UdpAddress& address, int64_t nowMs);
    // Removes and returns the next datagram due at nowMs; false when none is due.
    bool next(int64_t nowMs, QByteArray& datagram, UdpAddress& address);
    // Milliseconds until the next datagram is due (-1 when none waits).
    int64_t untilNext(int64_t nowMs) const;

  private:
    FaultSettings s_;
    std::mt19937 rnd_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
    std::multimap<int64_t, std::pair<QByteArray, UdpAddress>>
        due_;  // equal times keep their order of arrival
};
