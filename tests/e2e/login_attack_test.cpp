// The server's door under attack, with the server as a process on loopback and bare clients on other
// loopback addresses: a burst of wrong passwords does not hold up a logged-in client, an unknown name
// costs the time a known one does, failures slow the next attempts of their address and of their
// account, refused registrations leave no memory behind, a forged refused registration leaves the
// session of its address alone, an address that never confirms gets one answer no larger than its
// question, and the caps on sessions hold.
#include <QUuid>
#include <algorithm>
#include <chrono>
#include <vector>

#include "harness.h"
#include "tests/server/wire_client.h"

namespace {

using Clock = std::chrono::steady_clock;

const QString kTestex = QStringLiteral("{\"$c$\":\"testex\"}");

// Loopback addresses (127.0.x.y) that stand for other machines.
constexpr uint32_t loopback(uint32_t x, uint32_t y) {
    return 0x7F000000u | (x << 8) | y;
}

QString reg(const QString& user, const QString& password) {
    return QStringLiteral(
               "{\"$c$\":\"reg\",\"id\":\"%1\",\"username\":\"%2\",\"password\":\"%3\","
               "\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces), user, password);
}

// Milliseconds from a registration with a wrong password to its refusal; -1 when none came in 30 s.
double refusalMs(uint16_t port, uint32_t from, const QString& user) {
    WireClient c(port, from);
    const auto start = Clock::now();
    c.send(reg(user, QStringLiteral("wrong")));
    if (!c.waitFor(QStringLiteral("accessdenied"), 30)) {
        return -1;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

using LoginAttackTest = E2eTest;

TEST_F(LoginAttackTest, ABurstOfWrongPasswordsDoesNotHoldUpALoggedInClient) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient worker(port_);
    ASSERT_TRUE(worker.login("admin", "admin"));
    // Each guess costs a slow password check (some 30 ms), from fresh ports of another address as a
    // script would send them: checked one after the other they take seconds.
    std::vector<std::unique_ptr<WireClient>> guesses;
    for (int i = 0; i < 300; ++i) {
        guesses.push_back(std::make_unique<WireClient>(port_, loopback(1, 1)));
        guesses.back()->send(reg(kTestUser, QStringLiteral("guess%1").arg(i)));
    }
    const auto start = Clock::now();
    worker.send(kTestex);
    ASSERT_TRUE(worker.waitFor(kTestex, 60, 2));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST_F(LoginAttackTest, UnknownNamesTakeAsLongAsWrongPasswordsOfKnownUsers) {
    QStringList args = {"--demo"};
    for (int i = 0; i < 5; ++i) {
        args << "--user" << QStringLiteral("known%1:right%1").arg(i);
    }
    auto server = StartServer(args);
    ASSERT_TRUE(server);
    std::vector<double> known;
    std::vector<double> unknown;
    for (uint32_t i = 0; i < 5; ++i) {
        known.push_back(refusalMs(port_, loopback(2, 1 + i), QStringLiteral("known%1").arg(i)));
        unknown.push_back(refusalMs(port_, loopback(3, 1 + i), QStringLiteral("unknown%1").arg(i)));
    }
    ASSERT_GT(*std::min_element(known.begin(), known.end()), 0);
    ASSERT_GT(*std::min_element(unknown.begin(), unknown.end()), 0);
    // The same work either way; a factor of three leaves room for a busy machine.
    EXPECT_GT(median(unknown) * 3, median(known)) << median(unknown) << " ms against " << median(known);
}

struct DelayCase {
    const char* name;
    bool oneAddress;
    bool oneAccount;
};

class FailureDelayTest : public E2eTest, public testing::WithParamInterface<DelayCase> {};

// Five wrong passwords in a row, each sent as soon as the one before was refused: from one address
// for five names, or from five addresses for one name. The fifth waits out the delay of four
// failures (two seconds); without delays it is refused as fast as the first.
TEST_P(FailureDelayTest, FailuresSlowTheNextAttemptDown) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const DelayCase& c = GetParam();
    double fifth = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        fifth = refusalMs(port_, loopback(4, c.oneAddress ? 1 : 1 + i),
                          c.oneAccount ? kTestUser : QStringLiteral("name%1").arg(i));
        ASSERT_GE(fifth, 0) << "attempt " << i + 1 << " not refused";
    }
    EXPECT_GE(fifth, 1000);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailureDelayTest,
                         testing::Values(DelayCase{"Address", true, false},
                                         DelayCase{"Account", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoginAttackTest, RefusedRegistrationsLeaveNoMemoryBehind) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient worker(port_);
    ASSERT_TRUE(worker.login("admin", "admin"));
    const int64_t before = server->ResidentBytes();
    for (uint32_t i = 0; i < 400; ++i) {
        WireClient stranger(port_, loopback(5, 1 + i % 16));
        stranger.send(reg(QStringLiteral("nobody%1").arg(i), QStringLiteral("x")));
    }
    // The link test is taken after the registrations.
    worker.send(kTestex);
    ASSERT_TRUE(worker.waitFor(kTestex, 60, 2));
    EXPECT_LT(server->ResidentBytes() - before, 16 << 20);
}

TEST_F(LoginAttackTest, AForgedRefusedRegistrationLeavesTheSessionOfItsAddressAlone) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient worker(port_);
    ASSERT_TRUE(worker.login("admin", "admin"));
    const TIDBytes tag = worker.tag;
    const int64_t number = worker.number;
    // Anybody can send from the worker's address and port; the registration carries no session tag.
    worker.tag = {};
    worker.number = 0;
    worker.send(reg(QStringLiteral("admin"), QStringLiteral("wrong")));
    ASSERT_TRUE(server->WaitForLog(QStringLiteral("login refused"), 30));
    worker.tag = tag;
    worker.number = number;
    worker.send(kTestex);
    EXPECT_TRUE(worker.waitFor(kTestex, 10, 2));
}

TEST_F(LoginAttackTest, AnAddressThatNeverAnswersGetsOneDatagramNoLargerThanItsRegistration) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    struct Case {
        QString user;
        QString password;
    };
    const Case cases[] = {{"admin", "admin"}, {"admin", "wrong"}, {"nobody", "x"}};
    std::vector<std::unique_ptr<WireClient>> sources;
    std::vector<int> sizes;
    for (uint32_t i = 0; i < std::size(cases); ++i) {
        sources.push_back(std::make_unique<WireClient>(port_, loopback(6, 1 + i)));
        sizes.push_back(sources.back()->send(reg(cases[i].user, cases[i].password)));
    }
    // Re-sends of an unacknowledged answer would come every 100 ms, keep-alives every two seconds.
    const auto end = Clock::now() + std::chrono::milliseconds(2500);
    std::vector<int> datagrams(sources.size(), 0);
    std::vector<int> bytes(sources.size(), 0);
    while (Clock::now() < end) {
        for (size_t i = 0; i < sources.size(); ++i) {
            char buffer[2048];
            UdpAddress from;
            int n;
            while ((n = sources[i]->socket.RecvFrom(buffer, sizeof buffer, from)) >= 0) {
                ++datagrams[i];
                bytes[i] += n;
            }
        }
        sources[0]->socket.WaitReadable(5);
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(cases[i].user.toStdString() + "/" + cases[i].password.toStdString());
        EXPECT_EQ(datagrams[i], 1);
        EXPECT_LE(bytes[i], sizes[i]);
    }
}

TEST_F(LoginAttackTest, SessionCapsHold) {
    auto server = StartServer({"--demo", "--user", "third:pw3", "--max-sessions", "4",
                               "--max-sessions-per-address", "3", "--max-sessions-per-user", "2"});
    ASSERT_TRUE(server);
    struct Step {
        uint32_t from;
        QString user;
        QString password;
        bool accepted;
    };
    const uint32_t a = loopback(7, 1);
    const uint32_t b = loopback(7, 2);
    const Step steps[] = {
        {a, "admin", "admin", true},         {a, "admin", "admin", true},
        {a, "admin", "admin", false},         // two sessions for one user
        {a, kTestUser, kTestPassword, true},  //
        {a, "third", "pw3", false},           // three sessions from one address
        {b, kTestUser, kTestPassword, true},  //
        {b, "third", "pw3", false},           // four sessions in all
    };
    std::vector<std::unique_ptr<WireClient>> clients;
    for (const Step& s : steps) {
        clients.push_back(std::make_unique<WireClient>(port_, s.from));
        EXPECT_EQ(clients.back()->login(s.user, s.password, 30), s.accepted)
            << s.user.toStdString() << " from " << FormatIPv4(s.from).toStdString();
    }
}

}  // namespace
