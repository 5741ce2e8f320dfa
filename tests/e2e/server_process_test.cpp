// The built server as a process on 127.0.0.1, driven by the system's own session client: login and
// load of the six tables, a cached second load that carries no data, an edit on one client reaching
// another, a photo round trip, a refused password, and a load through lost, doubled and reordered
// datagrams.
#include <QFile>
#include <QSet>
#include <chrono>
#include <thread>

#include "harness.h"
#include "infra/json_text.h"
#include "server/schema.h"
#include "session_client.h"
#include "tables/base_client.h"
#include "tables/field.h"
#include "tests/server/wire_client.h"

namespace {

const QString kAdmin = QStringLiteral("admin");

class ServerProcessTest : public E2eTest {
  protected:
    std::unique_ptr<ServerProcess> startServer(const QStringList& extra = {}) {
        return StartServer(QStringList{QStringLiteral("--demo")} + extra);
    }
    // A client logged in as the demo's administrator; every client of a test shares one cache folder.
    std::unique_ptr<SessionClient> client(const QString& password = kAdmin) {
        return std::make_unique<SessionClient>(Path(QStringLiteral("client")), QStringLiteral("127.0.0.1"),
                                               port_, kAdmin, password);
    }
};

TEST_F(ServerProcessTest, LoadsSixTablesThenOnlyDigestsFromTheCache) {
    auto server = startServer();
    ASSERT_TRUE(server);
    int64_t coldBytes = 0;
    {
        auto a = client();
        ASSERT_TRUE(a->Loaded()) << server->Log().toStdString();
        for (const QString& name : kSixTables) {
            EXPECT_GT(a->Count(qPrintable(name)), 0) << name.toStdString();
        }
        EXPECT_EQ(a->Text("gps", "name", 1).isEmpty(), false);
        coldBytes = a->c->SizePLoad;
    }
    auto b = client();
    ASSERT_TRUE(b->Loaded());
    // Nothing changed: every file holds the header and the column list only.
    int64_t structureOnly = 0;
    for (const TableDef& t : ServerTables()) {
        structureOnly += 21 + 37 * int64_t(t.columns.size());
    }
    EXPECT_EQ(b->c->SizePLoad, structureOnly);
    EXPECT_GT(coldBytes, structureOnly);
    EXPECT_EQ(b->Count("gpeople"), 10);
}

TEST_F(ServerProcessTest, WrongPasswordIsRefused) {
    auto server = startServer();
    ASSERT_TRUE(server);
    auto a = client(QStringLiteral("nope"));
    EXPECT_TRUE(WaitFor([&] { return a->c->AD.load(); }, 10));
    EXPECT_FALSE(a->c->Connected);
}

TEST_F(ServerProcessTest, EditsReachEveryClientAndAreConfirmed) {
    auto server = startServer();
    ASSERT_TRUE(server);
    auto a = client();
    ASSERT_TRUE(a->Loaded());
    auto b = client();
    ASSERT_TRUE(b->Loaded());

    TBaseClient* gps = a->Table("gps");
    {
        auto guard = gps->Guard();
        gps->SetRecordIndex(2);
        gps->Edit();
        gps->GetFieldNumberCurrent(9)->SetAsString(QStringLiteral("Экипаж \"Север\" / 7"));
        gps->Post();
    }
    EXPECT_TRUE(
        WaitFor([&] { return b->Text("gps", "name", 2) == QStringLiteral("Экипаж \"Север\" / 7"); }, 10));
    EXPECT_TRUE(
        a->Notice(QStringLiteral("\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gps\",\"n_abs\":2"), 10));

    TBaseClient* people = a->Table("gpeople");
    {
        auto guard = people->Guard();
        people->Add();
        people->GetField(QStringLiteral("fio"), 0)->SetAsString(QStringLiteral("Орлова Анна Сергеевна"));
        people->GetField(QStringLiteral("tel"), 0)->SetAsString(QStringLiteral("+79120000000"));
        people->Post();
    }
    ASSERT_TRUE(a->Notice(QStringLiteral("\"nametable\":\"gpeople\",\"n_abs\":11"), 10));
    EXPECT_TRUE(WaitFor(
        [&] { return b->Text("gpeople", "fio", 11) == QStringLiteral("Орлова Анна Сергеевна"); }, 10));
    EXPECT_EQ(a->Text("gpeople", "fio", 11), QStringLiteral("Орлова Анна Сергеевна"));

    TBaseClient* members = a->Table("gpsug");
    int32_t visibleBefore = 0;
    {
        auto guard = members->Guard();
        visibleBefore = members->CountRecordFilter;
        members->SetRecordIndex(1);
        members->DeleteRecordCurrent();
    }
    EXPECT_TRUE(WaitFor([&] { return b->Count("gpsug") == visibleBefore - 1; }, 10));
}

TEST_F(ServerProcessTest, PhotoUploadedAndFetchedBackIsIdentical) {
    auto server = startServer();
    ASSERT_TRUE(server);
    auto a = client();
    ASSERT_TRUE(a->Loaded());
    QByteArray photo;
    for (int i = 0; i < 70000; ++i) {
        photo.append(char(i * 7 + i / 13));
    }
    QFile f(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(photo);
    f.close();
    const QString serverPath = QStringLiteral("photo\\\\mobile\\\\A1.jpg");
    a->c->SoobFile.PutSoob(QStringLiteral("{\"$c$\":\"putfile\",\"nameinserv\":\"") + serverPath +
                           QStringLiteral("\",\"name\":\"photo.jpg\"}"));
    ASSERT_TRUE(a->Notice(QStringLiteral("sendfileok"), 15));
    a->c->Soob.PutSoob(QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"") + serverPath +
                       QStringLiteral("\",\"name\":\"back.jpg\"}"));
    ASSERT_TRUE(a->Notice(QStringLiteral("\"getfileok\",\"name\":\"back.jpg\""), 15));
    QFile back(QStringLiteral("temp/back.jpg"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), photo);

    // A path that leaves the files folder is refused.
    a->c->Soob.PutSoob(
        QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"..\\\\server.db\",\"name\":\"x.db\"}"));
    EXPECT_TRUE(a->Notice(QStringLiteral("sendfilenotfind"), 10));
}

TEST_F(ServerProcessTest, LoadsThroughLostDoubledAndReorderedDatagrams) {
    // Moderate loss keeps the test short: a lost registration costs the client a 4-second retry.
    auto server = startServer({QStringLiteral("--loss"), QStringLiteral("0.05"), QStringLiteral("--dup"),
                               QStringLiteral("0.1"), QStringLiteral("--reorder"), QStringLiteral("0.1"),
                               QStringLiteral("--delay-ms"), QStringLiteral("1"), QStringLiteral("--seed"),
                               QStringLiteral("5")});
    ASSERT_TRUE(server);
    auto a = client();
    ASSERT_TRUE(a->Loaded(60)) << server->Log().toStdString();
    for (const QString& name : kSixTables) {
        EXPECT_GT(a->Count(qPrintable(name)), 0) << name.toStdString();
    }
}

TEST_F(ServerProcessTest, FiftyClientsAtOnceAndStrangersHearNothing) {
    auto server = startServer();
    ASSERT_TRUE(server);
    std::vector<std::unique_ptr<WireClient>> clients;
    for (int i = 0; i < 50; ++i) {
        clients.push_back(std::make_unique<WireClient>(port_));
        clients.back()->send(
            QStringLiteral("{\"$c$\":\"reg\",\"id\":\"c%1\",\"username\":\"admin\","
                           "\"password\":\"admin\",\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
                .arg(i));
    }
    auto all = [&](const QString& part) {
        return WaitFor(
            [&] {
                for (auto& c : clients) {
                    c->poll();
                    if (!c->has(part)) {
                        return false;
                    }
                }
                return true;
            },
            10);
    };
    ASSERT_TRUE(all(QStringLiteral("\"$c$\":\"regok\"")));
    QSet<QString> tids;
    for (auto& c : clients) {
        tids.insert(GetJSONValue(c->texts.first(), QStringLiteral("tid")));
        c->useTagOf(c->texts.first());
        c->send(QStringLiteral("{\"$c$\":\"testex\"}"));
    }
    EXPECT_EQ(tids.size(), 50);
    EXPECT_TRUE(all(QStringLiteral("{\"$c$\":\"testex\"}")));

    // A client the server does not know gets neither an acknowledgement nor an answer.
    WireClient stranger(port_);
    stranger.tag = clients[0]->tag;
    stranger.number = 5;
    stranger.send(QStringLiteral("{\"$c$\":\"testex\"}"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stranger.poll();
    EXPECT_EQ(stranger.acks, 0);
    EXPECT_TRUE(stranger.texts.isEmpty());
}

// A registration is answered once and never acknowledged; a copy of it gets nothing.
TEST_F(ServerProcessTest, ACopyOfARegistrationMakesNoSecondSession) {
    auto server = startServer();
    ASSERT_TRUE(server);
    WireClient c(port_);
    const QString reg = QStringLiteral(
        "{\"$c$\":\"reg\",\"id\":\"dup\",\"username\":\"admin\",\"password\":\"admin\",\"keepalive\":1,"
        "\"zip\":0,"
        "\"ver\":\"1.0.0.0\"}");
    c.send(reg);
    c.number = 0;
    c.send(reg);
    ASSERT_TRUE(WaitFor(
        [&] {
            c.poll();
            return c.has(QStringLiteral("regok"));
        },
        10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    c.poll();
    EXPECT_EQ(c.acks, 0);
    ASSERT_EQ(c.texts.size(), 1);
    const QString first = GetJSONValue(c.texts[0], QStringLiteral("tid"));

    // Once the client has spoken in its session, a new registration starts a new session.
    c.useTagOf(c.texts[0]);
    c.send(QStringLiteral("{\"$c$\":\"testex\"}"));
    ASSERT_TRUE(WaitFor(
        [&] {
            c.poll();
            return c.has(QStringLiteral("testex"));
        },
        10));
    c.tag = {};
    c.number = 0;
    c.seen.clear();
    c.send(reg);
    ASSERT_TRUE(WaitFor(
        [&] {
            c.poll();
            return c.texts.size() == 3;
        },
        10));
    EXPECT_NE(GetJSONValue(c.texts[2], QStringLiteral("tid")), first);
}

}  // namespace
