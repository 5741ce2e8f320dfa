#include "session/recieve.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "infra/bytes.h"
#include "infra/ticks.h"
#include "session/reassembly.h"
#include "session/send_window.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

QByteArray dataPacket(int64_t number, uint8_t type = PacketTypes::Json, const QByteArray& data = "{}") {
    DatagramHeader h;
    h.PacketType = type;
    h.MessageSize = int32_t(data.size());
    h.MessageNumber = number;
    h.PacketCount = 1;
    h.PacketNumber = 1;
    h.TIDB.fill(0x5A);
    QByteArray payload = QByteArray(2, '\0') + data;
    SetRandomHead(payload);
    ScramblePayload(payload.data(), payload.size());
    return EncodeDatagram(h, payload);
}

QByteArray controlPacket(uint8_t type) {
    DatagramHeader h;
    h.PacketType = type;
    h.MessageNumber = 41;
    h.PacketNumber = 6;
    QByteArray wire(kHeaderEnd, '\0');
    EncodeDatagramHead(h, wire.data());
    return wire;
}

// The checks of the receiving thread without the thread: one datagram in, what it queued and answered.
class TakeDatagramTest : public ::testing::Test {
  protected:
    TakeDatagramTest() { link.SetServer(server); }

    bool take(const QByteArray& datagram, const UdpAddress& from) {
        std::vector<char> frame(recieve::kFrameLead + datagram.size());
        std::copy(datagram.begin(), datagram.end(), frame.begin() + recieve::kFrameLead);
        return rec.TakeDatagram(frame.data(), int(datagram.size()), from, ack);
    }
    bool take(const QByteArray& datagram) { return take(datagram, server); }
    DatagramHeader ackHeader() {
        DatagramHeader h;
        EXPECT_TRUE(DecodeDatagram(QByteArrayView(ack, kHeaderEnd), h));
        return h;
    }
    std::vector<QByteArray> queued() {
        std::vector<QByteArray> records;
        QByteArray record;
        while (link.soobE.GetSoobD(record)) {
            records.push_back(record);
        }
        return records;
    }

    const UdpAddress server{kLoopback, 9010};
    SessionLink link;
    UdpSocket socket;  // never opened: TakeDatagram does not touch it
    recieve rec{socket, link};
    char ack[kHeaderEnd] = {};
};

TEST_F(TakeDatagramTest, DataPacketIsQueuedAndAcknowledgedWithItsHeaderEchoed) {
    const QByteArray wire = dataPacket(5, PacketTypes::Raw);
    ASSERT_TRUE(take(wire));
    DatagramHeader sent;
    ASSERT_TRUE(DecodeDatagram(wire, sent));
    sent.PacketType = PacketTypes::Ack;
    sent.DataSize = 0;
    EXPECT_EQ(ackHeader(), sent);
    const std::vector<QByteArray> records = queued();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].front(), kRecordData);
    EXPECT_EQ(RecordDatagram(records[0]), wire);
    EXPECT_NE(link.keepAlive.load(), 0u);
    EXPECT_EQ(link.AllPacket.load(), 2);
}

TEST_F(TakeDatagramTest, LateCopyIsOnlyAcknowledged) {
    link.LastCountSoob = 6;
    EXPECT_TRUE(take(dataPacket(5)));
    EXPECT_TRUE(queued().empty());
    EXPECT_TRUE(take(dataPacket(6)));
    EXPECT_EQ(queued().size(), 1u);
}

TEST_F(TakeDatagramTest, BeforeLoginTextIsQueuedWhateverItsNumber) {
    link.LastCountSoob = 100;
    EXPECT_TRUE(take(dataPacket(1, PacketTypes::JsonBeforeLogin)));
    const std::vector<QByteArray> records = queued();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].front(), kRecordBeforeLogin);
}

TEST_F(TakeDatagramTest, AcknowledgementBecomesARecordAndIsNotAnswered) {
    EXPECT_FALSE(take(controlPacket(PacketTypes::Ack)));
    const std::vector<QByteArray> records = queued();
    ASSERT_EQ(records.size(), 1u);
    int64_t number = 0;
    int32_t packet = 0;
    ASSERT_TRUE(ReadAckRecord(records[0], number, packet));
    EXPECT_EQ(number, 41);
    EXPECT_EQ(packet, 6);
}

TEST_F(TakeDatagramTest, KeepAliveAndEmptyDatagramOnlyShowTheServerIsAlive) {
    EXPECT_FALSE(take(controlPacket(PacketTypes::KeepAlive)));
    EXPECT_EQ(link.CountSvazG.load(), 1);
    link.keepAlive = 0;
    EXPECT_FALSE(take(QByteArray()));
    EXPECT_NE(link.keepAlive.load(), 0u);
    EXPECT_TRUE(queued().empty());
}

TEST_F(TakeDatagramTest, IgnoredWithoutAnswer) {
    const QByteArray good = dataPacket(1);
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"56 bytes", good.left(56)},
        {"1500 bytes", QByteArray(1500, '\0')},
        {"cut short", good.left(good.size() - 1)},
    };
    for (const auto& [name, datagram] : cases) {
        EXPECT_FALSE(take(datagram)) << name;
    }
    EXPECT_FALSE(take(good, UdpAddress{kLoopback, 9011})) << "another port";
    EXPECT_FALSE(take(good, UdpAddress{kLoopback + 1, 9010})) << "another address";
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(link.keepAlive.load(), 0u);
    EXPECT_EQ(link.PackRecive.load(), 3);  // strangers are not even counted
}

TEST_F(TakeDatagramTest, FullQueueWithholdsTheAcknowledgement) {
    link.soobE.SetSizeOch(1);
    ASSERT_TRUE(take(dataPacket(1)));
    EXPECT_FALSE(take(dataPacket(2)));
}

// The thread itself on real sockets: a peer on 127.0.0.1 sends, the thread answers and queues.
TEST(RecieveThread, AnswersTheServerAndIgnoresStrangersOnLoopback) {
    UdpSocket client;
    UdpSocket server;
    UdpSocket stranger;
    ASSERT_TRUE(client.Open(kLoopback, 0));
    ASSERT_TRUE(server.Open(kLoopback, 0));
    ASSERT_TRUE(stranger.Open(kLoopback, 0));
    const UdpAddress clientAddress{kLoopback, client.LocalPort()};
    SessionLink link;
    link.SetServer({kLoopback, server.LocalPort()});
    {
        recieve rec(client, link);
        rec.Start();

        const QByteArray fromStranger = dataPacket(1, PacketTypes::Json, "{\"$c$\":\"stranger\"}");
        const QByteArray fromServer = dataPacket(2, PacketTypes::Json, "{\"$c$\":\"server\"}");
        ASSERT_EQ(stranger.SendTo(fromStranger.constData(), int(fromStranger.size()), clientAddress),
                  fromStranger.size());
        ASSERT_EQ(server.SendTo(fromServer.constData(), int(fromServer.size()), clientAddress),
                  fromServer.size());

        ASSERT_TRUE(server.WaitReadable(5000));
        char buffer[2048];
        UdpAddress from;
        ASSERT_EQ(server.RecvFrom(buffer, sizeof buffer, from), kHeaderEnd);
        EXPECT_EQ(from, clientAddress);
        DatagramHeader answer;
        ASSERT_TRUE(DecodeDatagram(QByteArrayView(buffer, kHeaderEnd), answer));
        EXPECT_EQ(answer.PacketType, PacketTypes::Ack);
        EXPECT_EQ(answer.MessageNumber, 2);

        rec.Stop();
    }
    // The stranger's datagram arrived first on the same socket, so it has been seen and ignored.
    EXPECT_FALSE(stranger.WaitReadable(0));
    QByteArray record;
    ASSERT_TRUE(link.soobE.GetSoobD(record));
    QByteArray datagram = RecordDatagram(record).toByteArray();
    DatagramHeader header;
    QByteArrayView data;
    ASSERT_TRUE(DecodeDatagramInPlace(datagram.data(), datagram.size(), header, data));
    EXPECT_EQ(data, QByteArray("{\"$c$\":\"server\"}"));
    EXPECT_FALSE(link.soobE.IsSoob());
    EXPECT_EQ(link.PackSend.load(), 1);
}

// The three halves together on loopback: a peer's window sends a 100-packet text, the thread
// answers each packet, the reassembly rebuilds the text, and the answers complete the peer's window.
TEST(RecieveThread, HundredPacketTextCrossesLoopbackThroughWindowAndReassembly) {
    UdpSocket client;
    UdpSocket peer;
    ASSERT_TRUE(client.Open(kLoopback, 0));
    ASSERT_TRUE(peer.Open(kLoopback, 0));
    const UdpAddress clientAddress{kLoopback, client.LocalPort()};
    SessionLink link;
    link.SetServer({kLoopback, peer.LocalPort()});
    recieve rec(client, link);
    rec.Start();

    TSendWindow window([&](const char* datagram, int size) { peer.SendTo(datagram, size, clientAddress); });
    window.TickCoef = kTicksPerMs;
    window.PacketTimeOut = 1000;
    QString text = QStringLiteral("{\"$c$\":\"long\",\"x\":\"");
    while (text.size() < 99 * 960 + 1) {
        text += QChar(char16_t(u'a' + text.size() % 26));
    }
    text += QStringLiteral("\"}");
    window.StartText(text);

    TReassembly reassembly(link.LastCountSoob);
    std::vector<Delivery> delivered;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (window.FillWindow(GetTicks()) != TSendWindow::FillResult::Complete &&
           std::chrono::steady_clock::now() < deadline) {
        window.SendWindow(GetTicks());
        char buffer[2048];
        UdpAddress from;
        int size;
        while ((size = peer.RecvFrom(buffer, sizeof buffer, from)) >= 0) {
            DatagramHeader ack;
            if (DecodeDatagram(QByteArrayView(buffer, size), ack)) {
                window.HandleAck(ack.MessageNumber, ack.PacketNumber, GetTicks());
            }
        }
        QByteArray record;
        while (link.soobE.GetSoobD(record)) {
            DatagramHeader header;
            QByteArrayView data;
            ASSERT_TRUE(DecodeDatagramInPlace(record.data() + 1, record.size() - 1, header, data));
            Delivery d = reassembly.Take(header, data, true);
            if (d.route != Route::None) {
                delivered.push_back(d);
            }
        }
        peer.WaitReadable(1);
    }
    rec.Stop();
    EXPECT_FALSE(window.PacketSend.start);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].route, Route::ReadJSON);
    EXPECT_EQ(delivered[0].text, text);
    EXPECT_EQ(window.PacketSend.CountPacket, 100);
}

}  // namespace
