#include "infra/bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <utility>
#include <vector>

#include "infra/codepage.h"

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

struct BitCase {
    uint8_t before;
    uint8_t bitNo;
    uint8_t value;
    uint8_t after;
};

class SetBitTest : public testing::TestWithParam<BitCase> {};

TEST_P(SetBitTest, ChangesOnlyTheNamedBit) {
    uint8_t b = GetParam().before;
    SetBit(b, GetParam().bitNo, GetParam().value);
    EXPECT_EQ(b, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Cases, SetBitTest,
                         testing::Values(BitCase{0, 3, 1, 4}, BitCase{255, 3, 0, 251},
                                         BitCase{4, 3, 2, 0},  // any value but 1 clears
                                         BitCase{0, 1, 1, 1}, BitCase{0, 8, 1, 128}, BitCase{7, 9, 1, 7},
                                         BitCase{7, 0, 0, 7}));

TEST(GetBitTest, NumbersBitsFromOneAndIgnoresOthers) {
    EXPECT_TRUE(GetBit(128, 8));
    EXPECT_FALSE(GetBit(127, 8));
    EXPECT_TRUE(GetBit(1, 1));
    EXPECT_FALSE(GetBit(255, 0));
    EXPECT_FALSE(GetBit(255, 9));
}

// Rebuilds a key table from what scrambling does to zero bytes: the first body byte of head (a, 0)
// is T[a] ^ T[0], and T[0] is known.
std::array<int, 256> RecoverTable(uint8_t kind, int first) {
    std::array<int, 256> table{};
    for (int a = 0; a < 256; ++a) {
        QByteArray data = Bytes({a, 0, 0});
        ScrambleBytes(data, kind);
        table[a] = uint8_t(data[2]) ^ first;
    }
    return table;
}

TEST(ScrambleTest, CarriesTheSharedKeyTables) {
    const auto t1 = RecoverTable(1, 12);
    const auto t2 = RecoverTable(2, 165);
    EXPECT_EQ(std::set<int>(t1.begin(), t1.end()).size(), 256u);
    EXPECT_EQ(std::set<int>(t2.begin(), t2.end()).size(), 256u);
    const std::array<int, 16> t1First = {12,  235, 239, 246, 163, 137, 138, 134,
                                         190, 176, 53,  99,  101, 209, 240, 214};
    const std::array<int, 16> t1Last = {117, 128, 254, 168, 97, 22, 103, 21,
                                        124, 46,  142, 147, 68, 31, 48,  56};
    const std::array<int, 16> t2First = {165, 69,  163, 67, 182, 43,  226, 155,
                                         38,  140, 52,  20, 90,  160, 27,  72};
    const std::array<int, 16> t2Last = {237, 105, 34,  39,  185, 204, 132, 56,
                                        118, 47,  233, 106, 17,  64,  100, 135};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(t1[k], t1First[k]) << k;
        EXPECT_EQ(t1[240 + k], t1Last[k]) << k;
        EXPECT_EQ(t2[k], t2First[k]) << k;
        EXPECT_EQ(t2[240 + k], t2Last[k]) << k;
    }
}

TEST(ScrambleTest, IsItsOwnInverseForEveryHeadAndLength) {
    for (uint8_t kind : {1, 2}) {
        for (int length : {3, 4, 255, 258, 259, 513, 1000}) {
            QByteArray original(length, '\0');
            for (int k = 0; k < length; ++k) {
                original[k] = char(k * 37 + length);
            }
            QByteArray data = original;
            ScrambleBytes(data, kind);
            EXPECT_EQ(data.left(2), original.left(2)) << "the head stays in clear";
            EXPECT_NE(data, original);
            ScrambleBytes(data, kind);
            EXPECT_EQ(data, original) << int(kind) << " " << length;
        }
    }
}

TEST(ScrambleTest, StartValuesWrapAroundInOppositeDirections) {
    const auto t1 = RecoverTable(1, 12);
    QByteArray data = Bytes({255, 0, 0, 0, 0});
    ScrambleBytes(data, 1);
    EXPECT_EQ(uint8_t(data[2]), t1[255] ^ t1[0]);
    EXPECT_EQ(uint8_t(data[3]), t1[0] ^ t1[255]) << "i wraps 255 -> 0 and j wraps 0 -> 255";
    EXPECT_EQ(uint8_t(data[4]), t1[1] ^ t1[254]);
}

TEST(ScrambleTest, LongBodiesUseTheSameStreamAsShortOnes) {
    // The key stream repeats every 256 bytes; the body beyond must match scrambling byte by byte.
    const QByteArray head = Bytes({17, 201});
    QByteArray whole = head + QByteArray(700, 'x');
    ScrambleBytes(whole, 2);
    for (int k = 0; k < 700; k += 97) {
        QByteArray single = Bytes({uint8_t(17 + k), uint8_t(201 - k), 'x'});
        ScrambleBytes(single, 2);
        EXPECT_EQ(whole[2 + k], single[2]) << k;
    }
}

TEST(ScrambleTest, PiecesGiveTheBytesOfTheWhole) {
    // A file read piece by piece and unscrambled where each piece lands must give the same bytes, for
    // pieces that start and end anywhere in a period.
    QByteArray original(1300, '\0');
    for (int k = 0; k < original.size(); ++k) {
        original[k] = char(k * 13 + 5);
    }
    original[0] = char(201);
    original[1] = char(17);
    for (uint8_t kind : {1, 2}) {
        QByteArray whole = original;
        ScrambleBytes(whole, kind);
        for (const auto& [start, length] : std::vector<std::pair<int, int>>{
                 {2, 1}, {2, 1298}, {3, 255}, {200, 56}, {257, 300}, {258, 512}, {1299, 1}, {100, 1200}}) {
            QByteArray piece = original.mid(start, length);
            ScrambleBodyPart(piece.data(), piece.size(), kind, original.constData(), start - 2);
            EXPECT_EQ(piece, whole.mid(start, length)) << int(kind) << " " << start << " " << length;
        }
    }
}

TEST(ScrambleTest, LeavesShortArraysAndUnknownKindsAlone) {
    QByteArray two = Bytes({1, 2});
    ScrambleBytes(two, 1);
    EXPECT_EQ(two, Bytes({1, 2}));
    QByteArray body = Bytes({1, 2, 3, 4});
    for (uint8_t kind : {0, 3, 255}) {
        ScrambleBytes(body, kind);
        EXPECT_EQ(body, Bytes({1, 2, 3, 4}));
    }
    QByteArray three = Bytes({1, 2, 3});
    ScrambleBytes(three, 1);
    EXPECT_EQ(three.left(2), Bytes({1, 2}));
    EXPECT_NE(three[2], char(3));
}

TEST(ScrambleTest, CountedScramblingStopsAfterCount) {
    QByteArray whole = Bytes({9, 8, 1, 2, 3, 4});
    QByteArray one = whole;
    ScrambleBytes(whole, 1);
    ScrambleBytesN(one, 1, 1);
    EXPECT_EQ(one.left(3), whole.left(3));
    EXPECT_EQ(one.mid(3), Bytes({2, 3, 4}));

    QByteArray clamped = Bytes({9, 8, 1, 2, 3, 4});
    ScrambleBytesN(clamped, 1000, 1);
    EXPECT_EQ(clamped, whole);

    QByteArray none = Bytes({9, 8, 1, 2});
    ScrambleBytesN(none, 0, 1);
    EXPECT_EQ(none, Bytes({9, 8, 1, 2}));
}

TEST(HexTest, ReadsPairsInEitherCase) {
    QByteArray data;
    HexToBytes(QStringLiteral("0aFF1"), data);
    EXPECT_EQ(data, Bytes({10, 255}));
    HexToBytes(QStringLiteral("zz7f1g"), data);
    EXPECT_EQ(data, Bytes({0, 127, 0}));
    HexToBytes(QString(), data);
    EXPECT_TRUE(data.isEmpty());

    QString text;
    BytesToHex(Bytes({10, 255, 0}), text);
    EXPECT_EQ(text, QStringLiteral("0AFF00"));
    BytesToHex(QByteArray(), text);
    EXPECT_TRUE(text.isEmpty());
}

TEST(TextBytesTest, EmptyTextLeavesTheTargetAlone) {
    QByteArray data("keep");
    StrToBytes(QString(), data);
    EXPECT_EQ(data, QByteArray("keep"));
    StrToScrambledBytes(QString(), data, 1);
    EXPECT_EQ(data, QByteArray("keep"));
}

TEST(TextBytesTest, ScrambledTextUnscramblesToItsCodePageBytes) {
    const QString text = QString::fromUtf8("Жук 5");
    QByteArray data;
    StrToScrambledBytes(text, data, 1);
    ASSERT_EQ(data.size(), 7);
    ScrambleBytes(data, 1);
    EXPECT_EQ(data.mid(2), toAnsi(text));
    StrToBytes(text, data);
    EXPECT_EQ(data, Bytes({0xC6, 0xF3, 0xEA, ' ', '5'}));
}

TEST(TextBytesTest, RandomHeadsVary) {
    std::set<QByteArray> heads;
    for (int k = 0; k < 50; ++k) {
        QByteArray data(2, '\0');
        SetRandomHead(data);
        heads.insert(data);
    }
    EXPECT_GT(heads.size(), 10u);
}

TEST(CodePageTest, ConvertsCyrillicAndReplacesTheRest) {
    EXPECT_EQ(toAnsi(QString::fromUtf8("Ёё№€")), Bytes({0xA8, 0xB8, 0xB9, 0x88}));
    EXPECT_EQ(toAnsi(QString::fromUtf8("a✓b")), QByteArray("a?b"));
    EXPECT_EQ(toAnsi(QString::fromUtf8("😀")), QByteArray("??")) << "one byte per UTF-16 unit";
    EXPECT_EQ(fromAnsi(Bytes({0xCF, 0xF0, 0xE8})), QString::fromUtf8("При"));
}

TEST(CodePageTest, EveryByteSurvivesTheRoundTrip) {
    QByteArray all(256, '\0');
    for (int b = 0; b < 256; ++b) {
        all[b] = char(b);
    }
    const QString text = fromAnsi(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toAnsi(text), all);
}

}  // namespace
