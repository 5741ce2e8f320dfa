// The rebuilds of the pages for the tables the client reports changed, run on the UI thread.
//
// Reports may come from any thread. All reports that arrive before the window's next event-loop
// turn make one rebuild of each table named, in the order of their first report, so a single
// report still rebuilds at once. While updates stream in (`streaming`, the window's import with
// lines on their way, each confirmed line bringing its record), the rebuilds wait at least
// `minimumGap` (and four times what the last batch took) after the last batch, so that a page
// rebuilding its whole grid for every record does not set the pace of the import; the last
// reports are rebuilt once that gap has passed.
//
// Thread-safety: Report from any thread; everything else on the thread that owns the object.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <mutex>

class TableRefreshes : public QObject {
  public:
    TableRefreshes(std::function<void(const QString&)> rebuild, std::function<bool()> streaming,
                   std::chrono::milliseconds minimumGap, QObject* parent);

    void Report(const QString& name);

  private:
    void RunPending();

    std::function<void(const QString&)> rebuild_;
    std::function<bool()> streaming_;
    const std::chrono::milliseconds minimumGap_;
    std::mutex mutex_;
    QStringList pending_;  // guarded by mutex_
    bool posted_ = false;  // guarded by mutex_: a RunPending is posted or waits on later_
    QTimer later_;
    QElapsedTimer sinceBatch_;
    std::chrono::milliseconds gap_{0};
};
