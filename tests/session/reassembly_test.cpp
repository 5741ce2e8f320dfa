#include "session/reassembly.h"

#include <gtest/gtest.h>

#include <QString>
#include <atomic>
#include <vector>

namespace {

struct Piece {
    DatagramHeader header;
    QByteArray data;
};

// The pieces a sender makes of one message: 960 data bytes each, the last shorter.
std::vector<Piece> cut(const QByteArray& message, int64_t number, uint8_t type = PacketTypes::Json) {
    const int32_t count = int32_t((message.size() - 1) / kMaxDataBytes + 1);
    std::vector<Piece> pieces;
    for (int32_t k = 0; k < count; ++k) {
        Piece p;
        p.data = message.mid(k * kMaxDataBytes, kMaxDataBytes);
        p.header.PacketType = type;
        p.header.DataSize = int32_t(p.data.size() + kHeadSize);
        p.header.Offset = k * kMaxDataBytes;
        p.header.MessageSize = int32_t(message.size());
        p.header.MessageNumber = number;
        p.header.PacketCount = count;
        p.header.PacketNumber = k + 1;
        pieces.push_back(p);
    }
    return pieces;
}

QByteArray textOf(int size, const char* marker = "") {
    QByteArray text = QByteArray("{\"$c$\":\"") + marker + "\",\"x\":\"";
    while (text.size() < size - 2) {
        text += char('a' + text.size() % 26);
    }
    return text + "\"}";
}

class ReassemblyTest : public ::testing::Test {
  protected:
    Delivery take(const Piece& p, bool connect = true) { return reassembly.Take(p.header, p.data, connect); }
    // Feeds every piece; returns what came out, in order.
    std::vector<Delivery> feed(const std::vector<Piece>& pieces, bool connect = true) {
        std::vector<Delivery> out;
        for (const Piece& p : pieces) {
            Delivery d = take(p, connect);
            if (d.route != Route::None) {
                out.push_back(d);
            }
        }
        return out;
    }

    std::atomic<int64_t> lastCountSoob{0};
    TReassembly reassembly{lastCountSoob};
};

TEST_F(ReassemblyTest, HundredPacketTextInReverseOrderIsDeliveredOnce) {
    const QByteArray text = textOf(99 * 960 + 10);
    std::vector<Piece> pieces = cut(text, 7);
    ASSERT_EQ(pieces.size(), 100u);
    std::reverse(pieces.begin(), pieces.end());
    pieces.insert(pieces.begin() + 50, pieces[10]);  // a copy while the message is still open
    const std::vector<Delivery> out = feed(pieces);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].route, Route::ReadJSON);
    EXPECT_EQ(out[0].text, QString::fromLatin1(text));
    EXPECT_EQ(lastCountSoob.load(), 8);
    EXPECT_TRUE(reassembly.PacketString.isEmpty());
}

TEST_F(ReassemblyTest, LateCopiesOfADeliveredMessageAreDropped) {
    const std::vector<Piece> pieces = cut(textOf(2000), 3);
    ASSERT_EQ(feed(pieces).size(), 1u);
    EXPECT_TRUE(feed(pieces).empty());
    const std::vector<Piece> single = cut(textOf(100), 3);
    EXPECT_TRUE(feed(single).empty());
}

struct RouteCase {
    const char* name;
    int size;
    const char* marker;
    uint8_t type;
    bool connect;
    Route route;
};

class ReassemblyRouting : public ReassemblyTest, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(ReassemblyRouting, CompleteTextGoesWhereItBelongs) {
    const RouteCase& c = GetParam();
    const std::vector<Delivery> out = feed(cut(textOf(c.size, c.marker), 1, c.type), c.connect);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].route, c.route);
}

INSTANTIATE_TEST_SUITE_P(
    Reassembly, ReassemblyRouting,
    ::testing::Values(RouteCase{"single_command", 100, "regok", 0, true, Route::SoobEJSON},
                      RouteCase{"single_newlk_logged_in", 100, "newlk", 0, true, Route::ReadJSONData},
                      RouteCase{"single_newlk_not_logged_in", 100, "newlk", 0, false, Route::SoobEJSON},
                      RouteCase{"long_text", 3000, "mobiltech", 0, true, Route::ReadJSON},
                      RouteCase{"long_testex", 3000, "testex", 0, true, Route::SoobEJSON},
                      RouteCase{"long_newlk_logged_in", 3000, "newlk", 0, true, Route::ReadJSONData},
                      RouteCase{"long_newlk_not_logged_in", 3000, "newlk", 0, false, Route::ReadJSON},
                      RouteCase{"long_testex_and_newlk", 3000, "testex newlk", 0, true, Route::SoobEJSON},
                      RouteCase{"type20_single", 100, "newlk", 20, false, Route::SoobEJSON},
                      RouteCase{"type20_long", 3000, "x", 20, false, Route::SoobEJSON}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiveBitmap, TenPacketsStartWithTheSpareBitsSet) {
    TReceiveBitmap bitmap;
    ASSERT_TRUE(bitmap.Create(10));
    EXPECT_EQ(bitmap.Bytes(), QByteArray("\x00\xFC", 2));
    for (int32_t n = 1; n <= 8; ++n) {
        EXPECT_FALSE(bitmap.Set(n));
    }
    EXPECT_EQ(bitmap.Percent(), 50);
    EXPECT_FALSE(bitmap.Set(10));
    EXPECT_TRUE(bitmap.Set(10));  // the second time it was already there
    EXPECT_FALSE(bitmap.Complete());
    bitmap.Set(9);
    EXPECT_EQ(bitmap.Bytes(), QByteArray("\xFF\xFF", 2));
    EXPECT_TRUE(bitmap.Complete());
    // A piece that could not be kept counts as missing again, and only once.
    bitmap.Unset(3);
    bitmap.Unset(3);
    bitmap.Unset(11);
    EXPECT_EQ(bitmap.Bytes(), QByteArray("\xFB\xFF", 2));
    EXPECT_FALSE(bitmap.Complete());
    EXPECT_EQ(bitmap.Percent(), 50);
    EXPECT_FALSE(bitmap.Set(3));
    EXPECT_TRUE(bitmap.Complete());
    EXPECT_EQ(bitmap.Percent(), 100);
    EXPECT_FALSE(bitmap.Set(11));
    EXPECT_FALSE(bitmap.Create(0));
    EXPECT_FALSE(bitmap.Create(kMaxFilePackets + 1));
}

// Each mutation turns one good piece of an open 3-packet message into a malformed one.
struct BadPiece {
    const char* name;
    void (*spoil)(Piece&);
};

class ReassemblyDrops : public ReassemblyTest, public ::testing::WithParamInterface<BadPiece> {};

TEST_P(ReassemblyDrops, MalformedPieceIsDroppedAndTheMessageStillCompletes) {
    const QByteArray text = textOf(2500);
    const std::vector<Piece> pieces = cut(text, 4);
    ASSERT_EQ(take(pieces[0]).route, Route::None);
    Piece bad = pieces[1];
    GetParam().spoil(bad);
    EXPECT_EQ(take(bad).route, Route::None);
    EXPECT_EQ(take(pieces[1]).route, Route::None);
    const Delivery d = take(pieces[2]);
    EXPECT_EQ(d.route, Route::ReadJSON);
    EXPECT_EQ(d.text, QString::fromLatin1(text));
}

INSTANTIATE_TEST_SUITE_P(
    Reassembly, ReassemblyDrops,
    ::testing::Values(BadPiece{"packet_number_beyond_count", [](Piece& p) { p.header.PacketNumber = 4; }},
                      BadPiece{"packet_number_zero", [](Piece& p) { p.header.PacketNumber = 0; }},
                      BadPiece{"data_past_message_size", [](Piece& p) { p.header.Offset = 2500 - 959; }},
                      BadPiece{"negative_offset", [](Piece& p) { p.header.Offset = -1; }},
                      BadPiece{"negative_message_size", [](Piece& p) { p.header.MessageSize = -5; }},
                      BadPiece{"size_beyond_packet_count",
                               [](Piece& p) {
                                   p.header.MessageSize = 3 * 960 + 3;
                                   p.header.Offset = 2000;
                               }},
                      BadPiece{"huge_packet_count",
                               [](Piece& p) {
                                   p.header.PacketCount = INT32_MAX;
                                   p.header.MessageSize = INT32_MAX;
                                   p.header.Offset = INT32_MAX - 960;
                               }},
                      BadPiece{"older_message", [](Piece& p) { p.header.MessageNumber = 3; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReassemblyTest, UnboundedSizesAllocateNothing) {
    Piece p = cut(textOf(2000), 1)[0];
    p.header.PacketCount = 1'000'000;
    p.header.MessageSize = 1'000'000 * 960;  // within the packet count, beyond the memory cap
    EXPECT_EQ(take(p).route, Route::None);
    EXPECT_TRUE(reassembly.PacketString.isEmpty());
    p.header.PacketType = PacketTypes::Raw;
    EXPECT_EQ(take(p).route, Route::None);
    EXPECT_TRUE(reassembly.PacketRAW.isEmpty());
    p.header.PacketType = PacketTypes::Json;
    p.header.PacketCount = 2;
    p.header.MessageSize = 2 * 960 + 3;
    EXPECT_EQ(take(p).route, Route::None);
    EXPECT_TRUE(reassembly.PacketString.isEmpty());
}

TEST_F(ReassemblyTest, NewerMessageReplacesAnAbandonedOne) {
    feed({cut(textOf(2000), 5)[0]});
    const QByteArray text = textOf(2000, "second");
    const std::vector<Delivery> out = feed(cut(text, 6));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, QString::fromLatin1(text));
}

TEST_F(ReassemblyTest, DiscardDropsHalfBuiltMessagesOfTheLastSession) {
    const std::vector<Piece> old = cut(textOf(2000, "old"), 9);
    feed({old[0], old[1]});
    reassembly.Discard();
    lastCountSoob = 0;  // a new registration
    const QByteArray text = textOf(2000, "new");
    std::vector<Piece> fresh = cut(text, 9);
    const std::vector<Delivery> out = feed({fresh[2], fresh[1], fresh[0]});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, QString::fromLatin1(text));
    EXPECT_TRUE(reassembly.FileRsM.IsEmpty());
}

TEST_F(ReassemblyTest, BinaryRecordsAreReassembledAndSinglesPassStraightThrough) {
    QByteArray records(2100, '\0');
    for (int k = 0; k < records.size(); ++k) {
        records[k] = char(k);
    }
    std::vector<Piece> pieces = cut(records, 11, PacketTypes::RawAlt);
    std::swap(pieces[0], pieces[2]);
    std::vector<Delivery> out = feed(pieces);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].route, Route::SoobERAW);
    EXPECT_EQ(out[0].raw, records);
    out = feed(cut(QByteArray("\x02\x00\x00\x00", 4), 12, PacketTypes::Raw));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].raw, QByteArray("\x02\x00\x00\x00", 4));
    EXPECT_EQ(lastCountSoob.load(), 13);
}

TEST_F(ReassemblyTest, BinaryRecordPieceOutsideItsBufferDropsTheSession) {
    std::vector<Piece> pieces = cut(QByteArray(2100, 'r'), 20, PacketTypes::Raw);
    feed({pieces[0]});
    Piece bad = pieces[1];
    bad.header.Offset = 2000;
    const Delivery d = take(bad);
    EXPECT_EQ(d.route, Route::RawDoesNotFit);
    EXPECT_EQ(d.text, QStringLiteral("-------> 2100 962 2000 2100 960 3 20 20"));
}

TEST_F(ReassemblyTest, FilePiecesAreCheckedAgainstTheOpenFile) {
    const std::vector<Piece> pieces = cut(QByteArray(1000, 'f'), 30, PacketTypes::File);
    ASSERT_EQ(take(pieces[0]).route, Route::FilePiece);
    ASSERT_TRUE(reassembly.StartFile(pieces[0].header));
    Piece beyond = pieces[1];
    beyond.header.PacketCount = 3;
    beyond.header.PacketNumber = 3;  // consistent on its own, but the open file has 2 packets
    EXPECT_EQ(take(beyond).route, Route::None);
    Piece past = pieces[1];
    past.header.MessageSize = 2000;
    past.header.Offset = 1500;  // within its own size, past the open file's
    EXPECT_EQ(take(past).route, Route::None);
    EXPECT_EQ(take(pieces[1]).route, Route::FilePiece);
    reassembly.FinishFile(30);
    EXPECT_EQ(take(pieces[1]).route, Route::None);
    EXPECT_TRUE(reassembly.FileRsM.IsEmpty());
}

}  // namespace
