// TLog: a background thread writing queued text lines into one file per day,
// <working dir>/logs/<name>_yyyymmdd.log, each line "<time> - <text>" in the code page with CR LF,
// and deleting this log's files older than LogDay days. Producers on any thread put lines into
// Buffer and never wait for the disk; lines that cannot be written stay queued for the next pass
// (at most 5000, further lines are refused). The owner sets name, then Log, then calls Start; the
// writer stops when it is destroyed (or by Stop), after one last pass that writes what was queued.
#pragma once

#include <QString>
#include <atomic>

#include "queues.h"
#include "thread.h"

class TLog : public TThread {
  public:
    TLog();
    ~TLog() override;

    OchFIFOJSON Buffer;
    QString Dir;
    QString name;
    std::atomic<bool> Log{false};
    int32_t LogDay = 3;
    double LogDayDate = 0;

    // One pass of the writer (what Execute repeats every 50 ms); public so tests can drive it.
    void Pass();

  protected:
    void Execute() override;
};
