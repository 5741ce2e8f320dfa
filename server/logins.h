// Logins: whether a registration's user and password are right, decided without holding up the
// protocol thread. A password verified earlier in the run is recognised at once by a quick salted
// digest kept in memory; any other is checked the slow way on the checking thread
// (password_checks.h), after the attempt has waited out the delays its address and user name
// earned by failing (login_gate.h). A name that is no user is checked against a stand-in digest,
// so that its refusal costs as long as a wrong password does.
// Not thread-safe: the protocol thread owns it (and through it the checking thread).
#pragma once

#include <QHash>
#include <QString>
#include <deque>
#include <unordered_map>

#include "limits.h"
#include "login_gate.h"
#include "password_checks.h"
#include "storage.h"

class Logins {
  public:
    Logins(Storage& storage, const ServerLimits& limits);

    enum class Offer { Accepted, Waiting, Ignored };
    // A registration: accepted at once when its password was verified before in this run, else
    // queued for a check; ignored when it is a copy of one queued, or when more attempts wait than
    // the limits allow (no answer: the client tries again after four seconds).
    Offer offer(LoginAttempt attempt, int64_t nowMs);
    // Unchecked: the database could not tell (it is away); refusing would stop the client until its
    // operator logs in again, so it is left unanswered and tries again (at its next server address).
    enum class Outcome { Accepted, Refused, Unchecked };
    // Starts the checks that may start now, and gives the outcome of one finished check at a time.
    bool next(int64_t nowMs, LoginAttempt& attempt, Outcome& outcome);
    // Checks are queued or running: their outcomes come within milliseconds.
    bool busy() const { return checks_.busy(); }
    // Forgets which passwords were verified, so that every later login is checked against the
    // database (the users were re-read). It does so too whenever the storage's users change.
    void forgetVerified() { verified_.clear(); }
    // Forgets failures long past.
    void upkeep(int64_t nowMs) { gate_.forget(nowMs); }

    // The user name and the password of a registration text, both escaped by the client as JSON
    // string contents and read back unescaped.
    static QString UserOf(const QString& text);
    static QString PasswordOf(const QString& text);

  private:
    // Hands the attempts that may be checked now to the checking thread; one whose password was
    // verified since it came is decided at once.
    void startChecks(int64_t nowMs);
    bool knownPassword(const LoginAttempt& attempt);

    Storage& storage_;
    LoginGate gate_;
    PasswordChecks checks_;
    uint64_t lastJob_ = 0;
    struct Checking {
        LoginAttempt attempt;
        QByteArray salt;
        uint64_t usersVersion = 0;  // of the storage when the digest was read
    };
    std::unordered_map<uint64_t, Checking> checking_;
    // Attempts decided without a check: known passwords, and those the database could not tell of.
    std::deque<std::pair<LoginAttempt, Outcome>> decided_;
    uint64_t usersVersion_ = 0;  // of the storage when verified_ was last good
    // Users whose password was verified the slow way, with a quick digest of it.
    struct Verified {
        QByteArray salt;
        QByteArray quick;
    };
    QHash<QString, Verified> verified_;
};
