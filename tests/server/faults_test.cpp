// Seeded faults: the same seed repeats a run, and each fault shows at about its rate.
#include "server/faults.h"

#include <gtest/gtest.h>

namespace {

std::vector<QByteArray> run(const FaultSettings& s, int count) {
    Faults f(s);
    std::vector<QByteArray> out;
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(f.take(QByteArray::number(i), UdpAddress{1, 2}, i));
    }
    QByteArray d;
    UdpAddress a;
    while (f.next(count + 1000, d, a)) {
        EXPECT_EQ(a, (UdpAddress{1, 2}));
        out.push_back(d);
    }
    return out;
}

TEST(Faults, OffMeansUntouched) {
    Faults f(FaultSettings{});
    EXPECT_FALSE(f.take("x", UdpAddress{}, 0));
    EXPECT_EQ(f.untilNext(0), -1);
}

TEST(Faults, SameSeedSameRun) {
    FaultSettings s{0.2, 0.1, 0.1, 0, 42};
    EXPECT_EQ(run(s, 2000), run(s, 2000));
    s.seed = 43;
    EXPECT_NE(run(FaultSettings{0.2, 0.1, 0.1, 0, 42}, 2000), run(s, 2000));
}

TEST(Faults, RatesShow) {
    const auto lost = run(FaultSettings{0.2, 0, 0, 0, 1}, 10000);
    EXPECT_NEAR(double(lost.size()), 8000, 300);
    const auto doubled = run(FaultSettings{0, 0.1, 0, 0, 1}, 10000);
    EXPECT_NEAR(double(doubled.size()), 11000, 300);
    const auto reordered = run(FaultSettings{0, 0, 0.5, 0, 1}, 1000);
    EXPECT_FALSE(
        std::is_sorted(reordered.begin(), reordered.end(),
                       [](const QByteArray& a, const QByteArray& b) { return a.toInt() < b.toInt(); }));
}

TEST(Faults, DelayHoldsDatagrams) {
    Faults f(FaultSettings{0, 0, 0, 25, 1});
    ASSERT_TRUE(f.take("x", UdpAddress{}, 100));
    QByteArray d;
    UdpAddress a;
    EXPECT_FALSE(f.next(124, d, a));
    EXPECT_EQ(f.untilNext(110), 15);
    EXPECT_TRUE(f.next(125, d, a));
    EXPECT_EQ(d, QByteArray("x"));
}

}  // namespace
