#include "infra/thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <vector>

namespace {

class Counter : public TThread {
  public:
    ~Counter() override { Stop(); }
    std::atomic<int> passes{0};

  protected:
    void Execute() override {
        while (!Terminated()) {
            ++passes;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

class Thrower : public TThread {
  public:
    ~Thrower() override { WaitFor(); }

  protected:
    void Execute() override { throw std::runtime_error("body failed"); }
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
    auto counter = std::make_unique<Counter>();
    counter->Start();
    counter.reset();
}

// A thread class that does not stop itself, whose body uses a member of its own: its ThreadPtr stops
// it before that member is destroyed (ASan sees a use after free otherwise).
class Appender : public TThread {
  public:
    std::vector<int> values = std::vector<int>(1000);

  protected:
    void Execute() override {
        while (!Terminated()) {
            values[size_t(values[0]++ % 1000)] += 1;
        }
    }
};

TEST(TThreadTest, ItsOwnerStopsAThreadBeforeDestroyingIt) {
    for (int i = 0; i < 20; ++i) {
        ThreadPtr<Appender> appender = MakeThread<Appender>();
        appender->Start();
        std::this_thread::yield();
    }
}

TEST(TThreadTest, AThrowingBodyEndsTheThreadQuietly) {
    Thrower thrower;
    thrower.Start();
    thrower.WaitFor();
}

TEST(TThreadTest, NeverStartedThreadsNeedNoWait) {
    Counter counter;
    counter.Terminate();
    counter.WaitFor();
}

}  // namespace
