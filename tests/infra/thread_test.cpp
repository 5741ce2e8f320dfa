#include "infra/thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <vector>

namespace {

class Counter : public TThread {
  public:
    // `ended`, when given, outlives the thread and is set when its body returns.
    explicit Counter(std::atomic<bool>* ended = nullptr) : ended_(ended) {}
    ~Counter() override { Stop(); }
    std::atomic<int> passes{0};

  protected:
    void Execute() override {
        while (!Terminated()) {
            ++passes;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (ended_ != nullptr) {
            *ended_ = true;
        }
    }

  private:
    std::atomic<bool>* ended_;
};

class Thrower : public TThread {
  public:
    ~Thrower() override { WaitFor(); }
    std::atomic<bool> ran{false};

  protected:
    void Execute() override {
        ran = true;
        throw std::runtime_error("body failed");
    }
};

TEST(TThreadTest, RunsUntilTerminatedAndWaits) {
    Counter counter;
    counter.Start();
    counter.Start();  // a second start is ignored
    while (counter.passes.load() < 3) {
        std::this_thread::yield();
    }
    counter.Terminate();
    EXPECT_TRUE(counter.Terminated());
    counter.WaitFor();
    const int passes = counter.passes.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(counter.passes.load(), passes) << "the body has ended";
    counter.WaitFor();  // waiting again returns at once
}

TEST(TThreadTest, DestroyingStopsARunningThread) {
    std::atomic<bool> ended{false};
    auto counter = std::make_unique<Counter>(&ended);
    counter->Start();
    while (counter->passes.load() < 1) {
        std::this_thread::yield();
    }
    counter.reset();
    EXPECT_TRUE(ended) << "destroying returned before the body ended";
}

// A thread class that does not stop itself, whose body uses a member of its own: its ThreadPtr stops
// it before that member is destroyed (ASan sees a use after free otherwise).
class Appender : public TThread {
  public:
    explicit Appender(std::atomic<int>& ended) : ended_(ended) {}
    std::vector<int> values = std::vector<int>(1000);

  protected:
    void Execute() override {
        while (!Terminated()) {
            values[size_t(values[0]++ % 1000)] += 1;
        }
        ended_ += 1;
    }

  private:
    std::atomic<int>& ended_;
};

TEST(TThreadTest, ItsOwnerStopsAThreadBeforeDestroyingIt) {
    std::atomic<int> ended{0};
    for (int i = 0; i < 20; ++i) {
        ThreadPtr<Appender> appender = MakeThread<Appender>(ended);
        appender->Start();
        std::this_thread::yield();
        EXPECT_EQ(ended.load(), i);
    }
    EXPECT_EQ(ended.load(), 20) << "an owner let go of its object before the thread's body ended";
}

TEST(TThreadTest, AThrowingBodyEndsTheThreadQuietly) {
    Thrower thrower;
    thrower.Start();
    thrower.WaitFor();
    EXPECT_TRUE(thrower.ran);
    // The process goes on (an escaping exception would have ended it) and the thread can be stopped.
    thrower.Stop();
    EXPECT_TRUE(thrower.Terminated());
}

TEST(TThreadTest, NeverStartedThreadsNeedNoWait) {
    std::atomic<bool> ended{false};
    Counter counter(&ended);
    counter.Terminate();
    counter.WaitFor();
    EXPECT_EQ(counter.passes.load(), 0);
    EXPECT_FALSE(ended) << "a thread never started ran its body";
}

}  // namespace
