#include "logins.h"

#include "infra/json_text.h"

namespace {

// Checks handed to the checking thread at a time: one being checked and the next ready, so that
// the thread never waits for a pass of the protocol loop.
constexpr size_t kChecksAtOnce = 2;
}  // namespace

// As many logins may wait from one address as it may have sessions.
Logins::Logins(Storage& storage, const ServerLimits& limits)
    : storage_(storage),
      gate_(LoginGateLimits{limits.maxPendingLogins, size_t(limits.maxSessionsPerAddress),
                            int64_t(limits.loginDelayMaxSeconds) * 1000}),
      checks_(kChecksAtOnce) {}

QString Logins::UserOf(const QString& text) {
    return GetJSONValue(text, QStringLiteral("username"));
}

QString Logins::PasswordOf(const QString& text) {
    return GetJSONValue(text, QStringLiteral("password"));
}

bool Logins::knownPassword(const LoginAttempt& a) {
    if (storage_.usersVersion() != usersVersion_) {
        usersVersion_ = storage_.usersVersion();
        verified_.clear();
    }
    const auto known = verified_.constFind(a.user);
    return known != verified_.constEnd() && QuickPasswordDigest(a.password, known->salt) == known->quick;
}

Logins::Offer Logins::offer(LoginAttempt attempt, int64_t nowMs) {
    if (knownPassword(attempt)) {
        gate_.succeeded(attempt);
        return Offer::Accepted;
    }
    for (const auto& [id, c] : checking_) {
        if (c.attempt.from == attempt.from && c.attempt.text == attempt.text) {
            return Offer::Ignored;
        }
    }
    return gate_.offer(std::move(attempt), nowMs) == LoginGate::Offer::Queued ? Offer::Waiting
                                                                              : Offer::Ignored;
}

void Logins::startChecks(int64_t nowMs) {
    while (checking_.size() < kChecksAtOnce) {
        std::optional<LoginAttempt> a = gate_.next(nowMs);
        if (!a) {
            return;
        }
        if (knownPassword(*a)) {
            gate_.succeeded(*a);
            decided_.emplace_back(std::move(*a), Outcome::Accepted);
            continue;
        }
        PasswordDigest digest;
        if (!storage_.userDigest(a->user, digest)) {
            if (!storage_.available()) {
                decided_.emplace_back(std::move(*a), Outcome::Unchecked);
                continue;
            }
            digest = UnknownUserDigest();
        }
        const uint64_t id = ++lastJob_;
        QString password = a->password;
        checking_.emplace(id, Checking{std::move(*a), digest.salt, storage_.usersVersion()});
        checks_.submit(PasswordChecks::Job{id, std::move(password), std::move(digest)});
    }
}

bool Logins::next(int64_t nowMs, LoginAttempt& attempt, Outcome& outcome) {
    startChecks(nowMs);
    if (!decided_.empty()) {
        attempt = std::move(decided_.front().first);
        outcome = decided_.front().second;
        decided_.pop_front();
        return true;
    }
    PasswordChecks::Outcome o;
    if (!checks_.take(o)) {
        return false;
    }
    const auto it = checking_.find(o.id);
    attempt = std::move(it->second.attempt);
    outcome = o.matches ? Outcome::Accepted : Outcome::Refused;
    if (o.matches) {
        // A digest read before the users changed proves nothing about the users of now.
        if (it->second.usersVersion == storage_.usersVersion()) {
            verified_.insert(attempt.user, Verified{it->second.salt,
                                                    QuickPasswordDigest(attempt.password, it->second.salt)});
        }
        gate_.succeeded(attempt);
    } else {
        gate_.failed(attempt, nowMs);
    }
    checking_.erase(it);
    return true;
}
