#include "table_refreshes.h"

#include <algorithm>

TableRefreshes::TableRefreshes(std::function<void(const QString&)> rebuild, std::function<bool()> streaming,
                               std::chrono::milliseconds minimumGap, QObject* parent)
    : QObject(parent),
      rebuild_(std::move(rebuild)),
      streaming_(std::move(streaming)),
      minimumGap_(minimumGap) {
    later_.setSingleShot(true);
    connect(&later_, &QTimer::timeout, this, [this] { RunPending(); });
}

void TableRefreshes::Report(const QString& name) {
    {
        const std::lock_guard lock(mutex_);
        if (!pending_.contains(name)) {
            pending_ << name;
        }
        if (posted_) {
            return;
        }
        posted_ = true;
    }
    QMetaObject::invokeMethod(
        this, [this] { RunPending(); }, Qt::QueuedConnection);
}

void TableRefreshes::RunPending() {
    if (sinceBatch_.isValid() && streaming_()) {
        const auto waited = std::chrono::milliseconds(sinceBatch_.elapsed());
        if (waited < gap_) {
            later_.start(gap_ - waited);
            return;
        }
    }
    QStringList names;
    {
        const std::lock_guard lock(mutex_);
        names.swap(pending_);
        posted_ = false;
    }
    QElapsedTimer took;
    took.start();
    for (const QString& name : names) {
        rebuild_(name);
    }
    gap_ = std::max(minimumGap_, std::chrono::milliseconds(4 * took.elapsed()));
    sinceBatch_.start();
}
