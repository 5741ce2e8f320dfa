// The built server as a process on 127.0.0.1, driven by the system's own session client: login and
// load of the six tables, a cached second load that carries no data, an edit on one client reaching
// another, a photo round trip, a refused password, and a load through lost, doubled and reordered
// datagrams.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUuid>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/udp_socket.h"
#include "server/schema.h"
#include "session/client_udp.h"
#include "session/datagram.h"
#include "tables/base_client.h"
#include "tables/base_set.h"
#include "tables/field.h"
#include "tests/server/wire_client.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kTables[] = {"object", "gps", "gpeople", "groupgps", "gpsug", "gpsshab"};

bool waitFor(const std::function<bool()>& done, int seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

uint16_t freePort() {
    UdpSocket s;
    uint32_t ip = 0;
    ParseIPv4(QStringLiteral("127.0.0.1"), ip);
    s.Open(ip, 0);
    return s.LocalPort();
}

class ServerProcess {
  public:
    ServerProcess(const QString& dir, QStringList extra) {
        port = freePort();
        p.setWorkingDirectory(dir);
        logFile = dir + QStringLiteral("/server.log");
        p.setStandardErrorFile(logFile);
        p.start(
            qEnvironmentVariable("MOBCFG_BIN_DIR") + QStringLiteral("/mobcfg-server"),
            QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--demo")} + extra);
    }
    ~ServerProcess() {
        p.terminate();
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished();
        }
    }
    bool listening() {
        return waitFor([&] { return log().contains(QStringLiteral("listening on")); }, 10);
    }
    QString log() const {
        QFile f(logFile);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    uint16_t port = 0;
    QProcess p;
    QString logFile;
};

// One client with its six cached tables, in the current working folder.
class Client {
  public:
    explicit Client(uint16_t port) {
        for (const char* name : kTables) {
            AddTable(base, QString::fromLatin1(name), QString(), QString(), true, false);
        }
        c = client_udp::Create(QUuid::createUuid().toString(QUuid::WithoutBraces),
                               QStringLiteral("127.0.0.1"), port);
        c->SetBases(&base);
    }
    void login(const QString& user, const QString& password) {
        c->username.Set(user);
        c->password.Set(password);
        c->ConnectTime = 0;
        c->Connect = true;
    }
    bool loaded(int seconds = 20) {
        return waitFor([&] { return c->Connected && c->DatabaseLoad; }, seconds);
    }
    TBaseClient* table(const char* name) { return base.Find(QString::fromLatin1(name)); }
    // Whether a notice with this text inside has arrived.
    bool notice(const QString& part, int seconds) {
        return waitFor(
            [&] {
                QString m;
                while (c->ReadJSON.GetSoobD(m)) {
                    notices << m;
                }
                return notices.join(u'\n').contains(part);
            },
            seconds);
    }

    TBaseC base;
    ThreadPtr<client_udp> c;
    QStringList notices;
};

class ServerProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("server"));
        QDir(dir.path()).mkpath(QStringLiteral("client"));
        QDir::setCurrent(dir.filePath(QStringLiteral("client")));
    }
    std::unique_ptr<ServerProcess> startServer(QStringList extra = {}) {
        auto s = std::make_unique<ServerProcess>(dir.filePath(QStringLiteral("server")), extra);
        EXPECT_TRUE(s->listening()) << s->log().toStdString();
        return s;
    }

    QTemporaryDir dir;
};

QString textOf(TBaseClient* t, const QString& column, int32_t nAbs) {
    auto guard = t->Guard();
    for (int32_t pos = 1; pos <= t->CountRecordFilter; ++pos) {
        if (t->GetFieldNumber(1, pos)->AsInteger() == nAbs) {
            return t->GetField(column, pos)->AsString();
        }
    }
    return QStringLiteral("<missing>");
}

TEST_F(ServerProcessTest, LoadsSixTablesThenOnlyDigestsFromTheCache) {
    auto server = startServer();
    int64_t coldBytes = 0;
    {
        Client a(server->port);
        a.login(QStringLiteral("admin"), QStringLiteral("admin"));
        ASSERT_TRUE(a.loaded()) << server->log().toStdString();
        for (const char* name : kTables) {
            auto guard = a.table(name)->Guard();
            EXPECT_GT(a.table(name)->CountRecordFilter, 0) << name;
        }
        EXPECT_EQ(textOf(a.table("gps"), QStringLiteral("name"), 1).isEmpty(), false);
        coldBytes = a.c->SizePLoad;
    }
    Client b(server->port);
    b.login(QStringLiteral("admin"), QStringLiteral("admin"));
    ASSERT_TRUE(b.loaded());
    // Nothing changed: every file holds the header and the column list only.
    int64_t structureOnly = 0;
    for (const TableDef& t : ServerTables()) {
        structureOnly += 21 + 37 * int64_t(t.columns.size());
    }
    EXPECT_EQ(b.c->SizePLoad, structureOnly);
    EXPECT_GT(coldBytes, structureOnly);
    auto guard = b.table("gpeople")->Guard();
    EXPECT_EQ(b.table("gpeople")->CountRecordFilter, 10);
}

TEST_F(ServerProcessTest, WrongPasswordIsRefused) {
    auto server = startServer();
    Client a(server->port);
    a.login(QStringLiteral("admin"), QStringLiteral("nope"));
    EXPECT_TRUE(waitFor([&] { return a.c->AD.load(); }, 10));
    EXPECT_FALSE(a.c->Connected);
}

TEST_F(ServerProcessTest, EditsReachEveryClientAndAreConfirmed) {
    auto server = startServer();
    Client a(server->port);
    a.login(QStringLiteral("admin"), QStringLiteral("admin"));
    ASSERT_TRUE(a.loaded());
    Client b(server->port);
    b.login(QStringLiteral("admin"), QStringLiteral("admin"));
    ASSERT_TRUE(b.loaded());

    TBaseClient* gps = a.table("gps");
    {
        auto guard = gps->Guard();
        gps->SetRecordIndex(2);
        gps->Edit();
        gps->GetFieldNumberCurrent(9)->SetAsString(QStringLiteral("Экипаж \"Север\" / 7"));
        gps->Post();
    }
    EXPECT_TRUE(waitFor(
        [&] {
            return textOf(b.table("gps"), QStringLiteral("name"), 2) ==
                   QStringLiteral("Экипаж \"Север\" / 7");
        },
        10));
    EXPECT_TRUE(
        a.notice(QStringLiteral("\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gps\",\"n_abs\":2"), 10));

    TBaseClient* people = a.table("gpeople");
    {
        auto guard = people->Guard();
        people->Add();
        people->GetField(QStringLiteral("fio"), 0)->SetAsString(QStringLiteral("Орлова Анна Сергеевна"));
        people->GetField(QStringLiteral("tel"), 0)->SetAsString(QStringLiteral("+79120000000"));
        people->Post();
    }
    ASSERT_TRUE(a.notice(QStringLiteral("\"nametable\":\"gpeople\",\"n_abs\":11"), 10));
    EXPECT_TRUE(waitFor(
        [&] {
            return textOf(b.table("gpeople"), QStringLiteral("fio"), 11) ==
                   QStringLiteral("Орлова Анна Сергеевна");
        },
        10));
    EXPECT_EQ(textOf(a.table("gpeople"), QStringLiteral("fio"), 11), QStringLiteral("Орлова Анна Сергеевна"));

    TBaseClient* members = a.table("gpsug");
    int32_t visibleBefore = 0;
    {
        auto guard = members->Guard();
        visibleBefore = members->CountRecordFilter;
        members->SetRecordIndex(1);
        members->DeleteRecordCurrent();
    }
    EXPECT_TRUE(waitFor(
        [&] {
            auto guard = b.table("gpsug")->Guard();
            return b.table("gpsug")->CountRecordFilter == visibleBefore - 1;
        },
        10));
}

TEST_F(ServerProcessTest, PhotoUploadedAndFetchedBackIsIdentical) {
    auto server = startServer();
    Client a(server->port);
    a.login(QStringLiteral("admin"), QStringLiteral("admin"));
    ASSERT_TRUE(a.loaded());
    QByteArray photo;
    for (int i = 0; i < 70000; ++i) {
        photo.append(char(i * 7 + i / 13));
    }
    QFile f(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(photo);
    f.close();
    const QString serverPath = QStringLiteral("photo\\\\mobile\\\\A1.jpg");
    a.c->SoobFile.PutSoob(QStringLiteral("{\"$c$\":\"putfile\",\"nameinserv\":\"") + serverPath +
                          QStringLiteral("\",\"name\":\"photo.jpg\"}"));
    ASSERT_TRUE(a.notice(QStringLiteral("sendfileok"), 15));
    a.c->Soob.PutSoob(QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"") + serverPath +
                      QStringLiteral("\",\"name\":\"back.jpg\"}"));
    ASSERT_TRUE(a.notice(QStringLiteral("\"getfileok\",\"name\":\"back.jpg\""), 15));
    QFile back(QStringLiteral("temp/back.jpg"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), photo);

    // A path that leaves the files folder is refused.
    a.c->Soob.PutSoob(
        QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"..\\\\server.db\",\"name\":\"x.db\"}"));
    EXPECT_TRUE(a.notice(QStringLiteral("sendfilenotfind"), 10));
}

TEST_F(ServerProcessTest, LoadsThroughLostDoubledAndReorderedDatagrams) {
    // Moderate loss keeps the test short: a lost registration costs the client a 4-second retry.
    auto server = startServer({QStringLiteral("--loss"), QStringLiteral("0.05"), QStringLiteral("--dup"),
                               QStringLiteral("0.1"), QStringLiteral("--reorder"), QStringLiteral("0.1"),
                               QStringLiteral("--delay-ms"), QStringLiteral("1"), QStringLiteral("--seed"),
                               QStringLiteral("5")});
    Client a(server->port);
    a.login(QStringLiteral("admin"), QStringLiteral("admin"));
    ASSERT_TRUE(a.loaded(60)) << server->log().toStdString();
    for (const char* name : kTables) {
        auto guard = a.table(name)->Guard();
        EXPECT_GT(a.table(name)->CountRecordFilter, 0) << name;
    }
}

}  // namespace

TEST_F(ServerProcessTest, FiftyClientsAtOnceAndStrangersHearNothing) {
    auto server = startServer();
    std::vector<std::unique_ptr<WireClient>> clients;
    for (int i = 0; i < 50; ++i) {
        clients.push_back(std::make_unique<WireClient>(server->port));
        clients.back()->send(
            QStringLiteral("{\"$c$\":\"reg\",\"id\":\"c%1\",\"username\":\"admin\","
                           "\"password\":\"admin\",\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
                .arg(i));
    }
    auto all = [&](const QString& part) {
        return waitFor(
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
    WireClient stranger(server->port);
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
    WireClient c(server->port);
    const QString reg = QStringLiteral(
        "{\"$c$\":\"reg\",\"id\":\"dup\",\"username\":\"admin\",\"password\":\"admin\",\"keepalive\":1,"
        "\"zip\":0,"
        "\"ver\":\"1.0.0.0\"}");
    c.send(reg);
    c.number = 0;
    c.send(reg);
    ASSERT_TRUE(waitFor(
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
    ASSERT_TRUE(waitFor(
        [&] {
            c.poll();
            return c.has(QStringLiteral("testex"));
        },
        10));
    c.tag = {};
    c.number = 0;
    c.seen.clear();
    c.send(reg);
    ASSERT_TRUE(waitFor(
        [&] {
            c.poll();
            return c.texts.size() == 3;
        },
        10));
    EXPECT_NE(GetJSONValue(c.texts[2], QStringLiteral("tid")), first);
}
