// CliSession: the desktop tool's session start without windows. It registers the six tables as
// start-up does, creates the session client on them, logs in with the given user name and password
// and loads every table, then hands the caller the client's notices and table refreshes.
//
// Thread-safety: a CliSession lives on the main thread, which plays the desktop tool's user
// interface thread; the session client runs its own threads. The refresh callback arrives on the
// client thread and only records the table name under a lock. Destruction stops the client.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "cli/command.h"
#include "infra/thread.h"
#include "tables/base_set.h"

class client_udp;
class Output;

class CliSession {
  public:
    CliSession(const QString& host, uint16_t port, Output& output);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    TBaseC& Base() { return Base_; }

    // Logs in and waits until every table is loaded; returns an ExitCode. Each loaded table is
    // reported as a line {"table":...,"size":...,"count":...}, now and after any later re-login.
    int LoginAndLoad(const QString& user, const QString& password, Clock::time_point deadline,
                     double timeoutSeconds);

    // Every notice the client posts from now on goes to handler (after the loaded-table lines).
    void SetNoticeHandler(std::function<void(const QString&)> handler) {
        noticeHandler_ = std::move(handler);
    }

    // Passes notices to the handler until done() is true, the deadline passes or a stop was
    // requested. True when done() became true.
    bool WaitUntil(Clock::time_point deadline, const std::function<bool()>& done);

    // Logged in with every table loaded.
    bool Ready() const;

    // The table's guard, held once the table is loaded: a new login clears and reloads every
    // table, and a loaded table cannot be cleared while its guard is held. Notices are passed on
    // meanwhile. Not owning a lock when the deadline passed first.
    TBaseClient::GuardType LockLoaded(TBaseClient& table, Clock::time_point deadline);

    struct Refresh {
        QString table;
        int64_t atMicros;  // wall clock when the client applied the change
    };
    // The table refreshes reported by the client since the last call, in order.
    std::vector<Refresh> TakeRefreshes();

    // Outgoing commands (JSON texts) and file sends; false when the client's queue refused.
    bool PutCommand(const QString& text);
    bool PutFile(const QString& text);

    // Reports an operation that was not confirmed, or that a signal ended the wait; kExitNotConfirmed.
    static int NotConfirmed(const QString& message);

    // Called from a signal handler: makes WaitUntil return at its next pass.
    static void RequestStop() { stopRequested_.store(true); }
    static bool StopRequested() { return stopRequested_.load(); }

  private:
    void PumpNotices();

    Output& output_;
    TBaseC Base_;
    ThreadPtr<client_udp> client_;
    std::function<void(const QString&)> noticeHandler_;
    std::mutex refreshLock_;
    std::vector<Refresh> refreshes_;
    static inline std::atomic<bool> stopRequested_{false};
};
