// Texts a logged-in client should not get away with, against the server as a process on loopback:
// long texts started and never finished do not pin the server's memory, a load request whose digest
// object is a megabyte of pairs costs one pass over it, and control characters in a user name or a
// command do not reach the log as they are.
#include <QUuid>
#include <algorithm>
#include <chrono>

#include "harness.h"
#include "tests/server/wire_client.h"

namespace {

const QString kTestex = QStringLiteral("{\"$c$\":\"testex\"}");
// The largest text the server takes from a client.
constexpr int32_t kLargestText = 1024 * 1024;

using TextAttackTest = E2eTest;

TEST_F(TextAttackTest, TextsStartedAndNeverFinishedDoNotPinMemory) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const int64_t before = server->ResidentBytes();
    // Each client starts four texts of a megabyte and sends their first pieces only, as often as the
    // server acknowledges them.
    std::vector<std::unique_ptr<WireClient>> clients;
    const int32_t pieces = kLargestText / kMaxDataBytes + 1;
    for (int i = 0; i < 24; ++i) {
        clients.push_back(std::make_unique<WireClient>(port_));
        WireClient& c = *clients.back();
        ASSERT_TRUE(c.login("admin", "admin"));
        for (int m = 0; m < 4; ++m) {
            c.sendPiece(PacketTypes::Json, ++c.number, pieces, kLargestText, 1, 0,
                        QByteArray(kMaxDataBytes, 'x'));
        }
        c.send(kTestex);
        ASSERT_TRUE(c.waitFor(kTestex, 10, 2));
    }
    // A megabyte for each session at most.
    EXPECT_LT(server->ResidentBytes() - before, 40 << 20);
}

// Milliseconds from sending the load request to its answer (at most 60 s).
double answerMs(WireClient& c, const QByteArray& request) {
    const auto start = std::chrono::steady_clock::now();
    const qsizetype before = c.count(QStringLiteral("tablerawfromfile"));
    c.sendMessage(PacketTypes::Json, request);
    EXPECT_TRUE(c.waitFor(QStringLiteral("tablerawfromfile"), 60, before + 1));
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A megabyte of digest pairs against a megabyte of anything else in the same request.
TEST_F(TextAttackTest, AMegabyteOfDigestPairsCostsOnePass) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    const QByteArray head = R"({"$c$":"database","command":"gettableraw","refresh":1,"name":"gps",)";
    QByteArray pairs;
    for (int i = 0; pairs.size() < kLargestText - 200; ++i) {
        pairs += "\"" + QByteArray::number(i % 1000) + "\":1,";
    }
    pairs.chop(1);
    const double plain =
        answerMs(c, head + R"("filler":")" + QByteArray(pairs.size(), 'x') + R"(","md5":{}})");
    const double digests = answerMs(c, head + R"("md5":{)" + pairs + "}}");
    // Read pair by pair, each cut off the front of the rest, the pairs took seconds.
    EXPECT_LT(digests, 10 * std::max(plain, 100.0)) << plain << " ms without the pairs";
}

TEST_F(TextAttackTest, ControlCharactersAreEscapedInTheLog) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    // A carriage return and an escape sequence would let a client write what looks like a line of
    // the server's own, or clear the screen of whoever reads the log.
    WireClient stranger(port_);
    stranger.send(
        QStringLiteral("{\"$c$\":\"reg\",\"id\":\"%1\",\"username\":\"ad\rmin\x1b[2J\",\"password\":\"x\","
                       "\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
            .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    c.send(QStringLiteral("{\"$c$\":\"no\tsuch\x7f command\"}"));
    c.send(kTestex);
    ASSERT_TRUE(c.waitFor(kTestex, 10, 2));
    ASSERT_TRUE(server->WaitForLog(QStringLiteral("login refused"), 30));
    const QString log = server->Log();
    for (const char control : {'\r', '\x1b', '\t', '\x7f'}) {
        EXPECT_FALSE(log.contains(QLatin1Char(control))) << int(control);
    }
    EXPECT_TRUE(log.contains(QStringLiteral("ad\\x0Dmin\\x1B[2J"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("no\\x09such\\x7F command"))) << log.toStdString();
}

}  // namespace
