#include "session/piece_buffer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <random>

namespace {

constexpr int kPiece = 7;
constexpr int kPieces = 40;

QByteArray Content() {
    QByteArray bytes(kPieces * kPiece - 3, '\0');  // the last piece is short
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = char((i * 13 + 5) & 0xFF);
    }
    return bytes;
}

// Feeds pieces (0-based numbers) the way the client does: a piece that does not continue the run
// flushes it first; the rest is flushed at the end.
QByteArray Receive(const std::vector<int>& order, qsizetype capacity) {
    const QByteArray content = Content();
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("f")));
    EXPECT_TRUE(file.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    EXPECT_TRUE(file.resize(content.size()));
    TPieceBuffer buffer(capacity);
    for (const int piece : order) {
        const QByteArrayView data = QByteArrayView(content)
                                        .sliced(piece * kPiece)
                                        .first(std::min<qsizetype>(kPiece, content.size() - piece * kPiece));
        if (!buffer.Continues(piece * kPiece, data.size())) {
            EXPECT_TRUE(buffer.Flush(file));
        }
        buffer.Append(piece * kPiece, data, piece + 1);
    }
    EXPECT_TRUE(buffer.Flush(file));
    EXPECT_TRUE(buffer.IsEmpty());
    file.close();
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

TEST(PieceBuffer, AnyOrderWithRepeatsGivesTheSameBytes) {
    std::vector<int> inOrder(kPieces);
    for (int i = 0; i < kPieces; ++i) {
        inOrder[size_t(i)] = i;
    }
    std::vector<int> reversed(inOrder.rbegin(), inOrder.rend());
    std::vector<int> shuffled = inOrder;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::vector<int> withRepeats;
    for (const int piece : inOrder) {
        withRepeats.push_back(piece);
        if (piece % 3 == 0) {
            withRepeats.push_back(piece);  // the same piece again at once
        }
        if (piece % 5 == 4) {
            withRepeats.push_back(piece - 4);  // an old piece sent again
        }
    }
    // Runs that break in the middle: pieces 10-19 first, then 0-9, then the rest.
    std::vector<int> runs;
    for (const int start : {10, 0, 20}) {
        for (int i = start; i < (start == 20 ? kPieces : start + 10); ++i) {
            runs.push_back(i);
        }
    }
    const struct {
        const char* what;
        const std::vector<int>& order;
    } cases[] = {{"in order", inOrder},
                 {"reversed", reversed},
                 {"shuffled", shuffled},
                 {"with repeats", withRepeats},
                 {"broken runs", runs}};
    // A capacity that holds everything, one that fills up within a run, and one of a single piece.
    for (const qsizetype capacity : {qsizetype(1 << 20), qsizetype(5 * kPiece), qsizetype(kPiece)}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", capacity " + std::to_string(capacity));
            EXPECT_EQ(Receive(c.order, capacity), Content());
        }
    }
}

TEST(PieceBuffer, AFailedWriteKeepsTheRunAndNamesItsPackets) {
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("f")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    TPieceBuffer buffer;
    EXPECT_TRUE(buffer.Flush(file)) << "nothing to write";
    buffer.Append(0, "abc", 1);
    buffer.Append(3, "def", 0);  // a repeated piece: not remembered
    buffer.Append(6, "g", 3);
    EXPECT_FALSE(buffer.Flush(file));
    EXPECT_FALSE(buffer.IsEmpty());
    EXPECT_EQ(buffer.Packets(), (std::vector<int32_t>{1, 3}));
    buffer.Clear();
    EXPECT_TRUE(buffer.IsEmpty());
    EXPECT_TRUE(buffer.Packets().empty());
    EXPECT_EQ(QFileInfo(file).size(), 0);
}

}  // namespace
