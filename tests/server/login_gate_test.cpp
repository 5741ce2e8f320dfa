// The door's queue and delays, with the time passed in: a failure delays the next attempt from its
// address and for its name, twice as long with every further failure up to the caps, and a success
// clears both; a copy of a waiting attempt is no new attempt, and a client's next attempt takes the
// place of its last; few attempts wait per address and in all, a full queue gives way to an address
// that failed less, and the address with the fewest failures is checked first.
#include "server/login_gate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

LoginAttempt attempt(uint32_t ip, uint16_t port, const QString& user,
                     const QString& text = QStringLiteral("reg")) {
    LoginAttempt a;
    a.from = UdpAddress{ip, port};
    a.user = user;
    a.text = text;
    return a;
}

struct DelayCase {
    const char* name;
    bool oneAddress;
    std::vector<int64_t> delays;  // before the attempt after the 1st, 2nd, ... failure
};

class LoginGateDelayTest : public ::testing::TestWithParam<DelayCase> {};

TEST_P(LoginGateDelayTest, EachFailureDoublesTheDelayUpToItsCap) {
    const DelayCase& c = GetParam();
    LoginGate gate({256, 8, 30000});
    int64_t now = 1000000;
    for (size_t i = 0; i < c.delays.size(); ++i) {
        const uint32_t ip = c.oneAddress ? 1 : 100 + uint32_t(i);
        const QString user = c.oneAddress ? QStringLiteral("name%1").arg(i) : QStringLiteral("admin");
        gate.offer(attempt(ip, 1000, user), now);
        const std::optional<LoginAttempt> a = gate.next(now);
        ASSERT_TRUE(a) << "failure " << i;
        gate.failed(*a, now);
        const uint32_t nextIp = c.oneAddress ? 1 : 200 + uint32_t(i);
        const QString nextUser = c.oneAddress ? QStringLiteral("other%1").arg(i) : QStringLiteral("admin");
        const int64_t due = now + c.delays[i];
        gate.offer(attempt(nextIp, 1001, nextUser), due - 1);
        EXPECT_FALSE(gate.next(due - 1)) << "after failure " << i + 1;
        const std::optional<LoginAttempt> later = gate.next(due);
        ASSERT_TRUE(later) << "after failure " << i + 1;
        now = due;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginGateDelayTest,
    ::testing::Values(DelayCase{"Address", true, {250, 500, 1000, 2000, 4000, 8000, 16000, 30000, 30000}},
                      DelayCase{"Name", false, {250, 500, 1000, 2000, 3000, 3000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoginGate, ASuccessClearsTheDelaysAndOldFailuresAreForgotten) {
    LoginGate gate({256, 8, 30000});
    int64_t now = 0;
    for (int i = 0; i < 3; ++i, now += 5000) {
        gate.offer(attempt(1, 1000, QStringLiteral("admin")), now);
        const std::optional<LoginAttempt> a = gate.next(now);
        ASSERT_TRUE(a);
        gate.failed(*a, now);
    }
    now -= 5000;
    gate.offer(attempt(1, 1000, QStringLiteral("admin")), now);
    EXPECT_FALSE(gate.next(now + 999));
    const std::optional<LoginAttempt> a = gate.next(now + 1000);
    ASSERT_TRUE(a);
    gate.succeeded(*a);
    gate.offer(attempt(1, 1000, QStringLiteral("admin")), now + 1000);
    EXPECT_TRUE(gate.next(now + 1000));

    gate.offer(attempt(2, 1000, QStringLiteral("bob")), 0);
    const std::optional<LoginAttempt> b = gate.next(0);
    ASSERT_TRUE(b);
    gate.failed(*b, 0);
    gate.forget(15 * 60 * 1000 + 1);
    gate.offer(attempt(2, 1000, QStringLiteral("bob")), 15 * 60 * 1000 + 1);
    EXPECT_TRUE(gate.next(15 * 60 * 1000 + 1));
}

TEST(LoginGate, FewAttemptsWaitAndACleanAddressGoesFirst) {
    LoginGate gate({4, 2, 30000});
    // A copy is no new attempt; the client's next attempt takes the place of its last.
    EXPECT_EQ(gate.offer(attempt(1, 1, QStringLiteral("a"), QStringLiteral("first")), 0),
              LoginGate::Offer::Queued);
    EXPECT_EQ(gate.offer(attempt(1, 1, QStringLiteral("a"), QStringLiteral("first")), 0),
              LoginGate::Offer::Copy);
    EXPECT_EQ(gate.offer(attempt(1, 1, QStringLiteral("a"), QStringLiteral("second")), 0),
              LoginGate::Offer::Queued);
    EXPECT_EQ(gate.waiting(), 1u);
    EXPECT_EQ(gate.next(0)->text, QStringLiteral("second"));

    // Address 1 fails once; its attempts fill the queue as far as its share allows.
    gate.offer(attempt(1, 1, QStringLiteral("a")), 0);
    const std::optional<LoginAttempt> a = gate.next(0);
    ASSERT_TRUE(a);
    gate.failed(*a, 0);
    EXPECT_EQ(gate.offer(attempt(1, 2, QStringLiteral("b")), 1), LoginGate::Offer::Queued);
    EXPECT_EQ(gate.offer(attempt(1, 3, QStringLiteral("c")), 2), LoginGate::Offer::Queued);
    EXPECT_EQ(gate.offer(attempt(1, 4, QStringLiteral("d")), 3), LoginGate::Offer::Dropped);
    EXPECT_EQ(gate.offer(attempt(2, 1, QStringLiteral("e")), 4), LoginGate::Offer::Queued);
    EXPECT_EQ(gate.offer(attempt(3, 1, QStringLiteral("f")), 5), LoginGate::Offer::Queued);
    // Full: clean addresses take the places of the one that failed, not of each other.
    EXPECT_EQ(gate.offer(attempt(4, 1, QStringLiteral("g")), 6), LoginGate::Offer::Queued);
    EXPECT_EQ(gate.offer(attempt(5, 1, QStringLiteral("h")), 7), LoginGate::Offer::Queued);
    EXPECT_EQ(gate.offer(attempt(6, 1, QStringLiteral("i")), 8), LoginGate::Offer::Dropped);

    std::vector<QString> order;
    while (const std::optional<LoginAttempt> a = gate.next(1000)) {
        order.push_back(a->user);
    }
    EXPECT_EQ(order, (std::vector<QString>{"e", "f", "g", "h"}));

    // Of two that may be checked, the address with fewer failures first, though it came later.
    gate.offer(attempt(1, 1, QStringLiteral("j")), 2000);
    gate.offer(attempt(7, 1, QStringLiteral("k")), 2001);
    EXPECT_EQ(gate.next(2001).value_or(LoginAttempt{}).user, QStringLiteral("k"));
    EXPECT_EQ(gate.next(2001).value_or(LoginAttempt{}).user, QStringLiteral("j"));
}

TEST(LoginGate, AnAttemptThatWouldWaitTooLongIsDropped) {
    LoginGate gate({256, 8, 30000});
    int64_t now = 0;
    for (int i = 0; i < 8; ++i) {
        now = i * 60000;
        gate.offer(attempt(1, 1, QStringLiteral("a"), QStringLiteral("try %1").arg(i)), now);
        const std::optional<LoginAttempt> a = gate.next(now);
        ASSERT_TRUE(a);
        gate.failed(*a, now);
    }
    // Eight failures: the next attempt waits 30 s, longer than its client waits for an answer.
    gate.offer(attempt(1, 1, QStringLiteral("a")), now);
    EXPECT_FALSE(gate.next(now + 20000));
    EXPECT_EQ(gate.waiting(), 0u);
}

}  // namespace
