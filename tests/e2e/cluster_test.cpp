// Several servers on one PostgreSQL database: a real PostgreSQL started by the fixture, two server
// processes on 127.0.0.1 and 127.0.0.2, and the system's own session client in this process. A change
// through one server reaches the clients of the other; additions at once never collide and
// concurrent edits of one record end equal; a client fails over with a command queued while its
// server was gone; a database outage refuses changes and heals by itself; a restarted server's
// clients see what changed meanwhile.
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include "harness.h"
#include "infra/json_text.h"
#include "postgres_cluster.h"
#include "session_client.h"
#include "tables/base_client.h"

namespace {

class ClusterTest : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        ASSERT_TRUE(pg_.Start()) << pg_.Error().toStdString();
        uri_ = pg_.CreateDatabase(QStringLiteral("mobcfg"));
        ASSERT_FALSE(uri_.isEmpty()) << pg_.Error().toStdString();
    }

    // Server 1 or 2, on 127.0.0.1 or 127.0.0.2 and the same port, in a folder of its own.
    std::unique_ptr<ServerProcess> Server(int n) {
        auto s = std::make_unique<ServerProcess>(Path(QStringLiteral("server%1").arg(n)), port_,
                                                 QStringList{"--bind", Address(n), "--db", uri_, "--demo"});
        EXPECT_TRUE(s->Start()) << s->Log().toStdString();
        return s;
    }
    static QString Address(int n) { return QStringLiteral("127.0.0.%1").arg(n); }
    std::unique_ptr<SessionClient> ClientOf(const QString& name, const QString& hosts) {
        auto c = std::make_unique<SessionClient>(Path(name), hosts, port_);
        EXPECT_TRUE(c->Loaded()) << name.toStdString();
        return c;
    }

    PostgresCluster pg_;
    QString uri_;
};

TEST_F(ClusterTest, ChangesReachTheClientsOfEveryServerInOneOrder) {
    auto one = Server(1);
    auto two = Server(2);
    auto a = ClientOf("a", Address(1));
    auto b = ClientOf("b", Address(2));

    a->Edit("gps", 2, "name", QStringLiteral("Через первый сервер"));
    EXPECT_TRUE(
        WaitFor([&] { return b->Text("gps", "name", 2) == QStringLiteral("Через первый сервер"); }, 10));

    // Two additions at once, one through each server: two records, numbered by the database.
    a->Add("gpeople", "fio", QStringLiteral("Орлова Анна"));
    b->Add("gpeople", "fio", QStringLiteral("Зуева Вера"));
    ASSERT_TRUE(a->Notice(QStringLiteral("\"nametable\":\"gpeople\""), 10));
    ASSERT_TRUE(b->Notice(QStringLiteral("\"nametable\":\"gpeople\""), 10));
    for (SessionClient* c : {a.get(), b.get()}) {
        EXPECT_TRUE(WaitFor(
            [&] {
                return c->Text("gpeople", "fio", 11) != QStringLiteral("<missing>") &&
                       c->Text("gpeople", "fio", 12) != QStringLiteral("<missing>");
            },
            10));
    }
    EXPECT_NE(a->Text("gpeople", "fio", 11), a->Text("gpeople", "fio", 12));

    // Two edits of one record at once: every client ends with the same record, and its change
    // counter went up by two.
    const int before = a->Text("gps", "ver", 3).toInt();
    a->Edit("gps", 3, "name", QStringLiteral("Правка А"));
    b->Edit("gps", 3, "name", QStringLiteral("Правка Б"));
    EXPECT_TRUE(WaitFor(
        [&] {
            return a->Text("gps", "ver", 3).toInt() == before + 2 &&
                   b->Text("gps", "ver", 3).toInt() == before + 2;
        },
        10));
    EXPECT_EQ(a->Text("gps", "name", 3), b->Text("gps", "name", 3));
    for (const char* table : {"gps", "gpeople"}) {
        auto guardA = a->Table(table)->Guard();
        auto guardB = b->Table(table)->Guard();
        EXPECT_EQ(a->Table(table)->CountRecordFilter, b->Table(table)->CountRecordFilter) << table;
    }
}

// An addition whose answer was lost comes again, with the mark it had, to the same server or another
// one on the same database (a replay after a drop): it is answered with the record stored the first
// time and never stored twice.
TEST_F(ClusterTest, AnAdditionSentAgainToAnyServerIsStoredOnce) {
    auto one = Server(1);
    auto two = Server(2);
    auto a = ClientOf("a", Address(1));
    auto b = ClientOf("b", Address(2));
    std::mutex lock;
    QString sent;
    a->c->SetOnCommandQueued([&](TBaseClient*, const QString& command, bool) {
        const std::lock_guard guard(lock);
        sent = command;
    });
    const int32_t before = a->Count("gpeople");
    a->Add("gpeople", "fio", QStringLiteral("Дважды Анна"));
    ASSERT_TRUE(a->Notice(QStringLiteral("netyesadddatadatabase"), 10));
    const QString marked = [&] {
        const std::lock_guard guard(lock);
        return sent;
    }();
    ASSERT_FALSE(GetJSONValue(marked, QStringLiteral("mark")).isEmpty()) << marked.toStdString();

    b->c->Soob.PutSoob(marked);
    ASSERT_TRUE(b->Notice(QStringLiteral("netyesadddatadatabase"), 10)) << two->Log().toStdString();
    a->c->Soob.PutSoob(marked);
    ASSERT_TRUE(WaitFor([&] { return a->Notice(QString(), 0) && a->Confirmed("gpeople").size() == 2; }, 10));
    const QString stored = a->Confirmed("gpeople").first();
    EXPECT_EQ(a->Confirmed("gpeople"), QStringList({stored, stored}));
    EXPECT_EQ(b->Confirmed("gpeople"), QStringList({stored}));
    EXPECT_TRUE(two->WaitForLog(QStringLiteral("was stored before as ") + stored, 5));
    for (SessionClient* c : {a.get(), b.get()}) {
        EXPECT_TRUE(WaitFor([&] { return c->Count("gpeople") == before + 1; }, 10));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(c->Count("gpeople"), before + 1);
    }
}

// The server a client works with stops (SIGTERM) or dies (SIGKILL); the operator saves a change while
// it is gone. The client moves to the other server, loads what did not change from its cache, and the
// change is applied there, once.
class FailoverTest : public ClusterTest, public testing::WithParamInterface<int> {};

TEST_P(FailoverTest, TheClientMovesOnWithTheCommandQueuedMeanwhile) {
    auto one = Server(1);
    auto two = Server(2);
    auto c = ClientOf("c", Address(1) + u',' + Address(2));
    const int before = c->Text("gps", "ver", 4).toInt();
    const int64_t coldBytes = c->c->SizePLoad;

    if (GetParam() == SIGKILL) {
        one->Kill();
    } else {
        EXPECT_EQ(one->Stop(), 0);
    }
    const QString value = QStringLiteral("Сохранено без сервера");
    c->Edit("gps", 4, "name", value);

    // Ten seconds without a sign of life, one registration at the lost address, then the other.
    ASSERT_TRUE(c->Notice(QStringLiteral("\"$c$\":\"disconnected\""), 30));
    ASSERT_TRUE(WaitFor([&] { return c->c->Connected && c->c->DatabaseLoad; }, 30))
        << two->Log().toStdString();
    EXPECT_TRUE(WaitFor([&] { return c->Text("gps", "name", 4) == value; }, 15)) << two->Log().toStdString();
    EXPECT_EQ(c->Text("gps", "ver", 4).toInt(), before + 1);
    EXPECT_LT(c->c->SizePLoad, coldBytes / 2);
    // The dead server never got the command, the other one applied it once.
    const QString sent =
        QStringLiteral("\"command\":\"neteditdatadatabase\",\"nametable\":\"gps\",\"n_abs\":4");
    EXPECT_EQ(one->Log().count(sent), 0);
    EXPECT_EQ(two->Log().count(sent), 1) << two->Log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(StopAndKill, FailoverTest, testing::Values(int(SIGTERM), int(SIGKILL)));

TEST_F(ClusterTest, ADatabaseOutageRefusesChangesAndHealsByItself) {
    auto one = Server(1);
    auto two = Server(2);
    auto a = ClientOf("a", Address(1));
    auto b = ClientOf("b", Address(2));

    ASSERT_TRUE(pg_.Stop()) << pg_.Error().toStdString();
    a->Edit("gps", 5, "name", QStringLiteral("Не сохранится"));
    ASSERT_TRUE(a->Notice(QStringLiteral("\"$c$\":\"neterrordatadatabase\""), 15))
        << one->Log().toStdString();
    a->Edit("gps", 6, "name", QStringLiteral("И это тоже"));
    EXPECT_TRUE(WaitFor(
        [&] {
            return one->Log().count(QStringLiteral("neterrordatadatabase")) >= 2 ||
                   one->Log().count(QStringLiteral("edit refused")) >= 2;
        },
        15));
    EXPECT_EQ(one->Log().count(QStringLiteral("database unavailable:")), 1) << one->Log().toStdString();
    EXPECT_NE(a->Text("gps", "name", 5), QStringLiteral("Не сохранится"));

    ASSERT_TRUE(pg_.Start()) << pg_.Error().toStdString();
    EXPECT_TRUE(WaitFor(
        [&] {
            return one->Log().contains(QStringLiteral("database connection restored")) &&
                   two->Log().contains(QStringLiteral("database connection restored"));
        },
        20));
    // The sessions stayed; changes flow again, through either server.
    EXPECT_TRUE(a->c->Connected && b->c->Connected);
    a->Edit("gps", 5, "name", QStringLiteral("После возвращения"));
    EXPECT_TRUE(WaitFor([&] { return b->Text("gps", "name", 5) == QStringLiteral("После возвращения"); }, 15))
        << one->Log().toStdString();
}

TEST_F(ClusterTest, ARestartedServerServesWhatChangedMeanwhile) {
    auto one = Server(1);
    auto two = Server(2);
    auto a = ClientOf("a", Address(1));
    auto b = ClientOf("b", Address(2));
    EXPECT_EQ(two->Stop(), 0);

    a->Edit("gpeople", 2, "fio", QStringLiteral("Пока второй стоял"));
    ASSERT_TRUE(
        WaitFor([&] { return a->Text("gpeople", "fio", 2) == QStringLiteral("Пока второй стоял"); }, 10));

    ASSERT_TRUE(two->Start()) << two->Log().toStdString();
    // b notices the loss, logs in again and loads: the change is there.
    ASSERT_TRUE(b->Notice(QStringLiteral("\"$c$\":\"disconnected\""), 30));
    EXPECT_TRUE(WaitFor(
        [&] {
            return b->c->DatabaseLoad && b->Text("gpeople", "fio", 2) == QStringLiteral("Пока второй стоял");
        },
        40));
}

}  // namespace
