// A thread owned by exactly one object. Start runs Execute on a new thread; Execute loops until
// Terminated() is true and must not throw (an exception ends the thread quietly).
//
// Stopping is two steps: Terminate asks (Execute sees the request at its next check) and WaitFor
// joins. Stop does both, and ThreadPtr is the owner that stops a thread before it destroys it, so no
// owner spells the two steps out. Stopping must happen before the object's own members go: Execute
// uses them. A derived class therefore stops itself first thing in its destructor, or is held in a
// ThreadPtr; by the time ~TThread runs, the derived members are already destroyed, so the Stop in
// ~TThread only ends a thread that uses nothing but TThread's own state.
//
// WaitFor (and so Stop) from the thread itself returns at once; a thread never started needs none.
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

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
    // Terminate, then WaitFor.
    void Stop();

  protected:
    virtual void Execute() = 0;

  private:
    std::atomic<bool> terminated_{false};
    std::thread thread_;
};

// The deleter of ThreadPtr: stops the thread, then destroys the object.
struct StopAndDelete {
    void operator()(TThread* thread) const {
        thread->Stop();
        delete thread;
    }
};

// The one owner of a thread object: destroying or resetting it stops the thread first.
template <typename T>
using ThreadPtr = std::unique_ptr<T, StopAndDelete>;

template <typename T, typename... Args>
ThreadPtr<T> MakeThread(Args&&... args) {
    return ThreadPtr<T>(new T(std::forward<Args>(args)...));
}
