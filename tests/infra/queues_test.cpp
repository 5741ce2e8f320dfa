#include "infra/queues.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

QString Q(const char* text) {
    return QString::fromUtf8(text);
}

TEST(OchFIFOJSONTest, HoldsExactlyItsCapacityAndWraps) {
    OchFIFOJSON queue;
    queue.SetSizeOch(3);
    EXPECT_EQ(queue.CountSoob(), 0);
    EXPECT_TRUE(queue.PutSoob(Q("1")));
    EXPECT_TRUE(queue.PutSoob(Q("2")));
    EXPECT_TRUE(queue.PutSoob(Q("3")));
    EXPECT_FALSE(queue.PutSoob(Q("4"))) << "a full queue refuses, never overwrites";
    EXPECT_EQ(queue.CountSoob(), 3);

    QString message;
    ASSERT_TRUE(queue.GetSoobD(message));
    EXPECT_EQ(message, Q("1"));
    EXPECT_TRUE(queue.PutSoob(Q("4")));  // into slot 0
    EXPECT_EQ(queue.CountSoob(), 3);
    for (const char* expected : {"2", "3", "4"}) {
        ASSERT_TRUE(queue.GetSoobD(message));
        EXPECT_EQ(message, Q(expected));
    }
    EXPECT_FALSE(queue.IsSoob());
    EXPECT_FALSE(queue.GetSoobD(message));
    EXPECT_EQ(message, Q("4")) << "an empty queue leaves the target alone";
}

TEST(OchFIFOJSONTest, LooksBeforeTaking) {
    OchFIFOJSON queue;
    queue.SetSizeOch(4);
    queue.PutSoob(Q("a"));
    queue.PutSoob(Q("b"));
    QString message;
    ASSERT_TRUE(queue.GetSoob(message));
    ASSERT_TRUE(queue.GetSoob(message));
    EXPECT_EQ(message, Q("a"));
    queue.DeleteSoob();
    ASSERT_TRUE(queue.GetSoob(message));
    EXPECT_EQ(message, Q("b"));
    queue.DeleteSoob();
    queue.DeleteSoob();  // harmless on an empty queue
    EXPECT_EQ(queue.CountSoob(), 0);
    EXPECT_TRUE(queue.PutSoob(Q("c")));
    ASSERT_TRUE(queue.GetSoob(message));
    EXPECT_EQ(message, Q("c"));
}

TEST(OchFIFOJSONTest, RefusesEmptyTextsAndUnsizedQueues) {
    OchFIFOJSON unsized;
    EXPECT_FALSE(unsized.PutSoob(Q("x")));
    EXPECT_FALSE(unsized.IsSoob());

    OchFIFOJSON queue;
    queue.SetSizeOch(2);
    EXPECT_FALSE(queue.PutSoob(QString()));
    EXPECT_EQ(queue.CountSoob(), 0);
}

TEST(OchFIFOJSONTest, CapacityOneCyclesBetweenEmptyAndFull) {
    OchFIFOJSON queue;
    queue.SetSizeOch(1);
    QString message;
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(queue.PutSoob(Q("x")));
        EXPECT_FALSE(queue.PutSoob(Q("y")));
        EXPECT_EQ(queue.CountSoob(), 1);
        EXPECT_TRUE(queue.GetSoobD(message));
        EXPECT_EQ(queue.CountSoob(), 0);
        EXPECT_FALSE(queue.IsSoob());
    }
}

TEST(OchFIFOJSONTest, BatchesFrontMessagesWithoutRemovingThem) {
    OchFIFOJSON queue;
    queue.SetSizeOch(3);
    QString batch = Q("untouched");
    EXPECT_EQ(queue.GetSoobCount(batch, 2), 0);
    EXPECT_EQ(batch, Q("untouched"));
    // Wrapped contents: slot order differs from queue order.
    queue.PutSoob(Q("x"));
    queue.PutSoob(Q("a"));
    queue.DeleteSoob();
    queue.PutSoob(Q("b"));
    queue.PutSoob(Q("c"));
    EXPECT_EQ(queue.GetSoobCount(batch, 2), 2);
    EXPECT_EQ(batch, Q("ab"));
    EXPECT_EQ(queue.GetSoobCount(batch, 1), 1);
    EXPECT_EQ(batch, Q("a"));
    EXPECT_EQ(queue.GetSoobCount(batch, 0), 1);
    EXPECT_EQ(queue.GetSoobCount(batch, 10), 3);
    EXPECT_EQ(batch, Q("abc"));
    EXPECT_EQ(queue.CountSoob(), 3);
}

TEST(OchFIFOJSONTest, ResizingKeepsWaitingMessagesInOrder) {
    OchFIFOJSON queue;
    queue.SetSizeOch(3);
    queue.PutSoob(Q("x"));
    queue.PutSoob(Q("a"));
    queue.DeleteSoob();
    queue.PutSoob(Q("b"));
    queue.PutSoob(Q("c"));
    queue.SetSizeOch(2);
    EXPECT_EQ(queue.CountSoob(), 2);
    EXPECT_FALSE(queue.PutSoob(Q("d")));
    QString message;
    queue.GetSoobD(message);
    EXPECT_EQ(message, Q("a"));
    queue.SetSizeOch(0);
    EXPECT_FALSE(queue.IsSoob());
    EXPECT_FALSE(queue.PutSoob(Q("e")));
}

TEST(OchFIFOTest, StoresZeroLengthMessages) {
    OchFIFO queue;
    queue.SetSizeOch(2);
    EXPECT_TRUE(queue.PutSoob(nullptr, 0));
    EXPECT_TRUE(queue.IsSoob());
    QByteArray message("stale");
    EXPECT_FALSE(queue.GetSoob(message));
    EXPECT_TRUE(message.isEmpty());
    EXPECT_FALSE(queue.GetSoobD(message));
    EXPECT_FALSE(queue.IsSoob()) << "GetSoobD removed the empty message all the same";
}

TEST(OchFIFOTest, CopiesBytesAndWraps) {
    OchFIFO queue;
    queue.SetSizeOch(2);
    char bytes[3] = {1, 0, 2};
    EXPECT_TRUE(queue.PutSoob(bytes, 3));
    bytes[0] = 9;
    EXPECT_TRUE(queue.PutSoob(QByteArray("z")));
    EXPECT_FALSE(queue.PutSoob(QByteArray("w")));
    QByteArray message;
    ASSERT_TRUE(queue.GetSoobD(message));
    EXPECT_EQ(message, QByteArray("\x01\x00\x02", 3));
    EXPECT_TRUE(queue.PutSoob(QByteArray("w")));
    EXPECT_EQ(queue.CountSoob(), 2);
    queue.DeleteSoob();
    ASSERT_TRUE(queue.GetSoob(message));
    EXPECT_EQ(message, QByteArray("w"));
}

// Slots and the taker's array keep their storage from one message to the next; no copy handed out
// earlier may change when that storage is used again, whatever the message sizes.
TEST(OchFIFOTest, ReusedStorageNeverChangesACopyHandedOutEarlier) {
    struct Case {
        const char* what;
        qsizetype first;
        qsizetype second;
    };
    const Case cases[] = {
        {"small then small", 32, 20},
        {"small then large", 32, OchFIFO::kKeepBytes * 3},
        {"large then small", OchFIFO::kKeepBytes * 3, 32},
        {"large then large", OchFIFO::kKeepBytes * 2, OchFIFO::kKeepBytes * 3},
        {"empty then small", 0, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OchFIFO queue;
        queue.SetSizeOch(1);
        const QByteArray first(c.first, 'a');
        const QByteArray second(c.second, 'b');

        ASSERT_TRUE(queue.PutSoob(first));
        QByteArray peeked;
        queue.GetSoob(peeked);
        QByteArray taken;
        queue.GetSoobD(taken);
        const QByteArray keptByCaller = taken;

        ASSERT_TRUE(queue.PutSoob(second)) << "the taken message freed its slot";
        QByteArray peekedAgain;
        queue.GetSoob(peekedAgain);
        queue.GetSoobD(taken);

        EXPECT_EQ(peeked, first);
        EXPECT_EQ(keptByCaller, first);
        EXPECT_EQ(peekedAgain, second);
        EXPECT_EQ(taken, second);
        EXPECT_FALSE(queue.IsSoob());
    }
}

TEST(OchFIFOTest, BatchLayoutIsLengthPrefixed) {
    OchFIFO queue;
    queue.SetSizeOch(4);
    QByteArray batch;
    EXPECT_FALSE(queue.GetSoob10(batch, 10));
    EXPECT_EQ(batch, QByteArray("\x04\x00\x00\x00\x00", 5));

    queue.PutSoob(QByteArray("ab"));
    queue.PutSoob(QByteArray());
    queue.PutSoob(QByteArray("cdefg"));
    ASSERT_TRUE(queue.GetSoob10(batch, 10));
    const QByteArray expected(
        "\x04\x00\x00\x00\x03"
        "\x02\x00\x00\x00"
        "ab"
        "\x00\x00\x00\x00"
        "\x05\x00\x00\x00"
        "cdefg",
        24);
    EXPECT_EQ(batch, expected);
    EXPECT_EQ(queue.CountSoob(), 3);

    ASSERT_TRUE(queue.GetSoob10(batch, 1));
    EXPECT_EQ(batch.size(), 5 + 4 + 2);
    EXPECT_EQ(batch[4], char(1));
    EXPECT_FALSE(queue.GetSoob10(batch, 0));
}

TEST(OchFIFOTest, BatchCountNeverOverflowsItsByte) {
    OchFIFO queue;
    queue.SetSizeOch(300);
    for (int k = 0; k < 300; ++k) {
        queue.PutSoob(QByteArray(1, char(k)));
    }
    QByteArray batch;
    ASSERT_TRUE(queue.GetSoob10(batch, 300));
    EXPECT_EQ(uint8_t(batch[4]), 255);
    EXPECT_EQ(batch.size(), 5 + 255 * 5);
}

TEST(OchFIFOJSONTest, ManyProducersOneConsumerLoseNothing) {
    OchFIFOJSON queue;
    queue.SetSizeOch(64);
    constexpr int kProducers = 3;
    constexpr int kEach = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (int k = 0; k < kEach;) {
                if (queue.PutSoob(QString::number(p) + u':' + QString::number(k))) {
                    ++k;
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }
    std::vector<int> next(kProducers, 0);
    int received = 0;
    QString message;
    while (received < kProducers * kEach) {
        if (!queue.GetSoobD(message)) {
            std::this_thread::yield();
            continue;
        }
        const int producer = message.section(u':', 0, 0).toInt();
        EXPECT_EQ(message.section(u':', 1).toInt(), next[producer]) << "each producer's order is kept";
        ++next[producer];
        ++received;
    }
    for (auto& producer : producers) {
        producer.join();
    }
    EXPECT_FALSE(queue.IsSoob());
}

}  // namespace
