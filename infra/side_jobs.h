// Jobs run beside the caller: one helper thread takes them in order while the caller goes on with
// its own work; Finish lets the caller take the jobs still waiting as well and returns when every
// job has run. Used where a loader can hand independent writes away while it keeps parsing.
// Add and Finish are called by the owning thread only; the destructor finishes.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class SideJobs {
  public:
    SideJobs() = default;
    SideJobs(const SideJobs&) = delete;
    SideJobs& operator=(const SideJobs&) = delete;
    ~SideJobs();

    // Queues the job; the helper thread starts with the first one.
    void Add(std::function<void()> job);
    // Runs what is still waiting on this thread too, and waits for the helper's current job.
    void Finish();

  private:
    bool takeJob(std::function<void()>& job);
    void helper();

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool closing_ = false;
    std::thread thread_;
};
