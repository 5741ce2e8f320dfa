// A wake-up signal for one waiting thread: producers call Signal after handing work over (through a
// queue, for instance), the consumer calls Wait when it found nothing to do. A Signal given while the
// consumer was still busy is kept, so the next Wait returns at once: work handed over between the
// consumer's last look and its Wait is never left until the time-out.
//
// Signal costs one atomic exchange when the signal is already pending or nobody waits; only a
// sleeping waiter costs a lock and a notification. Any number of threads may Signal; one thread
// Waits.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class TWakeUp {
  public:
    void Signal();
    // Returns at once when a Signal is pending, else sleeps until one comes or `timeout` passes.
    // True when woken by a Signal. Either way the pending Signal is used up.
    bool Wait(std::chrono::microseconds timeout);

  private:
    std::atomic<bool> pending_{false};
    std::atomic<int> sleepers_{0};
    std::mutex mutex_;
    std::condition_variable woken_;
};
