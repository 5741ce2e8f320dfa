// Password checks off the protocol thread. A check derives a digest on purpose slowly (tens of
// milliseconds), so the protocol thread hands it to a thread of its own through a bounded queue and
// goes on serving the logged-in clients; it collects the outcomes on its next passes. The checking
// thread runs at a lower scheduling priority than the protocol thread, so that on a busy machine the
// logged-in clients are served first.
// Thread-safety: submit, take and busy are called by one thread (the owner); the checking thread
// meets it only under the lock. The destructor stops the checking thread after its current check.
#pragma once

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "password_digest.h"

class PasswordChecks {
  public:
    struct Job {
        uint64_t id = 0;
        QString password;
        PasswordDigest digest;
    };
    struct Outcome {
        uint64_t id = 0;
        bool matches = false;
    };

    // At most `capacity` jobs wait or are being checked at a time.
    explicit PasswordChecks(size_t capacity);
    ~PasswordChecks();
    PasswordChecks(const PasswordChecks&) = delete;
    PasswordChecks& operator=(const PasswordChecks&) = delete;

    // Queues the job; false when the queue is full.
    bool submit(Job job);
    // The outcome of a finished job, in the order they finish.
    bool take(Outcome& out);
    // Whether jobs wait, are being checked, or have outcomes not taken yet.
    bool busy() const;

  private:
    void run();

    const size_t capacity_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::deque<Outcome> outcomes_;
    size_t checking_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
