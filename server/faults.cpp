#include "faults.h"

#include <algorithm>

namespace {
// How far a reordered datagram is held back beyond the fixed delay.
constexpr int kReorderMaxMs = 8;
}  // namespace

Faults::Faults(const FaultSettings& settings) : s_(settings), rnd_(settings.seed) {}

bool Faults::take(const QByteArray& datagram, const UdpAddress& address, int64_t nowMs) {
    if (!s_.active()) {
        return false;
    }
    if (unit_(rnd_) < s_.loss) {
        return true;
    }
    const int copies = unit_(rnd_) < s_.dup ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
        int64_t due = nowMs + s_.delayMs;
        if (unit_(rnd_) < s_.reorder) {
            due += 1 + int64_t(unit_(rnd_) * kReorderMaxMs);
        }
        due_.emplace(due, std::make_pair(datagram, address));
    }
    return true;
}

bool Faults::next(int64_t nowMs, QByteArray& datagram, UdpAddress& address) {
    if (due_.empty() || due_.begin()->first > nowMs) {
        return false;
    }
    datagram = std::move(due_.begin()->second.first);
    address = due_.begin()->second.second;
    due_.erase(due_.begin());
    return true;
}

int64_t Faults::untilNext(int64_t nowMs) const {
    if (due_.empty()) {
        return -1;
    }
    return std::max<int64_t>(0, due_.begin()->first - nowMs);
}
