// One client's session: one message at a time, files before the changes queued behind them, the
// limit on offers, batching of record messages, and the receive side's reassembly and duplicates.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "server/files.h"
#include "server/record_messages.h"
#include "session_probe.h"

namespace {

QByteArray textPacket(int64_t number, int32_t count, int32_t n, int32_t size, const QByteArray& data,
                      DatagramHeader& h) {
    h = DatagramHeader{};
    h.PacketType = PacketTypes::Json;
    h.MessageNumber = number;
    h.PacketCount = count;
    h.PacketNumber = n;
    h.MessageSize = size;
    h.Offset = (n - 1) * kMaxDataBytes;
    h.DataSize = int32_t(data.size()) + 2;
    return data;
}

class ClientSessionTest : public ::testing::Test {
  protected:
    SessionProbe probe;
    MemoryBudget partials{3 * kMaxClientText / 2};
    ClientSession s{UdpAddress{0x7F000001, 5000}, probe.sender(), 0, partials};
};

TEST_F(ClientSessionTest, NextMessageWaitsForEveryAcknowledgement) {
    s.queueText(QStringLiteral("{\"$c$\":\"one\"}"));
    s.queueText(QStringLiteral("{\"$c$\":\"two\"}"));
    probe.acknowledge = false;
    probe.run(s, 50);
    ASSERT_EQ(probe.texts().size(), 1u);
    EXPECT_EQ(probe.texts()[0], QStringLiteral("{\"$c$\":\"one\"}"));
    probe.acknowledge = true;
    probe.run(s, 300);
    ASSERT_EQ(probe.texts().size(), 2u);
    EXPECT_EQ(probe.texts()[1], QStringLiteral("{\"$c$\":\"two\"}"));
    EXPECT_LT(probe.messages[0].number, probe.messages[1].number);
}

// The first re-send waits the first guess of 100 ms; once a message has been answered within a
// millisecond, a packet nobody answers goes again after the 50 ms minimum.
TEST_F(ClientSessionTest, ReSendsFollowTheMeasuredRoundTrip) {
    s.queueText(QStringLiteral("{\"$c$\":\"one\"}"));
    probe.run(s, 5);
    ASSERT_EQ(probe.texts().size(), 1u);
    probe.acknowledge = false;
    s.queueText(QStringLiteral("{\"$c$\":\"two\"}"));
    const int before = probe.packets;
    probe.run(s, 120);
    EXPECT_EQ(probe.packets - before, 3) << "sent, and again at 50 and 100 ms";
}

TEST_F(ClientSessionTest, ChangesWaitBehindAFile) {
    // In pieces (one of them empty) that packet boundaries cut across; no two neighbours alike.
    QByteArray snapshot;
    for (int i = 0; i < 5000; ++i) {
        snapshot.append(char(i * 7 % 251));
    }
    s.queueFile(OutgoingFile{QStringLiteral("gps_1.tbl"), {snapshot.left(1000), {}, snapshot.mid(1000)}, {}});
    s.queueRecord(QByteArray("\x02\x00\x00\x00rest", 8));
    probe.run(s);
    ASSERT_EQ(probe.messages.size(), 1u);
    EXPECT_EQ(probe.texts()[0], QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"gps_1.tbl\"}"));
    s.fileAccepted();
    probe.run(s);
    ASSERT_EQ(probe.messages.size(), 3u);
    EXPECT_EQ(probe.messages[1].type, PacketTypes::File);
    EXPECT_EQ(probe.messages[1].bytes, snapshot);
    EXPECT_EQ(probe.messages[2].type, PacketTypes::Raw);
    // A late second acceptance starts nothing.
    s.fileAccepted();
    probe.run(s);
    EXPECT_EQ(probe.messages.size(), 3u);
}

TEST_F(ClientSessionTest, AnUnansweredFileIsOfferedTenTimesThenGivenUp) {
    s.queueFile(OutgoingFile{QStringLiteral("a.jpg"), {QByteArray(10, 'x')}, {}});
    s.queueText(QStringLiteral("{\"$c$\":\"after\"}"));
    probe.run(s, 5000);
    const std::vector<QString> texts = probe.texts();
    ASSERT_EQ(texts.size(), size_t(kMaxOffers) + 1);
    EXPECT_EQ(texts.back(), QStringLiteral("{\"$c$\":\"after\"}"));
}

TEST_F(ClientSessionTest, RecordsDueTogetherGoAsOneBatch) {
    for (int i = 0; i < 3; ++i) {
        s.queueRecord(QByteArray("\x03\x00\x00\x00", 4) + QByteArray(13, char('a' + i)));
    }
    probe.run(s);
    ASSERT_EQ(probe.messages.size(), 1u);
    const QByteArray& m = probe.messages[0].bytes;
    EXPECT_EQ(uint8_t(m[0]), RecordKind::Batch);
    EXPECT_EQ(uint8_t(m[4]), 3);
}

TEST_F(ClientSessionTest, ReassemblesTextsAndDropsDuplicatesAndMisfits) {
    QByteArray text(2000, 'q');
    QString got;
    DatagramHeader h;
    for (int n = 3; n >= 1; --n) {
        const QByteArray piece =
            textPacket(5, 3, n, 2000, text.mid((n - 1) * kMaxDataBytes, kMaxDataBytes), h);
        EXPECT_EQ(s.takePacket(h, piece, got, 0),
                  n == 1 ? ClientSession::Take::Text : ClientSession::Take::Partial);
        if (n == 2) {
            EXPECT_EQ(s.takePacket(h, piece, got, 0), ClientSession::Take::Partial);
        }
    }
    EXPECT_EQ(got.size(), 2000);
    EXPECT_EQ(s.takePacket(h, text.left(80), got, 0), ClientSession::Take::Duplicate);

    // A piece outside its message or beyond its packet count is not stored (nor acknowledged).
    QByteArray piece = textPacket(6, 2, 3, 1000, QByteArray(10, 'x'), h);
    EXPECT_EQ(s.takePacket(h, piece, got, 0), ClientSession::Take::Drop);
    piece = textPacket(6, 2, 2, 1000, QByteArray(200, 'x'), h);
    EXPECT_EQ(s.takePacket(h, piece, got, 0), ClientSession::Take::Drop);
    piece = textPacket(7, 100000, 1, 1 << 30, QByteArray(10, 'x'), h);
    EXPECT_EQ(s.takePacket(h, piece, got, 0), ClientSession::Take::Drop);
}

// Texts a client leaves half sent hold memory: at most a megabyte a session and what the server's
// budget has left, and for half a minute at most; pieces that do not fit are not acknowledged.
TEST_F(ClientSessionTest, HalfSentTextsHoldLittleMemoryForALittleWhile) {
    QString got;
    DatagramHeader h;
    const QByteArray piece(kMaxDataBytes, 'x');
    const int32_t count = kMaxClientText / kMaxDataBytes + 1;
    textPacket(1, count, 1, kMaxClientText, piece, h);
    ASSERT_EQ(s.takePacket(h, piece, got, 0), ClientSession::Take::Partial);
    EXPECT_EQ(s.openTextBytes(), kMaxClientText);
    textPacket(2, 3, 1, 2000, piece, h);
    EXPECT_EQ(s.takePacket(h, piece, got, 0), ClientSession::Take::Drop) << "the session's megabyte is taken";

    SessionProbe other;
    ClientSession t{UdpAddress{0x7F000001, 5001}, other.sender(), 0, partials};
    textPacket(1, count, 1, kMaxClientText, piece, h);
    EXPECT_EQ(t.takePacket(h, piece, got, 0), ClientSession::Take::Drop)
        << "the budget has half a megabyte left";
    textPacket(2, 3, 1, 2000, piece, h);
    EXPECT_EQ(t.takePacket(h, piece, got, 0), ClientSession::Take::Partial);

    s.dropStaleTexts(kOpenTextTimeOutMs);
    EXPECT_EQ(s.openTextBytes(), kMaxClientText) << "not stale yet";
    s.dropStaleTexts(kOpenTextTimeOutMs + 1);
    EXPECT_EQ(s.openTextBytes(), 0);
    EXPECT_EQ(partials.used(), 2000);
    textPacket(3, count, 1, kMaxClientText, piece, h);
    EXPECT_EQ(s.takePacket(h, piece, got, kOpenTextTimeOutMs), ClientSession::Take::Partial);
}

TEST_F(ClientSessionTest, UploadPiecesLandInTheAcceptedFileOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("up.jpg"));
    const FilesFolder folder(dir.path(), ServerLimits{});
    DatagramHeader h;
    h.PacketType = PacketTypes::File;
    h.MessageNumber = 9;
    h.PacketCount = 2;
    h.MessageSize = 1000;
    QString text;
    h.PacketNumber = 1;
    EXPECT_EQ(s.takePacket(h, QByteArray(960, 'a'), text, 0), ClientSession::Take::Drop);
    s.acceptUpload(folder.startUpload(QStringLiteral("up.jpg"), QStringLiteral("admin")));
    EXPECT_EQ(s.takePacket(h, QByteArray(960, 'a'), text, 0), ClientSession::Take::FilePiece);
    h.PacketNumber = 2;
    h.Offset = 960;
    EXPECT_EQ(s.takePacket(h, QByteArray(40, 'b'), text, 0), ClientSession::Take::FileDone);
    EXPECT_EQ(s.takePacket(h, QByteArray(40, 'b'), text, 0), ClientSession::Take::Duplicate);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(960, 'a') + QByteArray(40, 'b'));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("up.jpg")});
}

TEST_F(ClientSessionTest, AnUploadOverTheLimitsOrAbandonedLeavesNoFile) {
    QTemporaryDir dir;
    ServerLimits limits;
    limits.maxUploadBytesPerUser = 500;
    const FilesFolder folder(dir.path(), limits);
    DatagramHeader h;
    h.PacketType = PacketTypes::File;
    h.MessageNumber = 9;
    h.PacketCount = 2;
    h.MessageSize = 1000;
    h.PacketNumber = 1;
    QString text;
    s.acceptUpload(folder.startUpload(QStringLiteral("big.jpg"), QStringLiteral("admin")));
    EXPECT_EQ(s.takePacket(h, QByteArray(960, 'a'), text, 0), ClientSession::Take::FileRefused);
    EXPECT_FALSE(s.uploadPending());

    // Accepted, and then no piece comes.
    s.acceptUpload(folder.startUpload(QStringLiteral("small.jpg"), QStringLiteral("admin")));
    s.dropStaleTexts(1000);
    EXPECT_TRUE(s.uploadPending());
    s.dropStaleTexts(1000 + kUploadIdleMs + 1);
    EXPECT_FALSE(s.uploadPending());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
