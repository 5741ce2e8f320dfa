// The server's protocol loop in this process, against a bare client on a real loopback socket:
// whatever a pass causes (acknowledgements, answers) has left when the pass returns, with datagrams
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

namespace {

class LoopClient {
  public:
    explicit LoopClient(uint16_t serverPort) : server{0x7F000001, serverPort} { socket.Open(server.ip, 0); }

    void send(const QString& text) {
        QByteArray payload;
        StrToScrambledBytes(text, payload, VerP);
        DatagramHeader h;
        h.PacketType = PacketTypes::Json;
        h.MessageNumber = ++number;
        h.PacketCount = 1;
        h.PacketNumber = 1;
        h.MessageSize = int32_t(payload.size());
        h.TIDB = tag;
        const QByteArray d = EncodeDatagram(h, payload);
        socket.SendTo(d.constData(), int(d.size()), server);
    }

    // Takes what is waiting now, without waiting: counts acknowledgements, keeps texts (once per
    // message number) and acknowledges them.
    void take() {
        char buf[2048];
        UdpAddress from;
        int n;
        while ((n = socket.RecvFrom(buf, sizeof buf, from)) >= 0) {
            DatagramHeader h;
            QByteArrayView data;
            if (!DecodeDatagramInPlace(buf, n, h, data)) {
                continue;
            }
            if (h.PacketType == PacketTypes::Ack) {
                ackedNumbers.insert(h.MessageNumber);
                ++acks;
            } else if (h.PacketType == PacketTypes::Json) {
                char ack[kHeaderEnd];
                EncodeAck(h, ack);
                socket.SendTo(ack, kHeaderEnd, server);
                if (seen.insert(h.MessageNumber).second) {
                    texts.push_back(fromAnsi(data));
                    tag = h.TIDB;
                }
            }
        }
    }

    bool has(const QString& part) const {
        for (const QString& t : texts) {
            if (t.contains(part)) {
                return true;
            }
        }
        return false;
    }

    UdpAddress server;
    UdpSocket socket;
    TIDBytes tag{};
    int64_t number = 0;
    int acks = 0;
    std::set<int64_t> ackedNumbers;
    std::set<int64_t> seen;
    std::vector<QString> texts;
};

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
        client = std::make_unique<LoopClient>(server->port());
    }

    // One pass that finds the client's datagrams waiting, then what it sent, without another pass.
    void onePass() {
        server->pass(50);
        client->take();
    }

    QTemporaryDir dir;
    std::unique_ptr<Server> server;
    std::unique_ptr<LoopClient> client;
};

TEST_P(ServerLoopTest, APassSendsWhatItCausedBeforeItReturns) {
    client->send(kReg);
    onePass();
    EXPECT_EQ(client->ackedNumbers, std::set<int64_t>{1});
    ASSERT_TRUE(client->has(QStringLiteral("\"regok\""))) << "the answer waited for a later pass";

    // More texts than one batch takes or sends: every one is acknowledged by the same single pass.
    const int kTexts = 150;
    for (int i = 0; i < kTexts; ++i) {
        client->send(QStringLiteral("{\"$c$\":\"testex\"}"));
    }
    client->acks = 0;
    onePass();
    EXPECT_EQ(int(client->ackedNumbers.size()), 1 + kTexts);
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
