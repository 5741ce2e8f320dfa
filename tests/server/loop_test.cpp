// The server's protocol loop in this process (with its password-checking thread), against a bare
// client on a real loopback socket: whatever a pass causes (acknowledgements, answers) has left
// when the pass returns, with datagrams
// taken and sent in batches larger than one system call carries, and with the fault injector in the
// way or not.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <ostream>
#include <set>

#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/udp_socket.h"
#include "server/server.h"
#include "session/datagram.h"
#include "tests/server/wire_client.h"

namespace {

const QString kReg = QStringLiteral(
    "{\"$c$\":\"reg\",\"id\":\"c1\",\"username\":\"admin\",\"password\":\"admin\",\"keepalive\":1,"
    "\"zip\":0,\"ver\":\"1.0.0.0\"}");

struct LoopCase {
    const char* name;
    FaultSettings faults;
};

void PrintTo(const LoopCase& c, std::ostream* os) {
    *os << c.name;
}

class ServerLoopTest : public ::testing::TestWithParam<LoopCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ServerOptions o;
        o.port = 0;
        o.db = dir.filePath(QStringLiteral("server.db"));
        o.files = dir.filePath(QStringLiteral("files"));
        o.users = {{QStringLiteral("admin"), QStringLiteral("admin")}};
        o.faults = GetParam().faults;
        server = std::make_unique<Server>(o, [](const QString&) {});
        QString error;
        ASSERT_TRUE(server->start(error)) << error.toStdString();
        client = std::make_unique<WireClient>(server->port());
    }

    // One pass that finds the client's datagrams waiting, then what it sent, without another pass.
    void onePass() {
        server->pass(50);
        client->poll();
    }

    QTemporaryDir dir;
    std::unique_ptr<Server> server;
    std::unique_ptr<WireClient> client;
};

TEST_P(ServerLoopTest, APassSendsWhatItCausedBeforeItReturns) {
    // The password is checked beside the loop; the answer is the only datagram the registration
    // brings back (it is not acknowledged).
    client->send(kReg);
    for (int i = 0; i < 400 && !client->has(QStringLiteral("\"regok\"")); ++i) {
        onePass();
    }
    ASSERT_TRUE(client->has(QStringLiteral("\"regok\"")));
    EXPECT_TRUE(client->ackedNumbers.empty());
    client->useTagOf(client->texts.first());

    // More texts than one batch takes or sends: every one is acknowledged by the same single pass.
    const int kTexts = 150;
    for (int i = 0; i < kTexts; ++i) {
        client->send(QStringLiteral("{\"$c$\":\"testex\"}"));
    }
    client->acks = 0;
    onePass();
    EXPECT_EQ(int(client->ackedNumbers.size()), kTexts);
    EXPECT_GE(client->acks, kTexts);
    EXPECT_TRUE(client->has(QStringLiteral("\"testex\"")));
}

// Doubling every datagram both ways (seeded, no delay) keeps the datagrams flowing through the
// fault injector within the pass; duplicates are acknowledged again, never answered twice.
INSTANTIATE_TEST_SUITE_P(Faults, ServerLoopTest,
                         ::testing::Values(LoopCase{"none", FaultSettings{}},
                                           LoopCase{"doubled", FaultSettings{0, 1.0, 0, 0, 5}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
