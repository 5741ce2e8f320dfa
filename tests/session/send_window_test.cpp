#include "session/send_window.h"

#include <gtest/gtest.h>

#include <QString>
#include <vector>

namespace {

constexpr uint64_t kTicksPerMs = 1000;

struct Sent {
    DatagramHeader header;
    QByteArray data;
};

// Drives a window with a hand-moved clock and keeps every datagram it sends, decoded.
class SendWindowTest : public ::testing::Test {
  protected:
    SendWindowTest() : window([this](const char* datagram, int size) { capture(datagram, size); }) {
        window.TickCoef = kTicksPerMs;
        window.speedTimer = now;
    }

    void capture(const char* datagram, int size) {
        QByteArray copy(datagram, size);
        Sent s;
        QByteArrayView data;
        ASSERT_TRUE(DecodeDatagramInPlace(copy.data(), copy.size(), s.header, data));
        s.data = data.toByteArray();
        sent.push_back(s);
    }

    void pass() {
        window.FillWindow(now);
        window.SendWindow(now);
    }
    void advanceMs(uint64_t ms) { now += ms * kTicksPerMs; }
    void ackAll() {
        for (const Sent& s : sent) {
            window.HandleAck(s.header.MessageNumber, s.header.PacketNumber, now);
        }
    }
    // Keeps the ping above the 15 ms below which the window falls back to 192.
    void ackOneAfterMs(uint64_t ms) {
        advanceMs(ms);
        ASSERT_FALSE(sent.empty());
        window.HandleAck(sent.front().header.MessageNumber, sent.front().header.PacketNumber, now);
    }

    // The window grows once a second while a long text is being cut, halfway towards its time-out.
    std::vector<int32_t> growth(uint32_t timeOut) {
        window.PacketTimeOut = timeOut;
        window.StartText(QString(2000 * 960, QChar('g')));
        pass();
        std::vector<int32_t> sizes;
        for (int second = 0; second < 8; ++second) {
            ackOneAfterMs(20);
            advanceMs(1000);
            pass();
            sizes.push_back(window.CountPacketToSend);
        }
        return sizes;
    }

    uint64_t now = 1'000'000;
    TSendWindow window;
    std::vector<Sent> sent;
};

struct Cutting {
    int length;
    std::vector<int32_t> dataSizes;
};

class SendWindowCutting : public SendWindowTest, public ::testing::WithParamInterface<Cutting> {};

TEST_P(SendWindowCutting, TextIsCutInto960BytePackets) {
    const Cutting& c = GetParam();
    QString text(c.length, QChar('a'));
    for (int k = 0; k < c.length; ++k) {
        text[k] = QChar('a' + k % 26);
    }
    window.StartText(text);
    pass();
    ASSERT_EQ(sent.size(), c.dataSizes.size());
    QByteArray joined;
    for (size_t k = 0; k < sent.size(); ++k) {
        const DatagramHeader& h = sent[k].header;
        EXPECT_EQ(h.DataSize, c.dataSizes[k]);
        EXPECT_EQ(h.PacketNumber, int32_t(k + 1));
        EXPECT_EQ(h.PacketCount, int32_t(c.dataSizes.size()));
        EXPECT_EQ(h.Offset, int32_t(k * 960));
        EXPECT_EQ(h.MessageSize, c.length);
        joined += sent[k].data;
    }
    EXPECT_EQ(joined, text.toLatin1());
}

INSTANTIATE_TEST_SUITE_P(SendWindow, SendWindowCutting,
                         ::testing::Values(Cutting{1, {3}}, Cutting{960, {962}}, Cutting{961, {962, 3}},
                                           Cutting{1921, {962, 962, 3}}));

TEST_F(SendWindowTest, MessagesAreNumberedInOrderAcrossSingleDatagramsAndTheWindow) {
    window.CountMes = 0;
    ASSERT_TRUE(window.SendOne(QStringLiteral("{\"$c$\":\"reg\"}")));
    window.StartText(QStringLiteral("{\"$c$\":\"x\"}"));
    pass();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].header.MessageNumber, 1);
    EXPECT_EQ(sent[0].header.MessageSize, 15);  // a single datagram counts its two head bytes
    EXPECT_EQ(sent[0].data, QByteArray("{\"$c$\":\"reg\"}"));
    EXPECT_EQ(sent[1].header.MessageNumber, 2);
    EXPECT_FALSE(window.SendOne(QString(961, QChar('x'))));
    EXPECT_EQ(window.CountMes, 2);
}

TEST_F(SendWindowTest, CompletesOnceWhenEveryPacketIsAcknowledged) {
    window.StartText(QString(2000, QChar('z')));
    pass();
    ASSERT_EQ(sent.size(), 3u);
    window.HandleAck(sent[0].header.MessageNumber, 1, now);
    window.HandleAck(sent[0].header.MessageNumber, 3, now);
    window.HandleAck(sent[0].header.MessageNumber + 1, 2, now);  // another message: no effect
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Sending);
    EXPECT_TRUE(window.HandleAck(sent[0].header.MessageNumber, 2, now));
    EXPECT_FALSE(window.HandleAck(sent[0].header.MessageNumber, 2, now));  // already freed
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Complete);
    EXPECT_TRUE(window.SendOk);
    EXPECT_FALSE(window.StartSend);
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Idle);
    EXPECT_EQ(window.countrecivepod, 3);
}

TEST_F(SendWindowTest, UnansweredPacketIsSentTwentyTimesThenTheMessageFails) {
    window.PacketTimeOut = 50;
    window.StartText(QStringLiteral("{\"$c$\":\"lost\"}"));
    window.FillWindow(now);
    TSendWindow::SendResult result = TSendWindow::SendResult::Sent;
    for (int k = 0; k < 21 && result == TSendWindow::SendResult::Sent; ++k) {
        result = window.SendWindow(now);
        advanceMs(49);
        window.SendWindow(now);  // not yet due
        advanceMs(1);
    }
    EXPECT_EQ(sent.size(), 20u);
    EXPECT_EQ(result, TSendWindow::SendResult::Failed);
    EXPECT_EQ(window.CountReSend, 19);
    EXPECT_FALSE(window.PacketSend.start);
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Idle);
    window.SendWindow(now);
    EXPECT_EQ(sent.size(), 20u);
}

TEST_F(SendWindowTest, ZeroTimeOutStillWaitsBetweenSendings) {
    window.PacketTimeOut = 0;  // three times a registration round trip below 1 ms
    window.StartText(QStringLiteral("{\"$c$\":\"x\"}"));
    for (int k = 0; k < 30; ++k) {
        pass();
        advanceMs(1);
    }
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_TRUE(window.PacketSend.start);
    advanceMs(20);
    pass();
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(SendWindowTest, RoundTripIsMeasuredFromTheLatestSendingAndIsAtLeastOneMs) {
    window.PacketTimeOut = 100;
    window.StartText(QString(961, QChar('r')));
    pass();
    advanceMs(100);
    window.SendWindow(now);  // both packets again
    ASSERT_EQ(sent.size(), 4u);
    advanceMs(7);
    window.HandleAck(sent[0].header.MessageNumber, 1, now);
    EXPECT_EQ(window.PacketPing, 7u);
    advanceMs(93);
    window.SendWindow(now);  // packet 2 a third time
    ASSERT_EQ(sent.size(), 5u);
    window.HandleAck(sent[0].header.MessageNumber, 2, now + kTicksPerMs / 2);
    EXPECT_EQ(window.PacketPing, 1u);
    EXPECT_EQ(window.PacketTimeOutC, 2u);
    EXPECT_EQ(window.PacketTimeOutS, 8u);
}

TEST_F(SendWindowTest, WindowGrowsStepwiseTo249AtTimeOut400) {
    EXPECT_EQ(growth(400), (std::vector<int32_t>{221, 235, 242, 246, 248, 249, 249, 249}));
    EXPECT_EQ(window.PacketPing, 20u);
}

TEST_F(SendWindowTest, WindowStaysAt192AtTimeOut180) {
    EXPECT_EQ(growth(180), std::vector<int32_t>(8, 192));
}

TEST_F(SendWindowTest, TimeOutBecomesSixTimesTheMeanRoundTripAfterMoreThan100Acknowledgements) {
    window.StartText(QString(300 * 960, QChar('t')));
    pass();
    advanceMs(30);
    for (int32_t n = 1; n <= 101; ++n) {
        window.HandleAck(sent[0].header.MessageNumber, n, now);
    }
    advanceMs(1000);
    window.FillWindow(now);
    EXPECT_EQ(window.PacketTimeOut, 6u * 30);
}

TEST_F(SendWindowTest, ShrinkingKeepsSlotsThatStillHoldPackets) {
    growth(400);  // window at 249, every slot holds an unacknowledged packet
    const int64_t number = sent.front().header.MessageNumber;
    // Acknowledge everything except the packet in the last slot, with a short round trip.
    advanceMs(2);
    int32_t last = 0;
    for (const Sent& s : sent) {
        last = std::max(last, s.header.PacketNumber);
    }
    for (int32_t n = 1; n < last; ++n) {
        window.HandleAck(number, n, now);
    }
    ASSERT_LT(window.PacketPing, 15u);
    advanceMs(1001);
    window.FillWindow(now);  // the adaptation wants 192 but slot 248 is still in use
    ASSERT_TRUE(window.SlotUsed(248));
    EXPECT_EQ(window.CountPacketToSend, 249);

    // The kept packet is still re-sent and its acknowledgement still frees it.
    sent.clear();
    advanceMs(400);
    window.SendWindow(now);
    bool resent = false;
    for (const Sent& s : sent) {
        resent = resent || s.header.PacketNumber == last;
    }
    EXPECT_TRUE(resent);
    advanceMs(2);
    EXPECT_TRUE(window.HandleAck(number, last, now));
}

TEST_F(SendWindowTest, FileIsCutOnlyAfterAcceptanceOneChunkPerPass) {
    QByteArray file(961, '\0');
    for (int k = 0; k < file.size(); ++k) {
        file[k] = char(k * 7);
    }
    window.BeginFileOffer();
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Waiting);
    window.StartFileData(file.size(), [&](int64_t offset, char* into, int size) {
        std::memcpy(into, file.constData() + offset, size);
        return true;
    });
    pass();
    ASSERT_EQ(sent.size(), 1u);
    pass();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].header.PacketType, PacketTypes::File);
    EXPECT_EQ(sent[1].header.DataSize, 3);
    EXPECT_EQ(sent[0].data + sent[1].data, file);
    ackAll();
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Complete);
}

TEST_F(SendWindowTest, EmptyFileIsOnePacketWithoutDataBytes) {
    window.BeginFileOffer();
    window.StartFileData(0, [](int64_t, char*, int) { return false; });
    pass();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].header.DataSize, 2);
    EXPECT_EQ(sent[0].header.MessageSize, 0);
    ackAll();
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Complete);
}

TEST_F(SendWindowTest, UnreadableFileAbandonsTheMessage) {
    window.BeginFileOffer();
    window.StartFileData(5000, [](int64_t, char*, int) { return false; });
    EXPECT_EQ(window.FillWindow(now), TSendWindow::FillResult::Failed);
    EXPECT_FALSE(window.PacketSend.start);
    window.SendWindow(now);
    EXPECT_TRUE(sent.empty());
}

}  // namespace
