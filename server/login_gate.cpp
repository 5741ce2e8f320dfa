#include "login_gate.h"

#include <algorithm>

namespace {

constexpr int64_t kFirstDelayMs = 250;
constexpr int64_t kAccountDelayMaxMs = 3000;
constexpr int64_t kWaitAtMostMs = 10000;
constexpr int64_t kForgetAfterMs = 15 * 60 * 1000;
// Addresses and names whose failures are remembered; beyond them the oldest is forgotten.
constexpr size_t kRemembered = 4096;

}  // namespace

template <typename Key, typename Map>
void LoginGate::fail(Map& map, const Key& key, int64_t nowMs, int64_t capMs) {
    if (map.size() >= kRemembered && map.find(key) == map.end()) {
        auto oldest = map.begin();
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (it->second.lastMs < oldest->second.lastMs) {
                oldest = it;
            }
        }
        map.erase(oldest);
    }
    Failures& f = map[key];
    f.count = std::min(f.count + 1, 30);
    f.lastMs = nowMs;
    f.untilMs = nowMs + std::min(kFirstDelayMs << (f.count - 1), capMs);
}

int LoginGate::addressFailures(uint32_t ip) const {
    const auto it = addresses_.find(ip);
    return it == addresses_.end() ? 0 : it->second.count;
}

bool LoginGate::mayCheck(const LoginAttempt& a, int64_t nowMs) const {
    const auto address = addresses_.find(a.from.ip);
    if (address != addresses_.end() && nowMs < address->second.untilMs) {
        return false;
    }
    const auto account = accounts_.find(a.user);
    return account == accounts_.end() || nowMs >= account->second.untilMs;
}

LoginGate::Offer LoginGate::offer(LoginAttempt attempt, int64_t nowMs) {
    attempt.atMs = nowMs;
    size_t fromAddress = 0;
    for (LoginAttempt& w : waiting_) {
        if (w.from == attempt.from) {
            if (w.text == attempt.text) {
                return Offer::Copy;
            }
            w = std::move(attempt);
            return Offer::Queued;
        }
        fromAddress += w.from.ip == attempt.from.ip ? 1 : 0;
    }
    if (fromAddress >= limits_.waitingPerAddress) {
        return Offer::Dropped;
    }
    if (waiting_.size() < limits_.waiting) {
        waiting_.push_back(std::move(attempt));
        return Offer::Queued;
    }
    // Full: an address that failed more often gives way.
    auto worst = std::max_element(waiting_.begin(), waiting_.end(), [this](const auto& a, const auto& b) {
        return addressFailures(a.from.ip) < addressFailures(b.from.ip);
    });
    if (addressFailures(worst->from.ip) <= addressFailures(attempt.from.ip)) {
        return Offer::Dropped;
    }
    *worst = std::move(attempt);
    return Offer::Queued;
}

std::optional<LoginAttempt> LoginGate::next(int64_t nowMs) {
    std::erase_if(waiting_, [nowMs](const LoginAttempt& a) { return nowMs - a.atMs > kWaitAtMostMs; });
    auto best = waiting_.end();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (!mayCheck(*it, nowMs)) {
            continue;
        }
        if (best == waiting_.end() || std::pair(addressFailures(it->from.ip), it->atMs) <
                                          std::pair(addressFailures(best->from.ip), best->atMs)) {
            best = it;
        }
    }
    if (best == waiting_.end()) {
        return std::nullopt;
    }
    LoginAttempt a = std::move(*best);
    waiting_.erase(best);
    return a;
}

void LoginGate::failed(const LoginAttempt& attempt, int64_t nowMs) {
    fail(addresses_, attempt.from.ip, nowMs, limits_.addressDelayMaxMs);
    fail(accounts_, attempt.user, nowMs, std::min(kAccountDelayMaxMs, limits_.addressDelayMaxMs));
}

void LoginGate::succeeded(const LoginAttempt& attempt) {
    addresses_.erase(attempt.from.ip);
    accounts_.erase(attempt.user);
}

void LoginGate::forget(int64_t nowMs) {
    const auto old = [nowMs](const auto& entry) { return nowMs - entry.second.lastMs > kForgetAfterMs; };
    std::erase_if(addresses_, old);
    std::erase_if(accounts_, old);
}
