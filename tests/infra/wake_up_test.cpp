#include "infra/wake_up.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "infra/queues.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Far longer than any wake-up may take: a missed signal shows as a wait this long.
constexpr auto kLongWait = std::chrono::microseconds(10s);
constexpr auto kGenerous = 5s;

TEST(WakeUpTest, ASignalGivenBeforeTheWaitIsKeptAndUsedOnce) {
    TWakeUp wake;
    wake.Signal();
    wake.Signal();
    const auto start = Clock::now();
    EXPECT_TRUE(wake.Wait(kLongWait));
    EXPECT_LT(Clock::now() - start, kGenerous);
    EXPECT_FALSE(wake.Wait(std::chrono::microseconds(1000))) << "two signals before one wait count once";
}

TEST(WakeUpTest, WithoutASignalTheWaitEndsAtItsTimeOut) {
    TWakeUp wake;
    const auto start = Clock::now();
    EXPECT_FALSE(wake.Wait(std::chrono::microseconds(20'000)));
    EXPECT_GE(Clock::now() - start, 20ms);
}

// A consumer that empties a queue and then waits, against a producer that puts one message at a
// time and waits for it to be taken: every put falls somewhere in the consumer's look-then-wait,
// including just between the look and the wait. One missed wake-up costs kLongWait.
TEST(WakeUpTest, EveryPutWakesTheConsumerWhereverItFallsInItsCycle) {
    TWakeUp wake;
    OchFIFO queue;
    queue.SetSizeOch(4);
    queue.SetWakeUp(&wake);
    constexpr int kRounds = 2000;
    std::atomic<int> taken{0};
    std::atomic<bool> stop{false};
    std::thread consumer([&] {
        QByteArray message;
        while (!stop.load()) {
            while (queue.GetSoobD(message)) {
                taken.fetch_add(1);
            }
            wake.Wait(kLongWait);
        }
    });
    int missed = 0;
    for (int round = 1; round <= kRounds && missed == 0; ++round) {
        EXPECT_TRUE(queue.PutSoob("x", 1));
        const auto put = Clock::now();
        while (taken.load() < round) {
            if (Clock::now() - put > kGenerous) {
                missed = round;
                break;
            }
            std::this_thread::yield();
        }
    }
    EXPECT_EQ(missed, 0) << "round " << missed << " was not woken";
    stop.store(true);
    wake.Signal();
    consumer.join();
    EXPECT_EQ(taken.load(), kRounds);
}

TEST(WakeUpTest, OnlyAcceptedPutsSignal) {
    TWakeUp wake;
    OchFIFO bytes;
    bytes.SetSizeOch(1);
    bytes.SetWakeUp(&wake);
    OchFIFOJSON texts;
    texts.SetSizeOch(1);
    texts.SetWakeUp(&wake);
    const std::chrono::microseconds instant(0);

    EXPECT_TRUE(bytes.PutSoob("a", 1));
    EXPECT_TRUE(wake.Wait(instant));
    EXPECT_FALSE(bytes.PutSoob("b", 1)) << "full";
    EXPECT_FALSE(wake.Wait(instant));

    EXPECT_FALSE(texts.PutSoob(QString())) << "an empty text is refused";
    EXPECT_FALSE(wake.Wait(instant));
    EXPECT_TRUE(texts.PutSoob(QStringLiteral("c")));
    EXPECT_TRUE(wake.Wait(instant));
}

}  // namespace
