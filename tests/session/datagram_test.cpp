#include "session/datagram.h"

#include <gtest/gtest.h>

#include <cstring>

#include "infra/bytes.h"

namespace {

DatagramHeader sampleHeader(uint8_t type) {
    DatagramHeader h;
    h.PacketType = type;
    h.Offset = 1920;
    h.MessageSize = -7;
    h.MessageNumber = -0x0102030405060708LL;
    h.PacketCount = 0x11223344;
    h.PacketNumber = 3;
    for (int k = 0; k < kTIDBSize; ++k) {
        h.TIDB[k] = uint8_t(0xA0 + k);
    }
    return h;
}

// A payload as a sender stores it: two head bytes, then the data, scrambled.
QByteArray scrambledPayload(const QByteArray& data) {
    QByteArray payload = QByteArray(2, '\0') + data;
    SetRandomHead(payload);
    ScramblePayload(payload.data(), payload.size());
    return payload;
}

QByteArray plainHeaderOf(const QByteArray& datagram) {
    QByteArray head = datagram.left(kHeaderEnd);
    ScrambleBytesN(head, kHeaderSize, VerP);
    return head.mid(kHeadSize);
}

}  // namespace

TEST(Datagram, FieldsSitAtTheirOffsetsLittleEndian) {
    char plain[kHeaderSize];
    WriteHeader(sampleHeader(PacketTypes::File), plain);
    const auto byte = [&](int offset) { return uint8_t(plain[offset]); };
    EXPECT_EQ(byte(0), 0xAA);
    EXPECT_EQ(byte(1), 0xFF);
    EXPECT_EQ(byte(2), 1);
    for (int k = 7; k < 15; ++k) {
        EXPECT_EQ(byte(k), 0) << "reserved byte " << k;
    }
    EXPECT_EQ(byte(15), 0x80);  // Offset 1920 = 0x780
    EXPECT_EQ(byte(16), 0x07);
    EXPECT_EQ(byte(19), 0xF9);  // MessageSize -7
    EXPECT_EQ(byte(22), 0xFF);
    EXPECT_EQ(byte(23), 0xF8);  // MessageNumber -0x0102030405060708
    EXPECT_EQ(byte(30), 0xFE);
    EXPECT_EQ(byte(31), 0x44);  // PacketCount
    EXPECT_EQ(byte(34), 0x11);
    EXPECT_EQ(byte(35), 3);
    EXPECT_EQ(byte(39), 0xA0);
    EXPECT_EQ(byte(54), 0xAF);
}

TEST(Datagram, EveryFieldSurvivesTheWireAndThePayloadUnscrambles) {
    const QByteArray data = "{\"$c$\":\"testex\"}";
    const QByteArray wire = EncodeDatagram(sampleHeader(PacketTypes::Json), scrambledPayload(data));
    ASSERT_EQ(wire.size(), kHeaderEnd + data.size() + kHeadSize);
    EXPECT_EQ(plainHeaderOf(wire).left(2), QByteArray("\xAA\xFF"));

    DatagramHeader decoded;
    ASSERT_TRUE(DecodeDatagram(wire, decoded));
    DatagramHeader expected = sampleHeader(PacketTypes::Json);
    expected.DataSize = int32_t(data.size() + kHeadSize);
    EXPECT_EQ(decoded, expected);

    QByteArray copy = wire;
    QByteArrayView bytes;
    ASSERT_TRUE(DecodeDatagramInPlace(copy.data(), copy.size(), decoded, bytes));
    EXPECT_EQ(bytes, data);
}

TEST(Datagram, TheLargestDatagramCarries960DataBytesAndNoMore) {
    EXPECT_EQ(EncodeDatagram(sampleHeader(0), scrambledPayload(QByteArray(960, 'x'))).size(), kMaxDatagram);
    EXPECT_TRUE(EncodeDatagram(sampleHeader(0), scrambledPayload(QByteArray(961, 'x'))).isEmpty());
}

TEST(Datagram, AckEchoesTheHeaderWithType255AndNoPayload) {
    DatagramHeader received = sampleHeader(PacketTypes::Raw);
    received.DataSize = 500;
    char ack[kHeaderEnd];
    EncodeAck(received, ack);
    DatagramHeader decoded;
    ASSERT_TRUE(DecodeDatagram(QByteArrayView(ack, kHeaderEnd), decoded));
    received.PacketType = PacketTypes::Ack;
    received.DataSize = 0;
    EXPECT_EQ(decoded, received);
}

struct Malformed {
    const char* name;
    int size;          // bytes on the wire
    int32_t dataSize;  // what the header claims
    uint8_t type;
    bool breakMarker;
};

class DatagramRejects : public ::testing::TestWithParam<Malformed> {};

TEST_P(DatagramRejects, Malformed) {
    const Malformed& c = GetParam();
    QByteArray plain(kHeaderEnd, '\0');
    DatagramHeader h = sampleHeader(c.type);
    h.DataSize = c.dataSize;
    WriteHeader(h, plain.data() + kHeadSize);
    if (c.breakMarker) {
        plain[kHeadSize + 1] = 0x7F;
    }
    SetRandomHead(plain);
    ScrambleBytesN(plain, kHeaderSize, VerP);
    QByteArray wire = plain + QByteArray(std::max(0, c.size - kHeaderEnd), 'p');
    wire.truncate(c.size);
    DatagramHeader decoded;
    EXPECT_FALSE(DecodeDatagram(wire, decoded)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Datagram, DatagramRejects,
    ::testing::Values(Malformed{"56 bytes", 56, 0, PacketTypes::Ack, false},
                      Malformed{"1500 bytes", 1500, 1443, PacketTypes::Json, false},
                      Malformed{"DataSize one too many", 100, 44, PacketTypes::Json, false},
                      Malformed{"DataSize one too few", 100, 42, PacketTypes::Json, false},
                      Malformed{"negative DataSize", 57, -1, PacketTypes::Ack, false},
                      Malformed{"wrong marker", 57, 0, PacketTypes::Ack, true},
                      Malformed{"unknown type", 57, 0, 7, false},
                      Malformed{"data packet without its head", 58, 1, PacketTypes::Json, false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            ch = std::isalnum(uint8_t(ch)) ? ch : '_';
        }
        return name;
    });

TEST(Datagram, BoundaryLengthsAreAccepted) {
    QByteArray wire(kHeaderEnd, '\0');
    DatagramHeader ack = sampleHeader(PacketTypes::Ack);
    EncodeAck(ack, wire.data());
    DatagramHeader decoded;
    EXPECT_TRUE(DecodeDatagram(wire, decoded));  // 57 bytes

    QByteArray plain(kHeaderEnd, '\0');
    DatagramHeader big = sampleHeader(PacketTypes::Json);
    big.DataSize = kMaxAcceptedDatagram - kHeaderEnd;
    WriteHeader(big, plain.data() + kHeadSize);
    ScrambleBytesN(plain, kHeaderSize, VerP);
    EXPECT_TRUE(DecodeDatagram(plain + QByteArray(big.DataSize, 'p'), decoded));  // 1499 bytes
}
