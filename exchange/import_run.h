// Applying the valid lines of an import one at a time, as the page's "Сохранить" does: the table's
// Add, every value written into its column's edit buffer, Post. The next line goes only once the
// server has confirmed this one ("netyesadddatadatabase" for the table, with the new record's
// identifier) or refused it ("neterrordatadatabase"). A line neither confirmed nor refused within
// the time-out ends the run: its command may still be on its way (kept across a lost link), so
// nothing is sent behind it, and the line is reported as not confirmed. Stop ends the run after the
// line in flight; what the server confirmed stays.
//
// The owner feeds the session client's notices in (TakeNotice) and calls Step often; both on one
// thread, the one that edits the table.
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <vector>

#include "exchange/import_check.h"

class TBaseClient;

class ImportRun {
  public:
    using Clock = std::chrono::steady_clock;
    enum class State { Waiting, Sent, Confirmed, Refused, Unconfirmed, NotSent };
    struct Result {
        int line = 0;
        State state = State::Waiting;
        int32_t n_abs = 0;  // of a confirmed line
        QString note;       // the server's reason for a refused line
    };

    // Only the valid lines of `lines` are sent.
    ImportRun(TBaseClient& table, const std::vector<ImportLine>& lines, Clock::duration timeout);

    // Sends the next line when none is in flight, or settles the one whose time is up. False once the
    // run has ended.
    bool Step(Clock::time_point now);
    // True when the notice settled the line in flight.
    bool TakeNotice(const QString& notice);
    void Stop();

    bool Finished() const { return finished_; }
    const std::vector<Result>& Results() const { return results_; }
    int Count(State state) const;
    // Lines that are neither waiting nor in flight.
    int Settled() const;

  private:
    void Send(size_t index);
    void Settle(State state, int32_t n_abs, const QString& note);
    void End();

    TBaseClient& table_;
    std::vector<ImportLine> lines_;
    std::vector<Result> results_;
    Clock::duration timeout_;
    size_t next_ = 0;
    bool inFlight_ = false;
    Clock::time_point sentAt_;
    bool stopping_ = false;
    bool finished_ = false;
};

// How a line's state reads in reports.
QString ImportStateText(ImportRun::State state);
