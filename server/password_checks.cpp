#include "password_checks.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {

// How much nicer than the protocol thread the checking thread is.
constexpr int kLowerPriority = 10;

}  // namespace

PasswordChecks::PasswordChecks(size_t capacity) : capacity_(capacity) {
    thread_ = std::thread([this] { run(); });
}

PasswordChecks::~PasswordChecks() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool PasswordChecks::submit(Job job) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (jobs_.size() + checking_ >= capacity_) {
            return false;
        }
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

bool PasswordChecks::take(Outcome& out) {
    std::lock_guard<std::mutex> guard(lock_);
    if (outcomes_.empty()) {
        return false;
    }
    out = outcomes_.front();
    outcomes_.pop_front();
    return true;
}

bool PasswordChecks::busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !jobs_.empty() || checking_ > 0 || !outcomes_.empty();
}

void PasswordChecks::run() {
    // On Linux a thread's nice value is its own; failing to lower it only costs fairness.
    setpriority(PRIO_PROCESS, id_t(gettid()), kLowerPriority);
    std::unique_lock<std::mutex> guard(lock_);
    while (true) {
        wake_.wait(guard, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        ++checking_;
        guard.unlock();
        const bool matches = PasswordMatches(job.password, job.digest);
        guard.lock();
        --checking_;
        outcomes_.push_back(Outcome{job.id, matches});
    }
}
