#include "infra/ticks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(TicksTest, RealTicksAdvanceInNanoseconds) {
    const uint64_t before = GetTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const uint64_t after = GetTicks();
    EXPECT_GE(after - before, 2'000'000u);
}

TEST(TicksTest, InstalledSourcesReplaceTheClocksUntilCleared) {
    uint64_t ticks = 42;
    SetTicksSource([&ticks] { return ticks; });
    EXPECT_EQ(GetTicks(), 42u);
    ticks = 43;
    EXPECT_EQ(GetTicks(), 43u);
    SetTicksSource({});
    EXPECT_GT(GetTicks(), 43u);

    const QDateTime fixed(QDate(2021, 4, 8), QTime(23, 59, 59));
    SetDateTimeSource([fixed] { return fixed; });
    EXPECT_EQ(CurrentDateTime(), fixed);
    SetDateTimeSource({});
    EXPECT_GT(CurrentDateTime().date().year(), 2021);
}

}  // namespace
