// Files in both directions: the server's offers and pieces, the client's offers from SoobFile.
#include <QDir>
#include <QFile>
#include <algorithm>

#include "client_fixture.h"
#include "infra/codepage.h"

namespace {

QByteArray Pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 7 + 3) & 0xFF);
    }
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class FileTransfer : public ClientFixture {
  protected:
    void SetUp() override {
        ClientFixture::SetUp();
        MakeClient();
        Login();
    }
    // The server offers a file under this name; true when the client accepted the offer.
    bool Offer(const QString& name) {
        peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"") + StrToJSONStr(name) +
                      QStringLiteral("\"}"));
        return peer.AwaitCommand(QStringLiteral("startrecivefile"), Pump(), 1000).has_value();
    }
};

class ServerToClient : public FileTransfer, public ::testing::WithParamInterface<int> {};

TEST_P(ServerToClient, FileLandsInTempWithOneNotice) {
    const QByteArray content = Pattern(GetParam());
    ASSERT_TRUE(Offer(QStringLiteral("photo.jpg")));
    peer.SendBytes(PacketTypes::File, content);
    EXPECT_EQ(AwaitNotice(QStringLiteral("getfileok")),
              QStringLiteral("{\"$c$\":\"getfileok\",\"name\":\"photo.jpg\"}"));
    EXPECT_EQ(ReadAll(QStringLiteral("temp/photo.jpg")), content);
    EXPECT_EQ(client->ReciveSize, GetParam());
    EXPECT_EQ(client->ResendPacket, 0);
    EXPECT_TRUE(AwaitNotice(QStringLiteral("getfileok"), 100).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ServerToClient, ::testing::Values(0, 1, 960, 961, 5000));

// A file of the name offered is replaced, not written over: a longer old file leaves no tail, and a
// reader that still has the old one mapped (a table being loaded) keeps reading the old bytes.
TEST_F(FileTransfer, AnExistingFileIsReplacedAndItsMappingKept) {
    const QByteArray old = Pattern(5000);
    QDir().mkpath(QStringLiteral("temp"));
    QFile previous(QStringLiteral("temp/gps_2.tbl"));
    ASSERT_TRUE(previous.open(QIODevice::ReadWrite));
    ASSERT_EQ(previous.write(old), old.size());
    previous.flush();
    const uchar* mapped = previous.map(0, old.size());
    ASSERT_NE(mapped, nullptr);

    ASSERT_TRUE(Offer(QStringLiteral("gps_2.tbl")));
    peer.SendBytes(PacketTypes::File, "new");
    EXPECT_FALSE(AwaitNotice(QStringLiteral("getfileok")).isEmpty());
    EXPECT_EQ(ReadAll(QStringLiteral("temp/gps_2.tbl")), QByteArray("new"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(mapped), old.size()), old);
}

TEST_F(FileTransfer, ServerNamesAreCutToTheirLastComponent) {
    ASSERT_TRUE(Offer(QStringLiteral("..\\..\\x/y:evil.txt")));
    peer.SendBytes(PacketTypes::File, "abc");
    EXPECT_EQ(AwaitNotice(QStringLiteral("getfileok")),
              QStringLiteral("{\"$c$\":\"getfileok\",\"name\":\"evil.txt\"}"));
    EXPECT_EQ(ReadAll(QStringLiteral("temp/evil.txt")), QByteArray("abc"));
    // Names that cannot stay inside "temp" are not accepted: only the last offer is answered.
    for (const char* name : {"..", "a\\.", "dir/", ""}) {
        peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"") +
                      StrToJSONStr(QString::fromLatin1(name)) + QStringLiteral("\"}"));
    }
    ASSERT_TRUE(Offer(QStringLiteral("last.txt")));
    const auto stray = std::count_if(peer.messages.begin(), peer.messages.end(),
                                     [](const PeerMessage& m) { return m.Command() == u"startrecivefile"; });
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(client->FileNameRecive, QStringLiteral("last.txt"));
    EXPECT_TRUE(client->Connected);
}

TEST_F(FileTransfer, APieceWithoutAnOfferDropsWithCodeFour) {
    peer.SendBytes(PacketTypes::File, "abc");
    EXPECT_EQ(AwaitNotice(QStringLiteral("disconnected")),
              QStringLiteral("{\"$c$\":\"disconnected\",\"p\":4}"));
}

TEST_F(FileTransfer, TheEleventhOfferWithoutAPieceDropsWithCodeTwelve) {
    for (int i = 1; i <= 10; ++i) {
        ASSERT_TRUE(Offer(QStringLiteral("f.bin"))) << i;
    }
    EXPECT_TRUE(client->Connected);
    peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"f.bin\"}"));
    EXPECT_EQ(AwaitNotice(QStringLiteral("disconnected")),
              QStringLiteral("{\"$c$\":\"disconnected\",\"p\":12}"));
    EXPECT_EQ(client->StartfileCount, 0);
}

TEST_F(FileTransfer, AFileTooLargeIsNeverCreated) {
    ASSERT_TRUE(Offer(QStringLiteral("big.bin")));
    DatagramHeader header;
    header.PacketType = PacketTypes::File;
    header.MessageSize = int32_t(kMaxFileSize) + 1;
    header.MessageNumber = peer.nextNumber++;
    header.PacketCount = header.MessageSize / kMaxDataBytes + 1;
    header.PacketNumber = 1;
    peer.SendPacket(header, "abc");
    PumpUntil([] { return false; }, 100);
    EXPECT_FALSE(QFile::exists(QStringLiteral("temp/big.bin")));
    EXPECT_TRUE(client->Connected);
}

// Sends pieces (1-based packet numbers) of one file message, in the order given.
void SendPieces(ScriptedPeer& peer, const QByteArray& content, int64_t number,
                const std::vector<int>& order) {
    const int32_t count = int32_t((content.size() - 1) / kMaxDataBytes + 1);
    for (const int packet : order) {
        DatagramHeader header;
        header.PacketType = PacketTypes::File;
        header.Offset = (packet - 1) * kMaxDataBytes;
        header.MessageSize = int32_t(content.size());
        header.MessageNumber = number;
        header.PacketCount = count;
        header.PacketNumber = packet;
        peer.SendPacket(header, content.mid(header.Offset, kMaxDataBytes));
    }
}

TEST_F(FileTransfer, PiecesOutOfOrderAndRepeatedGiveTheSameFile) {
    constexpr int kCount = 40;
    const QByteArray content = Pattern(kCount * kMaxDataBytes - 100);
    // Runs in order broken by gaps, a piece out of order, repeats at once and of older pieces; the
    // last piece to arrive (30) completes the file.
    std::vector<int> order;
    for (int p = 31; p <= kCount; ++p) {
        order.push_back(p);
    }
    order.push_back(35);
    for (int p = 1; p <= 29; ++p) {
        order.push_back(p);
        if (p % 7 == 0) {
            order.push_back(p);
        }
    }
    order.push_back(1);
    order.push_back(kCount);
    order.push_back(30);
    const int repeats = int(order.size()) - kCount;
    ASSERT_TRUE(Offer(QStringLiteral("mixed.bin")));
    SendPieces(peer, content, peer.nextNumber++, order);
    EXPECT_EQ(AwaitNotice(QStringLiteral("getfileok")),
              QStringLiteral("{\"$c$\":\"getfileok\",\"name\":\"mixed.bin\"}"));
    EXPECT_EQ(ReadAll(QStringLiteral("temp/mixed.bin")), content);
    EXPECT_EQ(client->ResendPacket, repeats);
}

TEST_F(FileTransfer, WhatArrivedOfAnAbandonedFileIsOnTheDisk) {
    const QByteArray content = Pattern(20 * kMaxDataBytes);
    ASSERT_TRUE(Offer(QStringLiteral("half.bin")));
    std::vector<int> firstHalf;
    for (int p = 1; p <= 10; ++p) {
        firstHalf.push_back(p);
    }
    SendPieces(peer, content, peer.nextNumber++, firstHalf);
    ASSERT_TRUE(PumpUntil([this] { return client->SizePLoad == 10 * kMaxDataBytes; }));
    // A new offer while a file is still open drops the session and, with it, the file.
    peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"other.bin\"}"));
    ASSERT_TRUE(PumpUntil([this] { return !client->Connected; }));
    EXPECT_FALSE(client->fstreamRecive);
    const QByteArray onDisk = ReadAll(QStringLiteral("temp/half.bin"));
    ASSERT_EQ(onDisk.size(), content.size());
    EXPECT_EQ(onDisk.first(10 * kMaxDataBytes), content.first(10 * kMaxDataBytes));
    EXPECT_EQ(onDisk.sliced(10 * kMaxDataBytes), QByteArray(10 * kMaxDataBytes, '\0'));
}

TEST_F(FileTransfer, PiecesThatCouldNotBeWrittenAreMissingUntilTheyComeAgain) {
    const QByteArray content = Pattern(10 * kMaxDataBytes);
    const QString path = QStringLiteral("temp/again.bin");
    ASSERT_TRUE(Offer(QStringLiteral("again.bin")));
    const int64_t number = peer.nextNumber++;
    SendPieces(peer, content, number, {1});
    ASSERT_TRUE(PumpUntil([this] { return client->SizePLoad == kMaxDataBytes; }));
    // From here on the disk refuses: the client writes through a read-only handle on the same file.
    auto refusing = std::make_unique<QFile>(path);
    ASSERT_TRUE(refusing->open(QIODevice::ReadOnly));
    client->fstreamRecive = std::move(refusing);
    SendPieces(peer, content, number, {2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_TRUE(PumpUntil([this] { return client->SizePLoad == 10 * kMaxDataBytes; }));
    EXPECT_TRUE(AwaitNotice(QStringLiteral("getfileok"), 200).isEmpty()) << "a file with lost bytes was used";
    EXPECT_FALSE(client->Reassembly.FileRsM.Complete());
    EXPECT_EQ(client->perload, 0);
    // The disk works again and the pieces come once more.
    auto writable = std::make_unique<QFile>(path);
    ASSERT_TRUE(writable->open(QIODevice::ReadWrite));
    client->fstreamRecive = std::move(writable);
    SendPieces(peer, content, number, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(AwaitNotice(QStringLiteral("getfileok")),
              QStringLiteral("{\"$c$\":\"getfileok\",\"name\":\"again.bin\"}"));
    EXPECT_EQ(ReadAll(path), content);
}

class ClientToServer : public FileTransfer, public ::testing::WithParamInterface<int> {};

TEST_P(ClientToServer, PutFileGoesOutInPiecesAfterAcceptance) {
    const QByteArray content = Pattern(GetParam());
    QFile local(QStringLiteral("up.jpg"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write(content);
    local.close();
    client->SoobFile.PutSoob(QStringLiteral(
        "{\"$c$\":\"putfile\",\"name\":\"up.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\up.jpg\"}"));
    auto offer = peer.AwaitCommand(QStringLiteral("sendfile"), Pump());
    ASSERT_TRUE(offer);
    EXPECT_EQ(
        offer->Text(),
        QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"up.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\up."
                       "jpg\",\"tid\":\"") +
            kTid + QStringLiteral("\"}"));
    peer.SendText(QStringLiteral("{\"$c$\":\"startrecivefile\"}"));
    auto file = peer.Await([](const PeerMessage& m) { return m.type == PacketTypes::File; }, Pump());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->bytes, content);
    EXPECT_EQ(file->packets, GetParam() <= 960 ? 1 : (GetParam() - 1) / 960 + 1);
    EXPECT_EQ(AwaitNotice(QStringLiteral("sendfileok")),
              QStringLiteral(
                  "{\"$c$\":\"sendfileok\",\"name\":\"up.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\up.jpg\","
                  "\"size\":") +
                  QString::number(GetParam()) + u'}');
    EXPECT_FALSE(client->SoobFile.IsSoob());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ClientToServer, ::testing::Values(0, 960, 961, 3000));

TEST_F(FileTransfer, AMissingLocalFileIsDroppedSilentlyAndTheNextEntryGoes) {
    QFile local(QStringLiteral("there.jpg"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.close();
    client->SoobFile.PutSoob(
        QStringLiteral("{\"$c$\":\"putfile\",\"name\":\"missing.jpg\",\"nameinserv\":\"a\"}"));
    client->SoobFile.PutSoob(
        QStringLiteral("{\"$c$\":\"putfile\",\"name\":\"there.jpg\",\"nameinserv\":\"b\"}"));
    auto offer = peer.AwaitCommand(QStringLiteral("sendfile"), Pump());
    ASSERT_TRUE(offer);
    EXPECT_EQ(GetJSONValue(offer->Text(), QStringLiteral("name")), QStringLiteral("there.jpg"));
    EXPECT_EQ(client->SoobFile.CountSoob(), 1);
    QString notice;
    while (client->ReadJSON.GetSoobD(notice)) {
        EXPECT_EQ(GetJSONValue(notice, QStringLiteral("$c$")), QStringLiteral("connected"));
    }
}

TEST_F(FileTransfer, AnUnansweredOfferIsRepeatedAfterTheTimeOut) {
    QFile local(QStringLiteral("up.jpg"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.close();
    client->SoobFile.PutSoob(
        QStringLiteral("{\"$c$\":\"putfile\",\"name\":\"up.jpg\",\"nameinserv\":\"b\"}"));
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("sendfile"), Pump()));
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("sendfile"), Pump(), 100));
    Advance(client->Window.PacketTimeOut);
    EXPECT_TRUE(peer.AwaitCommand(QStringLiteral("sendfile"), Pump()));
}

// An upload that cannot go is given up with a notice that says why, and the entry behind it goes out.
struct UploadCase {
    const char* name;
    const char* reason;
};

class UploadGivenUp : public FileTransfer, public ::testing::WithParamInterface<UploadCase> {
  protected:
    static void WriteFile(const QString& path) {
        QFile local(path);
        ASSERT_TRUE(local.open(QIODevice::WriteOnly));
        local.write("jpeg");
    }
};

TEST_P(UploadGivenUp, IsReportedAndTheNextEntryGoes) {
    const QString reason = QLatin1String(GetParam().reason);
    // A local path longer than one datagram can carry in an offer.
    QString path = QStringLiteral("up.jpg");
    if (reason == u"too long") {
        QString folder;
        for (int i = 0; i < 5; ++i) {
            folder += QString(200, QChar(u'a' + i)) + u'/';
        }
        ASSERT_TRUE(QDir().mkpath(folder));
        path = folder + path;
    }
    WriteFile(path);
    WriteFile(QStringLiteral("next.jpg"));
    const QString entry = QStringLiteral("{\"$c$\":\"putfile\",\"name\":\"") + StrToJSONStr(path) +
                          QStringLiteral("\",\"nameinserv\":\"a\"}");
    client->SoobFile.PutSoob(entry);
    client->SoobFile.PutSoob(
        QStringLiteral("{\"$c$\":\"putfile\",\"name\":\"next.jpg\",\"nameinserv\":\"b\"}"));
    if (reason != u"too long") {
        ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("sendfile"), Pump()));
    }
    if (reason == u"refused") {
        peer.SendText(QStringLiteral("{\"$c$\":\"startrecivefileerror\"}"));
    } else if (reason == u"unreadable") {
        // The file goes away between the offer and the acceptance, and stays away.
        ASSERT_TRUE(QFile::remove(path));
        peer.SendText(QStringLiteral("{\"$c$\":\"startrecivefile\"}"));
        ASSERT_TRUE(PumpUntil([this] { return client->UploadOpenFailedAt != 0; }));
        EXPECT_TRUE(AwaitNotice(QStringLiteral("sendfileerror"), 100).isEmpty());
        Advance(uint64_t(kUploadOpenPatienceMs) + 1);
    }
    const QString notice = AwaitNotice(QStringLiteral("sendfileerror"));
    EXPECT_EQ(GetJSONValue(notice, QStringLiteral("name")), path);
    EXPECT_EQ(GetJSONValue(notice, QStringLiteral("nameinserv")), QStringLiteral("a"));
    EXPECT_EQ(GetJSONValue(notice, QStringLiteral("reason")), reason);
    EXPECT_TRUE(client->Connected);
    auto next = peer.AwaitCommand(QStringLiteral("sendfile"), Pump());
    ASSERT_TRUE(next);
    EXPECT_EQ(GetJSONValue(next->Text(), QStringLiteral("nameinserv")), QStringLiteral("b"));
}

INSTANTIATE_TEST_SUITE_P(Reasons, UploadGivenUp,
                         ::testing::Values(UploadCase{"RefusedByTheServer", "refused"},
                                           UploadCase{"GoneAfterTheOffer", "unreadable"},
                                           UploadCase{"PathTooLongForAnOffer", "too long"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileTransfer, ServerErrorsOutsideAnUploadDropTheSession) {
    for (const char* error : {"startrecivefileerror2", "startrecivefileerror"}) {
        peer.SendText(QStringLiteral("{\"$c$\":\"%1\"}").arg(QLatin1String(error)));
        EXPECT_EQ(AwaitNotice(QStringLiteral("disconnected")),
                  QStringLiteral("{\"$c$\":\"disconnected\",\"p\":%1}")
                      .arg(QLatin1String(error).endsWith(u'2') ? 9 : 12));
        Login();
    }
}

}  // namespace
