// The server's door: registrations waiting for their password check, and the delays that failed
// attempts earn. A failure makes the next attempt from the same address, and the next attempt for
// the same user name (known or not, so that the delays tell nothing about which names exist), wait
// longer: 250 ms after one failure, twice as long after every further one, up to a cap for addresses
// (a setting) and three seconds for names (guesses at a name must not lock its user out for long).
// A success clears both. Few attempts wait: a bounded number per address and in all;
// beyond them an attempt is dropped unanswered (the client tries again after four seconds) or
// takes the place of one from an address with more failures. Of the attempts that may be checked,
// the one from the address with the fewest failures goes first, so that a client whose address
// has not failed gets in ahead of a flood from addresses that have.
// Time is passed in (ms). Not thread-safe: the protocol thread owns it.
#pragma once

#include <QHashFunctions>
#include <QString>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "infra/udp_socket.h"

struct LoginAttempt {
    UdpAddress from;
    QString user;
    QString password;
    QString text;          // the registration as it came, to know a copy of it
    int requestBytes = 0;  // the size of its datagram: no answer to it is larger
    int64_t number = 0;    // its message number
    int64_t atMs = 0;
};

struct LoginGateLimits {
    size_t waiting = 256;
    size_t waitingPerAddress = 8;
    int64_t addressDelayMaxMs = 30000;
};

class LoginGate {
  public:
    explicit LoginGate(LoginGateLimits limits) : limits_(limits) {}

    enum class Offer { Queued, Copy, Dropped };
    // Queues the attempt; one from the same address and port replaces the one waiting (the client
    // tried again), unless it is a copy of it.
    Offer offer(LoginAttempt attempt, int64_t nowMs);
    // The next attempt that may be checked now, taken out of the queue. Attempts that waited ten
    // seconds are dropped on the way: their clients have tried again by then.
    std::optional<LoginAttempt> next(int64_t nowMs);
    void failed(const LoginAttempt& attempt, int64_t nowMs);
    void succeeded(const LoginAttempt& attempt);
    // Forgets failures a quarter of an hour old.
    void forget(int64_t nowMs);
    size_t waiting() const { return waiting_.size(); }

  private:
    struct Failures {
        int count = 0;
        int64_t lastMs = 0;
        int64_t untilMs = 0;  // no attempt is checked before
    };
    template <typename Key, typename Map>
    static void fail(Map& map, const Key& key, int64_t nowMs, int64_t capMs);
    int addressFailures(uint32_t ip) const;
    bool mayCheck(const LoginAttempt& a, int64_t nowMs) const;

    LoginGateLimits limits_;
    std::vector<LoginAttempt> waiting_;
    std::unordered_map<uint32_t, Failures> addresses_;
    struct NameHash {
        size_t operator()(const QString& name) const { return qHash(name); }
    };
    std::unordered_map<QString, Failures, NameHash> accounts_;
};
