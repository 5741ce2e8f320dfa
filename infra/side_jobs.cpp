#include "infra/side_jobs.h"

SideJobs::~SideJobs() {
    Finish();
}

void SideJobs::Add(std::function<void()> job) {
    {
        const std::lock_guard guard(lock_);
        jobs_.push_back(std::move(job));
    }
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { helper(); });
    }
    wake_.notify_one();
}

bool SideJobs::takeJob(std::function<void()>& job) {
    const std::lock_guard guard(lock_);
    if (jobs_.empty()) {
        return false;
    }
    job = std::move(jobs_.front());
    jobs_.pop_front();
    return true;
}

void SideJobs::helper() {
    std::unique_lock guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        guard.unlock();
        job();
        guard.lock();
    }
}

void SideJobs::Finish() {
    std::function<void()> job;
    while (takeJob(job)) {
        job();
    }
    if (thread_.joinable()) {
        {
            const std::lock_guard guard(lock_);
            closing_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    const std::lock_guard guard(lock_);
    closing_ = false;
}
