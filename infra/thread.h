// A thread owned by exactly one object. The owner calls Start once set up, and to stop it
// Terminate followed by WaitFor (the destructor does both if the owner did not).
// Execute runs on the thread and loops until Terminated() is true; it must not throw.
#pragma once

#include <atomic>
#include <thread>

class TThread {
  public:
    TThread() = default;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    virtual ~TThread();

    void Start();
    void Terminate() { terminated_.store(true, std::memory_order_release); }
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    void WaitFor();

  protected:
    virtual void Execute() = 0;

  private:
    std::atomic<bool> terminated_{false};
    std::thread thread_;
};
