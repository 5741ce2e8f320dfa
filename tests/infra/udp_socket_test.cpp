#include "infra/udp_socket.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

struct ParseCase {
    const char* text;
    bool ok;
    uint32_t ip;
};

class ParseIPv4Test : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseIPv4Test, AcceptsOnlyDottedQuads) {
    uint32_t ip = 0xDEADBEEF;
    EXPECT_EQ(ParseIPv4(QString::fromLatin1(GetParam().text), ip), GetParam().ok) << GetParam().text;
    EXPECT_EQ(ip, GetParam().ok ? GetParam().ip : 0xDEADBEEF);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseIPv4Test,
                         testing::Values(ParseCase{"127.0.0.1", true, kLoopback},
                                         ParseCase{"10.20.30.40", true, 0x0A141E28},
                                         ParseCase{"255.255.255.255", true, 0xFFFFFFFF},
                                         ParseCase{"256.0.0.1", false, 0}, ParseCase{"1.2.3", false, 0},
                                         ParseCase{"1.2.3.4.5", false, 0}, ParseCase{" 1.2.3.4", false, 0},
                                         ParseCase{"host", false, 0}, ParseCase{"", false, 0},
                                         ParseCase{"-1.2.3.4", false, 0}));

TEST(FormatIPv4Test, WritesDottedDecimal) {
    EXPECT_EQ(FormatIPv4(0x0A141E28), QStringLiteral("10.20.30.40"));
    EXPECT_EQ(FormatIPv4(0), QStringLiteral("0.0.0.0"));
}

TEST(UdpSocketTest, CarriesDatagramsBetweenTwoLoopbackSockets) {
    UdpSocket a;
    UdpSocket b;
    ASSERT_TRUE(a.Open(kLoopback, 0));
    ASSERT_TRUE(b.Open(kLoopback, 0));
    ASSERT_NE(b.LocalPort(), 0);

    char buffer[64];
    UdpAddress from;
    EXPECT_EQ(b.RecvFrom(buffer, sizeof buffer, from), -1) << "nothing waits: no blocking";
    EXPECT_FALSE(b.WaitReadable(10));

    const UdpAddress to{kLoopback, b.LocalPort()};
    EXPECT_EQ(a.SendTo("hello", 5, to), 5);
    EXPECT_EQ(a.SendTo(nullptr, 0, to), 0);
    ASSERT_TRUE(b.WaitReadable(2000));
    bool truncated = true;
    ASSERT_EQ(b.RecvFrom(buffer, sizeof buffer, from, &truncated), 5);
    EXPECT_EQ(QByteArray(buffer, 5), QByteArray("hello"));
    EXPECT_FALSE(truncated);
    EXPECT_EQ(from, (UdpAddress{kLoopback, a.LocalPort()}));
    ASSERT_TRUE(b.WaitReadable(2000));
    EXPECT_EQ(b.RecvFrom(buffer, sizeof buffer, from), 0) << "an empty datagram is valid";
}

TEST(UdpSocketTest, CutsLongDatagramsAndSaysSo) {
    UdpSocket a;
    UdpSocket b;
    ASSERT_TRUE(a.Open(kLoopback, 0));
    ASSERT_TRUE(b.Open(kLoopback, 0));
    ASSERT_EQ(a.SendTo("0123456789", 10, {kLoopback, b.LocalPort()}), 10);
    ASSERT_TRUE(b.WaitReadable(2000));
    char buffer[4];
    UdpAddress from;
    bool truncated = false;
    EXPECT_EQ(b.RecvFrom(buffer, sizeof buffer, from, &truncated), 4);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(QByteArray(buffer, 4), QByteArray("0123"));
}

TEST(UdpSocketTest, OneThreadSendsWhileAnotherReceives) {
    UdpSocket server;
    UdpSocket client;
    ASSERT_TRUE(server.Open(kLoopback, 0));
    ASSERT_TRUE(client.Open(kLoopback, 0));
    constexpr int kCount = 50;
    std::thread echo([&server] {
        char buffer[16];
        UdpAddress from;
        for (int got = 0; got < kCount && server.WaitReadable(2000);) {
            const int size = server.RecvFrom(buffer, sizeof buffer, from);
            if (size > 0) {
                server.SendTo(buffer, size, from);
                ++got;
            }
        }
    });
    int echoed = 0;
    std::thread receiver([&client, &echoed] {
        char buffer[16];
        UdpAddress from;
        while (echoed < kCount && client.WaitReadable(2000)) {
            if (client.RecvFrom(buffer, sizeof buffer, from) == 1) {
                ++echoed;
            }
        }
    });
    for (int k = 0; k < kCount; ++k) {
        client.SendTo("x", 1, {kLoopback, server.LocalPort()});
    }
    echo.join();
    receiver.join();
    EXPECT_EQ(echoed, kCount);
}

TEST(UdpSocketTest, ABusyPortFailsAndClosedSocketsRefuse) {
    UdpSocket first;
    ASSERT_TRUE(first.Open(kLoopback, 0));
    UdpSocket second;
    EXPECT_FALSE(second.Open(kLoopback, first.LocalPort()));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.SendTo("x", 1, {kLoopback, first.LocalPort()}), -1);
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(first.LocalPort(), 0);
}

}  // namespace

// Batches: a burst larger than one send batch and one receive batch, an oversized datagram that goes
// out on its own in order, an empty one, and a datagram cut to the receive capacity.
TEST(UdpBatchTest, SendsAndReceivesBurstsInOrder) {
    UdpSocket a;
    UdpSocket b;
    ASSERT_TRUE(a.Open(kLoopback, 0));
    ASSERT_TRUE(b.Open(kLoopback, 0));
    const UdpAddress to{kLoopback, b.LocalPort()};

    std::vector<QByteArray> sent;
    for (int i = 0; i < UdpSendBatch::kCapacity + 10; ++i) {
        sent.push_back(QByteArray::number(i).repeated(1 + i % 7));
    }
    sent.insert(sent.begin() + 20, QByteArray(UdpSendBatch::kSlotBytes + 1, 'L'));
    sent.insert(sent.begin() + 30, QByteArray());
    UdpSendBatch batch(a);
    for (const QByteArray& d : sent) {
        batch.Add(d.constData(), int(d.size()), to);
    }
    EXPECT_GT(batch.Pending(), 0);
    batch.Flush();
    EXPECT_EQ(batch.Pending(), 0);

    const int capacity = UdpSendBatch::kSlotBytes;
    UdpReceiveBatch in(16, capacity, 3);
    std::vector<QByteArray> got;
    std::vector<bool> cut;
    while (got.size() < sent.size() && b.WaitReadable(2000)) {
        const int n = in.Receive(b);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(in.From(i), (UdpAddress{kLoopback, a.LocalPort()}));
            EXPECT_EQ(in.Data(i), in.Frame(i) + in.Lead());
            got.emplace_back(in.Data(i), in.Size(i));
            cut.push_back(in.Truncated(i));
        }
    }
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(got[i], sent[i].left(capacity)) << i;
        EXPECT_EQ(cut[i], sent[i].size() > capacity) << i;
    }
    EXPECT_EQ(in.Receive(b), 0) << "nothing waits: no blocking";
}

namespace {

// Everything waiting on `socket`, one entry per datagram, until `count` have come.
std::vector<QByteArray> receiveAll(UdpSocket& socket, size_t count) {
    UdpReceiveBatch in(16, UdpSendBatch::kSlotBytes);
    std::vector<QByteArray> got;
    while (got.size() < count && socket.WaitReadable(2000)) {
        const int n = in.Receive(socket);
        for (int i = 0; i < n; ++i) {
            got.emplace_back(in.Data(i), in.Size(i));
        }
    }
    return got;
}

}  // namespace

// Runs of datagrams of one size to one address leave as one message each, for the kernel to cut:
// the receivers must still see every datagram on its own, whole and in order, where a run is longer
// than one message may carry, ends in a shorter datagram, is broken by another address or a longer
// datagram, or is made of datagrams too large to be cut.
TEST(UdpBatchTest, RunsOfEqualDatagramsArriveAsSeparateDatagrams) {
    UdpSocket a;
    UdpSocket b;
    UdpSocket c;
    ASSERT_TRUE(a.Open(kLoopback, 0));
    ASSERT_TRUE(b.Open(kLoopback, 0));
    ASSERT_TRUE(c.Open(kLoopback, 0));
    const UdpAddress toB{kLoopback, b.LocalPort()};
    const UdpAddress toC{kLoopback, c.LocalPort()};
    struct Run {
        int count;
        int size;
        const UdpAddress* to;
    };
    const Run runs[] = {{100, 1015, &toB}, {1, 500, &toB},  {5, 1015, &toC}, {3, 1015, &toB},
                        {1, 1200, &toB},   {2, 1401, &toB}, {70, 55, &toB}};
    UdpSendBatch batch(a);
    std::vector<QByteArray> forB;
    std::vector<QByteArray> forC;
    int serial = 0;
    for (const Run& run : runs) {
        for (int k = 0; k < run.count; ++k) {
            QByteArray d(run.size, char('a' + serial % 26));
            d.replace(0, 4, QByteArray::number(serial++).rightJustified(4, '0'));
            batch.Add(d.constData(), int(d.size()), *run.to);
            (run.to == &toB ? forB : forC).push_back(d);
        }
    }
    batch.Flush();
    EXPECT_EQ(receiveAll(b, forB.size()), forB);
    EXPECT_EQ(receiveAll(c, forC.size()), forC);
}
