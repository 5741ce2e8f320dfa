#include "infra/wake_up.h"

void TWakeUp::Signal() {
    // Whoever turned the flag on already saw to the sleeper (or the sleeper will see the flag).
    if (pending_.exchange(true)) {
        return;
    }
    if (sleepers_.load() > 0) {
        // Taking the lock orders the notification after the sleeper's last look at the flag.
        std::lock_guard lock(mutex_);
        woken_.notify_one();
    }
}

bool TWakeUp::Wait(std::chrono::microseconds timeout) {
    if (pending_.exchange(false)) {
        return true;
    }
    sleepers_.fetch_add(1);
    {
        std::unique_lock lock(mutex_);
        woken_.wait_for(lock, timeout, [this] { return pending_.load(); });
    }
    sleepers_.fetch_sub(1);
    return pending_.exchange(false);
}
