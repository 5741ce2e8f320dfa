// The loop's routing of server texts and the dispatcher's answers.
#include "client_fixture.h"

namespace {

using Dispatch = ClientFixture;

QString Padded(const QString& command, int size) {
    const QString head = QStringLiteral("{\"$c$\":\"") + command + QStringLiteral("\",\"pad\":\"");
    return head + QString(size - head.size() - 2, u'x') + QStringLiteral("\"}");
}

enum class Queue { ReadJSON, ReadJSONData };

struct RouteCase {
    const char* name;
    QString sent;
    Queue queue;
    QString expected;
};

class Routing : public ClientFixture, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(Routing, ServerTextReachesItsQueue) {
    MakeClient();
    Login();
    QString drained;
    while (client->ReadJSON.GetSoobD(drained)) {
    }
    peer.SendText(GetParam().sent);
    OchFIFOJSON& queue = GetParam().queue == Queue::ReadJSON ? client->ReadJSON : client->ReadJSONData;
    QString got;
    ASSERT_TRUE(PumpUntil([&] { return queue.GetSoobD(got); }));
    EXPECT_EQ(got, GetParam().expected);
    EXPECT_FALSE(client->AD);
}

const QString kLongNewlk = Padded(QStringLiteral("newlk"), 2000);
const QString kLongOther = Padded(QStringLiteral("accessdenied"), 1500);

INSTANTIATE_TEST_SUITE_P(
    Texts, Routing,
    ::testing::Values(
        RouteCase{"newlk_single", QStringLiteral("{\"$c$\":\"newlk\"}"), Queue::ReadJSONData,
                  QStringLiteral("{\"$c$\":\"newlk\"}")},
        RouteCase{"newlk_long", kLongNewlk, Queue::ReadJSONData, kLongNewlk},
        // A long text that is not a command goes to the main window without being acted on.
        RouteCase{"long_not_dispatched", kLongOther, Queue::ReadJSON, kLongOther},
        RouteCase{"unknown", QStringLiteral("{\"$c$\":\"whatever\",\"a\":[1,2]}"), Queue::ReadJSON,
                  QStringLiteral("{\"$c$\":\"whatever\",\"a\":[1,2]}")},
        RouteCase{"mobiltech", QStringLiteral("{\"$c$\":\"mobiltech\",\"data\":{\"a\":1,\"b\":\"c\"}}"),
                  Queue::ReadJSON, QStringLiteral("\"a\":1,\"b\":\"c\"")},
        RouteCase{"sendfilenotfind", QStringLiteral("{\"$c$\":\"sendfilenotfind\",\"name\":\"x\"}"),
                  Queue::ReadJSON, QStringLiteral("{\"$c$\":\"sendfilenotfind\",\"name\":\"x\"}")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dispatch, ATestAnswerNamingAFileRequestsIt) {
    MakeClient();
    Login();
    // Long enough for several packets: a multi-packet text with "testex" is still a command.
    QString answer =
        QStringLiteral("{\"$c$\":\"testex\",\"messages\":{\"filename\":\"ev1.dat\"},\"queue\":[\"") +
        QString(1200, u'q') + QStringLiteral("\"]}");
    peer.SendText(answer);
    auto get = peer.AwaitCommand(QStringLiteral("getfile"), Pump());
    ASSERT_TRUE(get);
    EXPECT_EQ(get->Text(), QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\") + kTid +
                               QStringLiteral("\\\\ev1.dat\",\"tid\":\"") + kTid +
                               QStringLiteral("\",\"name\":\"ev1.dat\",\"delete\":1}"));
    EXPECT_EQ(AwaitNotice(QStringLiteral("tosoob")),
              QStringLiteral("{\"$c$\":\"tosoob\",\"data\":\"messages\"}"));
    EXPECT_EQ(client->MessagesRefreshFileName, QStringLiteral("ev1.dat"));
}

TEST_F(Dispatch, ATestAnswerWithoutAFileNameCausesNothing) {
    MakeClient();
    Login();
    peer.SendText(QStringLiteral("{\"$c$\":\"testex\"}"));
    peer.SendText(QStringLiteral("{\"$c$\":\"testex\",\"messages\":{\"filename\":\"\"}}"));
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("getfile"), Pump(), 200));
    EXPECT_TRUE(AwaitNotice(QStringLiteral("tosoob"), 50).isEmpty());
}

TEST_F(Dispatch, FileRequestsFromTheServerGoToTheSendQueues) {
    MakeClient();
    Login();
    client->DispatchJSON(QStringLiteral("{\"$c$\":\"historyfromfile\",\"filename\":\"h\\\\1.dat\"}"));
    client->DispatchJSON(
        QStringLiteral("{\"$c$\":\"getarchiveok\",\"name\":\"arc\",\"filename\":\"a\\\\b.arh\"}"));
    client->DispatchJSON(QStringLiteral("{\"$c$\":\"filetoserver\",\"name\":\"x\",\"nameinserv\":\"y\"}"));
    QString m;
    ASSERT_TRUE(client->Soob.GetSoobD(m));
    EXPECT_EQ(m, QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"h\\\\1.dat\",\"tid\":\"") + kTid +
                     QStringLiteral("\"}"));
    ASSERT_TRUE(client->Soob.GetSoobD(m));
    EXPECT_EQ(m, QStringLiteral(
                     "{\"$c$\":\"getfile\",\"nameinserv\":\"a\\\\b.arh\",\"name\":\"b.arh\",\"delete\":1}"));
    EXPECT_EQ(client->ArchiveFileName, QStringLiteral("b.arh"));
    EXPECT_EQ(client->ArchiveName, QStringLiteral("arc"));
    ASSERT_TRUE(client->SoobFile.GetSoobD(m));
    EXPECT_EQ(m, QStringLiteral("{\"$c$\":\"filetoserver\",\"name\":\"x\",\"nameinserv\":\"y\"}"));
    // Nothing outside the working directory is handed out on the server's request.
    for (const char* name : {"\\/etc\\/passwd", "..\\/x", "a\\/..\\/..\\/x", ""}) {
        client->DispatchJSON(QStringLiteral("{\"$c$\":\"filetoserver\",\"name\":\"") +
                             QString::fromLatin1(name) + QStringLiteral("\",\"nameinserv\":\"y\"}"));
    }
    EXPECT_FALSE(client->SoobFile.IsSoob());
}

TEST_F(Dispatch, AnArchiveIsSplitIntoItsThreeParts) {
    MakeClient();
    Login();
    client->DispatchJSON(
        QStringLiteral("{\"$c$\":\"getarchiveok\",\"name\":\"arc\",\"filename\":\"a\\\\b.arh\"}"));
    QByteArray archive(55, '\0');
    archive[0] = 3;
    archive.replace(1, 3, "day");
    const int32_t sizes[3] = {2, 0, 3};
    const int at[3] = {35, 43, 51};
    for (int k = 0; k < 3; ++k) {
        for (int b = 0; b < 4; ++b) {
            archive[at[k] + b] = char(uint32_t(sizes[k]) >> (8 * b));
        }
    }
    archive += "ABxyz";
    peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"b.arh\"}"));
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("startrecivefile"), Pump()));
    peer.SendBytes(PacketTypes::File, archive);
    EXPECT_EQ(AwaitNotice(QStringLiteral("archiveload")),
              QStringLiteral("{\"$c$\":\"archiveload\",\"name\":\"arc\"}"));
    const QString folder = QStringLiteral("temp/127.0.0.1-") + QString::number(peer.Port()) + u'/';
    auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
    };
    EXPECT_EQ(read(folder + QStringLiteral("day.fm8")), QByteArray("AB"));
    EXPECT_EQ(read(folder + QStringLiteral("day.fp8")), QByteArray());
    EXPECT_EQ(read(folder + QStringLiteral("day.fz8")), QByteArray("xyz"));
    EXPECT_FALSE(QFile::exists(QStringLiteral("temp/b.arh")));
}

TEST_F(Dispatch, CommandsFromTheTablesAndTheWindowLeaveAsMessagesAfterRegistration) {
    MakeClient();
    Login();
    client->GFBaseNetDataSend9(nullptr,
                               QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\"}"));
    const QString longText = Padded(QStringLiteral("note"), 961);
    client->Soob.PutSoob(longText);
    auto edit = peer.AwaitCommand(QStringLiteral("database"), Pump());
    ASSERT_TRUE(edit);
    EXPECT_GT(edit->number, 1);
    auto note = peer.AwaitCommand(QStringLiteral("note"), Pump());
    ASSERT_TRUE(note);
    EXPECT_EQ(note->packets, 2);
    EXPECT_EQ(note->Text(), longText);
    EXPECT_TRUE(PumpUntil([this] { return !client->Soob.IsSoob() && !client->Window.PacketSend.start; }));
}

// After an idle pass the loop waits on LoopWake: every way work reaches it must signal it, or the
// work waits for the time-out.
TEST_F(Dispatch, EveryWayWorkReachesTheLoopWakesIt) {
    MakeClient();
    const std::chrono::microseconds instant(0);
    const QString command = QStringLiteral("{\"$c$\":\"database\",\"command\":\"netadddatadatabase\"}");
    const struct {
        const char* what;
        std::function<void()> put;
    } ways[] = {
        {"a table's command", [&] { client->GFBaseNetDataSend9(nullptr, command); }},
        {"a command put straight into Soob", [&] { client->Soob.PutSoob(command); }},
        {"a file put into SoobFile",
         [&] { client->SoobFile.PutSoob(QStringLiteral("{\"$c$\":\"putfile\"}")); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        client->LoopWake.Wait(instant);
        EXPECT_FALSE(client->LoopWake.Wait(instant));
        way.put();
        EXPECT_TRUE(client->LoopWake.Wait(instant));
    }
    // A datagram from the server: the receiving thread signals once it has queued its batch.
    peer.SendText(QStringLiteral("{\"$c$\":\"hello\"}"), PacketTypes::JsonBeforeLogin);
    EXPECT_TRUE(client->LoopWake.Wait(std::chrono::microseconds(10'000'000)));
}

TEST_F(Dispatch, TheClientThreadRunsTheLoopUntilTerminatedAndSaysGoodbye) {
    // Real time here: the thread measures its own tick rate.
    SetTicksSource({});
    client = client_udp::Create(kAppId, QStringLiteral("127.0.0.1"), peer.Port());
    client->username.Set(QStringLiteral("oper"));
    client->Connect = true;
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("reg"), {}));
    peer.SendText(QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + kTid +
                  QStringLiteral("\",\"version\":\"7\"}"));
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("testex"), {}));
    EXPECT_TRUE(client->Connected);
    EXPECT_TRUE(client->DatabaseLoad);
    client->Soob.PutSoob(Padded(QStringLiteral("note"), 3000));
    auto note = peer.AwaitCommand(QStringLiteral("note"), {});
    ASSERT_TRUE(note);
    EXPECT_EQ(note->packets, 4);
    client->Stop();
    EXPECT_TRUE(peer.AwaitCommand(QStringLiteral("closeclient"), {}));
}

}  // namespace
