// Logins decided beside the protocol thread, with the real checking thread and a real database:
// right and wrong passwords and unknown names come back as outcomes, each attempt exactly once; a
// password verified once is recognised at once afterwards, until the users are re-read; a password
// with quotes is taken as typed.
#include "server/logins.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <map>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

LoginAttempt attempt(uint32_t ip, const QString& user, const QString& password) {
    LoginAttempt a;
    a.from = UdpAddress{ip, 4000};
    a.user = user;
    a.password = password;
    a.text = user + u'/' + password;
    return a;
}

class LoginsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(storage.open(dir.filePath(QStringLiteral("server.db")), error));
        ASSERT_TRUE(storage.setUser(QStringLiteral("admin"), QStringLiteral("admin")));
        ASSERT_TRUE(storage.setUser(QStringLiteral("q"), QStringLiteral("a\"b\\c")));
    }

    // Outcomes of the checks, by the attempts' texts, until `count` have come (at most 20 s).
    std::map<QString, bool> outcomes(size_t count) {
        std::map<QString, bool> out;
        const auto start = Clock::now();
        while (out.size() < count && Clock::now() - start < std::chrono::seconds(20)) {
            LoginAttempt a;
            Logins::Outcome outcome = Logins::Outcome::Unchecked;
            const int64_t nowMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (logins.next(nowMs, a, outcome)) {
                EXPECT_NE(outcome, Logins::Outcome::Unchecked);
                EXPECT_TRUE(out.emplace(a.text, outcome == Logins::Outcome::Accepted).second)
                    << "twice: " << a.text.toStdString();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return out;
    }

    QTemporaryDir dir;
    Storage storage;
    ServerLimits limits;
    Logins logins{storage, limits};
};

TEST_F(LoginsTest, PasswordsAreCheckedBesideTheCaller) {
    EXPECT_EQ(logins.offer(attempt(1, "admin", "admin"), 0), Logins::Offer::Waiting);
    EXPECT_EQ(logins.offer(attempt(2, "admin", "wrong"), 0), Logins::Offer::Waiting);
    EXPECT_EQ(logins.offer(attempt(3, "nobody", "admin"), 0), Logins::Offer::Waiting);
    EXPECT_EQ(logins.offer(attempt(4, "q", "a\"b\\c"), 0), Logins::Offer::Waiting);
    // A copy of an attempt that waits or is being checked is not checked again.
    EXPECT_EQ(logins.offer(attempt(4, "q", "a\"b\\c"), 0), Logins::Offer::Ignored);
    const std::map<QString, bool> expected = {
        {"admin/admin", true}, {"admin/wrong", false}, {"nobody/admin", false}, {"q/a\"b\\c", true}};
    EXPECT_EQ(outcomes(4), expected);
    EXPECT_FALSE(logins.busy());

    // Verified once: known at once, from any address, until the users are re-read.
    EXPECT_EQ(logins.offer(attempt(5, "admin", "admin"), 0), Logins::Offer::Accepted);
    EXPECT_EQ(logins.offer(attempt(5, "q", "a\"b\\c"), 0), Logins::Offer::Accepted);
    logins.forgetVerified();
    EXPECT_EQ(logins.offer(attempt(6, "admin", "admin"), 0), Logins::Offer::Waiting);
    EXPECT_EQ(outcomes(1), (std::map<QString, bool>{{"admin/admin", true}}));
}

TEST_F(LoginsTest, ManyAttemptsFromManyAddressesAreEachDecidedOnce) {
    std::map<QString, bool> expected;
    for (uint32_t i = 0; i < 12; ++i) {
        const LoginAttempt a =
            attempt(100 + i, QStringLiteral("someone%1").arg(i), QStringLiteral("p%1").arg(i));
        ASSERT_EQ(logins.offer(a, 0), Logins::Offer::Waiting);
        expected[a.text] = false;
    }
    EXPECT_EQ(outcomes(expected.size()), expected);
}

TEST(LoginTexts, UserAndPasswordAreReadAsTheClientWritesThem) {
    struct Case {
        const char* text;
        const char* user;
        const char* password;
    };
    const Case cases[] = {
        {R"({"$c$":"reg","id":"x","username":"admin","password":"admin","keepalive":1,"zip":0,"ver":"1"})",
         "admin", "admin"},
        {R"({"$c$":"reg","id":"x","username":"q","password":"a\"b\\c\/d","keepalive":1,"zip":0,"ver":"1"})",
         "q", "a\"b\\c/d"},
        {R"({"$c$":"reg","username":"q\"x","password":"","keepalive":1})", "q\"x", ""},
        {R"({"$c$":"reg","username":"u","password":"p"})", "u", "p"},
        {R"({"$c$":"reg"})", "", ""},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(Logins::UserOf(text).toStdString(), c.user) << c.text;
        EXPECT_EQ(Logins::PasswordOf(text).toStdString(), c.password) << c.text;
    }
}

}  // namespace
