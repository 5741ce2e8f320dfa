// The byte codec every binary format goes through: reads that do not fit fail without consuming,
// text slots are cut to their slot, and batches give back exactly their whole messages.
#include "infra/byte_codec.h"

#include <gtest/gtest.h>

#include "infra/message_batch.h"

namespace {

TEST(ByteReader, AReadThatDoesNotFitConsumesNothing) {
    const QByteArray bytes("\x01\x02\x03\x04\x05", 5);
    ByteReader in(bytes);
    int32_t value = 0;
    ASSERT_TRUE(in.Read(value));
    EXPECT_EQ(value, 0x04030201);
    EXPECT_FALSE(in.Read(value));
    EXPECT_EQ(value, 0x04030201);
    std::vector<uint16_t> array;
    EXPECT_FALSE(in.ReadArray(array, 1));
    EXPECT_TRUE(array.empty());
    EXPECT_FALSE(in.Skip(2));
    EXPECT_FALSE(in.Has(-1));
    EXPECT_EQ(in.Pos(), 4);
    EXPECT_EQ(in.TakeUpTo(10), QByteArrayView("\x05", 1));
    EXPECT_TRUE(in.AtEnd());
}

TEST(ByteReader, AShortTextMustBeWhole) {
    QByteArrayView text;
    ByteReader whole(
        QByteArrayView("\x03"
                       "abcd",
                       5));
    ASSERT_TRUE(whole.ReadShortText(text));
    EXPECT_EQ(text, QByteArrayView("abc"));
    ByteReader cut(
        QByteArrayView("\x05"
                       "abc",
                       4));
    EXPECT_FALSE(cut.ReadShortText(text));
    EXPECT_EQ(cut.Pos(), 0);
    ByteReader empty{QByteArrayView()};
    EXPECT_FALSE(empty.ReadShortText(text));
}

TEST(ByteCodec, LittleEndianEverywhere) {
    QByteArray out;
    AppendLE(out, int32_t(-2));
    AppendLE(out, uint16_t(0x1234));
    EXPECT_EQ(out, QByteArray("\xfe\xff\xff\xff\x34\x12", 6));
    char at[8];
    PutLE(at, int64_t(0x0102030405060708));
    EXPECT_EQ(QByteArray(at, 8), QByteArray("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    EXPECT_EQ(GetLE<int64_t>(at), 0x0102030405060708);
}

TEST(ByteCodec, TextSlotsAreCutToTheSlotAndToALengthByte) {
    struct Case {
        qsizetype textLength;
        qsizetype slot;
        qsizetype kept;
    } cases[] = {{3, 9, 3}, {8, 9, 8}, {9, 9, 8}, {300, 400, 255}, {5, 1, 0}, {5, 0, -1}};
    for (const Case& c : cases) {
        QByteArray out;
        AppendTextSlot(out, QByteArray(c.textLength, 'x'), c.slot);
        if (c.kept < 0) {
            EXPECT_TRUE(out.isEmpty());
            continue;
        }
        ASSERT_EQ(out.size(), c.slot) << c.textLength << " in " << c.slot;
        EXPECT_EQ(uint8_t(out[0]), c.kept);
        EXPECT_EQ(out.count('x'), c.kept);
        EXPECT_EQ(SlotText(out).size(), c.kept);
    }
    EXPECT_EQ(TextSlot(QStringLiteral("Иван"), 6), QByteArray("\x04\xc8\xe2\xe0\xed\x00", 6));
    // A length byte beyond its slot reads only what the slot holds.
    EXPECT_EQ(SlotText(QByteArrayView("\x09"
                                      "ab",
                                      3)),
              QStringLiteral("ab"));
    QByteArray text;
    AppendShortText(text, QByteArray(300, 'y'));
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(uint8_t(text[0]), 255);
}

TEST(ByteCodec, AtGivesZeroOutsideTheArray) {
    const std::vector<int32_t> values = {7, 8};
    EXPECT_EQ(At(values, 1), 8);
    EXPECT_EQ(At(values, 2), 0);
    EXPECT_EQ(At(values, -1), 0);
}

TEST(MessageBatch, ItemsComeBackUpToTheLastWholeOne) {
    QByteArray batch;
    BeginBatch(batch);
    ASSERT_TRUE(AppendBatchItem(batch, "ab"));
    ASSERT_TRUE(AppendBatchItem(batch, ""));
    ASSERT_TRUE(AppendBatchItem(batch, "cde"));
    EXPECT_EQ(batch.size(), 4 + 1 + 3 * 4 + 5);
    EXPECT_EQ(GetLE<int32_t>(batch.constData()), kBatchKind);
    const QByteArrayView body = QByteArrayView(batch).sliced(4);
    const auto items = BatchItems(body);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], QByteArrayView("ab"));
    EXPECT_TRUE(items[1].isEmpty());
    EXPECT_EQ(items[2], QByteArrayView("cde"));
    EXPECT_EQ(BatchItems(body.chopped(1)).size(), 2u);
    EXPECT_TRUE(BatchItems({}).empty());
}

TEST(MessageBatch, HoldsAtMost255Messages) {
    QByteArray batch;
    BeginBatch(batch);
    for (int i = 0; i < kMaxBatchItems; ++i) {
        ASSERT_TRUE(AppendBatchItem(batch, "m"));
    }
    const qsizetype full = batch.size();
    EXPECT_FALSE(AppendBatchItem(batch, "m"));
    EXPECT_EQ(batch.size(), full);
    EXPECT_EQ(BatchItems(QByteArrayView(batch).sliced(4)).size(), size_t(kMaxBatchItems));
}

}  // namespace
