// The storage on PostgreSQL within the test process, where the sanitizer builds see the binary row
// reader, the change log and the reconnection: every column of the demo data read back by a second
// storage as it was written, changes of two storages on one database applied by both in commit order
// with identifiers that never collide, another storage's change taken from its notice (and from the
// log where a notice cannot serve), an edit made again when another storage's change came first, a
// change whose log entry the database refuses (nothing of it stored), and an outage that refuses a
// change and heals by itself.
#include "server/postgres_database.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <thread>

#include "infra/codepage.h"
#include "postgres_cluster.h"
#include "server/commands.h"
#include "server/demo_data.h"
#include "server/password_digest.h"
#include "server/snapshot.h"
#include "server/storage.h"
#include "session_probe.h"

namespace {

// Generous: the machine the tests run on may be busy.
constexpr int kWaitMs = 20000;

class PostgresStorageTest : public ::testing::Test {
  protected:
    // One cluster for the suite (initdb is the slow part); a database of its own for each test.
    static void SetUpTestSuite() {
        cluster_ = new PostgresCluster;
        started_ = cluster_->Start();
    }
    static void TearDownTestSuite() {
        delete cluster_;
        cluster_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(started_) << cluster_->Error().toStdString();
        const QString name =
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()).toLower();
        uri_ = cluster_->CreateDatabase(name);
        ASSERT_FALSE(uri_.isEmpty()) << cluster_->Error().toStdString();
    }

    // A storage opened on the test's database, its log lines into `log` when given.
    std::unique_ptr<Storage> open(QStringList* log = nullptr) {
        auto s = std::make_unique<Storage>();
        if (log) {
            s->setLog([log](const QString& line) { log->append(line); });
        }
        QString error;
        EXPECT_TRUE(s->open(uri_, error)) << error.toStdString();
        return s;
    }

    static PostgresCluster* cluster_;
    static bool started_;
    QString uri_;
};

PostgresCluster* PostgresStorageTest::cluster_ = nullptr;
bool PostgresStorageTest::started_ = false;

// A change of one record as the server makes it for a client: under the write lock, after the
// changes committed before; a new record when nAbs is 0. The record's identifier.
int32_t Change(Storage& s, int32_t nAbs, const QString& name) {
    TableData& gps = *s.table(QStringLiteral("gps"));
    if (!s.beginChange(nAbs == 0 ? &gps : nullptr)) {
        return 0;
    }
    int32_t row = nAbs == 0 ? -1 : gps.rowOf(nAbs);
    if (row < 0) {
        const int32_t id = s.nextId(gps);
        if (id == 0) {
            s.abandonChange();
            return 0;
        }
        row = gps.appendRecordWithId(id);
    }
    gps.setBytes(row, gps.def().indexOf(QStringLiteral("name")), toAnsi(name));
    gps.stamp(row, 1, QDateTime::currentDateTime());
    return s.commitChange(gps, row, false, {}) ? gps.nAbsAt(row) : 0;
}

// The changes other storages announced, once `count` of them are applied here (each announcement
// may come on its own), and any that came with them.
std::vector<Storage::Applied> AwaitApplied(Storage& s, size_t count = 1) {
    std::vector<Storage::Applied> applied;
    QElapsedTimer t;
    t.start();
    while (applied.size() < count && t.elapsed() < kWaitMs) {
        pollfd p{s.announcementSocket(), POLLIN, 0};
        ::poll(&p, 1, 100);
        s.refresh();
        for (const Storage::Applied& a : s.takeApplied()) {
            applied.push_back(a);
        }
    }
    return applied;
}

QString NameOf(Storage& s, int32_t nAbs) {
    TableData& gps = *s.table(QStringLiteral("gps"));
    const int32_t row = gps.rowOf(nAbs);
    return row < 0 ? QString() : fromAnsi(gps.bytesAt(row, gps.def().indexOf(QStringLiteral("name"))));
}

TEST_F(PostgresStorageTest, EveryColumnReadsBackAsWritten) {
    const std::unique_ptr<Storage> writer = open();
    FillDemoData(*writer, 0, 3);
    ASSERT_TRUE(writer->setUser(QStringLiteral("оператор"), QStringLiteral("секрет")));
    const std::unique_ptr<Storage> reader = open();
    SnapshotBuilder wrote;
    SnapshotBuilder read;
    for (TableData& t : writer->tables()) {
        TableData& back = *reader->table(t.def().name);
        ASSERT_EQ(back.count(), t.count()) << t.def().name.toStdString();
        EXPECT_GT(t.count(), 0) << t.def().name.toStdString();
        for (size_t c = 0; c < t.def().columns.size(); ++c) {
            EXPECT_EQ(read.digest(back, int(c)), wrote.digest(t, int(c)))
                << t.def().name.toStdString() << "." << t.def().columns[c].name.toStdString();
        }
    }
    PasswordDigest digest;
    ASSERT_TRUE(reader->userDigest(QStringLiteral("оператор"), digest));
    EXPECT_TRUE(PasswordMatches(QStringLiteral("секрет"), digest));
    EXPECT_FALSE(PasswordMatches(QStringLiteral("Секрет"), digest));
}

TEST_F(PostgresStorageTest, TwoStoragesApplyEachOthersChangesInCommitOrder) {
    const std::unique_ptr<Storage> one = open();
    const std::unique_ptr<Storage> two = open();
    ASSERT_TRUE(one->shared());

    const int32_t first = Change(*one, 0, QStringLiteral("первый"));
    ASSERT_NE(first, 0) << one->lastError().toStdString();
    // A storage's own change is applied to its clients as the others' are.
    ASSERT_EQ(one->takeApplied().size(), 1u);
    // The other storage takes the lock after the first change: it sees the record and adds its own
    // beside it, under a new identifier.
    const int32_t second = Change(*two, 0, QStringLiteral("второй"));
    ASSERT_NE(second, 0) << two->lastError().toStdString();
    EXPECT_NE(second, first);
    EXPECT_EQ(NameOf(*two, first), QStringLiteral("первый"));
    ASSERT_EQ(Change(*two, first, QStringLiteral("правка второго")), first);

    const std::vector<Storage::Applied> applied = AwaitApplied(*one, 2);
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_EQ(applied[0].table->nAbsAt(applied[0].row), second);
    EXPECT_EQ(applied[1].table->nAbsAt(applied[1].row), first);
    EXPECT_EQ(NameOf(*one, second), QStringLiteral("второй"));
    EXPECT_EQ(NameOf(*one, first), QStringLiteral("правка второго"));
}

TEST_F(PostgresStorageTest, AChangeIsTakenFromItsNoticeAndTheLogWhereTheNoticeCannotServe) {
    const std::unique_ptr<Storage> one = open();
    const std::unique_ptr<Storage> two = open();
    PostgresDatabase admin;
    ASSERT_TRUE(admin.open(uri_)) << admin.error().toStdString();
    const auto overwrite = [&admin](int32_t id) {
        ASSERT_TRUE(admin.run("UPDATE gps SET name = 'в обход' WHERE n_abs = $1", {SqlValue::Int(id)}))
            << admin.error().toStdString();
    };
    // The record is changed behind the storages' back once committed: the other storage keeps what
    // the change's notice said, read from no table.
    const int32_t id = Change(*one, 0, QStringLiteral("из уведомления"));
    ASSERT_NE(id, 0) << one->lastError().toStdString();
    overwrite(id);
    ASSERT_EQ(AwaitApplied(*two).size(), 1u);
    EXPECT_EQ(NameOf(*two, id), QStringLiteral("из уведомления"));

    // A change of the users carries no notice: the log is read, and the record with it.
    ASSERT_TRUE(one->setUser(QStringLiteral("ещё"), QStringLiteral("пароль")));
    ASSERT_EQ(Change(*one, id, QStringLiteral("записано")), id) << one->lastError().toStdString();
    overwrite(id);
    const uint64_t users = two->usersVersion();
    ASSERT_EQ(AwaitApplied(*two).size(), 1u);
    EXPECT_EQ(NameOf(*two, id), QStringLiteral("в обход"));
    EXPECT_GT(two->usersVersion(), users);
}

TEST_F(PostgresStorageTest, AnEditGoesAtOnceAndIsMadeAgainWhenAnotherServersChangeCameFirst) {
    const std::unique_ptr<Storage> one = open();
    const std::unique_ptr<Storage> two = open();
    const int32_t id = Change(*one, 0, QStringLiteral("начало"));
    ASSERT_NE(id, 0) << one->lastError().toStdString();
    ASSERT_EQ(AwaitApplied(*two).size(), 1u);

    // One storage edits the record; the other, not having heard of it, edits it too: its change
    // finds the log number taken, writes nothing, and is made again under the lock after the first.
    ASSERT_EQ(Change(*one, id, QStringLiteral("первая правка")), id) << one->lastError().toStdString();
    one->takeApplied();
    EXPECT_EQ(Change(*two, id, QStringLiteral("вторая правка")), 0);
    EXPECT_TRUE(two->raced()) << two->lastError().toStdString();
    EXPECT_TRUE(two->takeApplied().empty());
    EXPECT_EQ(NameOf(*open(), id), QStringLiteral("первая правка"));
    ASSERT_EQ(Change(*two, id, QStringLiteral("вторая правка")), id) << two->lastError().toStdString();
    EXPECT_FALSE(two->raced());
    const std::vector<Storage::Applied> applied = two->takeApplied();
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_EQ(NameOf(*open(), id), QStringLiteral("вторая правка"));

    // The first storage applies the second edit from its notice; its own next edit goes at once.
    ASSERT_EQ(AwaitApplied(*one).size(), 1u);
    EXPECT_EQ(NameOf(*one, id), QStringLiteral("вторая правка"));
    ASSERT_EQ(Change(*one, id, QStringLiteral("третья правка")), id) << one->lastError().toStdString();
    EXPECT_FALSE(one->raced());
    EXPECT_EQ(NameOf(*open(), id), QStringLiteral("третья правка"));
}

TEST_F(PostgresStorageTest, AClientsEditThatLostItsRaceIsStoredAfterTheOtherChange) {
    const std::unique_ptr<Storage> one = open();
    const std::unique_ptr<Storage> two = open();
    QTemporaryDir files;
    MemoryBudget partials{1 << 20};
    SessionProbe probe;
    ClientSession client{UdpAddress{0x7F000001, 5001}, probe.sender(), 0, partials};
    client.logIn(QStringLiteral("admin"), 1, 1);
    client.loadedTables.insert(QStringLiteral("gps"));
    QStringList log;
    Commands commands{*two, FilesFolder(files.path(), ServerLimits{}),
                      [&log](const QString& line) { log.append(line); },
                      [&client](const std::function<void(ClientSession&)>& f) { f(client); }};
    // The last text the client got for an edit of the record's name.
    const auto edit = [&](int32_t id, const QString& name) {
        probe.messages.clear();
        commands.handle(client,
                        QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gps\",\"n_abs\":%1,\"fields\":{\"name\":\"%2\"}}")
                            .arg(id)
                            .arg(name));
        probe.run(client);
        const std::vector<QString> texts = probe.texts();
        return texts.empty() ? QString() : texts.back();
    };

    // A record the second server has not heard of yet, then one the first server changed since: each
    // edit is stored after what came first and confirmed, none refused.
    const int32_t id = Change(*one, 0, QStringLiteral("начало"));
    ASSERT_NE(id, 0) << one->lastError().toStdString();
    const QString confirmed =
        QStringLiteral("{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gps\",\"n_abs\":%1}").arg(id);
    EXPECT_EQ(edit(id, QStringLiteral("первая")), confirmed);
    one->takeApplied();
    ASSERT_EQ(AwaitApplied(*one).size(), 1u);
    ASSERT_EQ(Change(*one, id, QStringLiteral("с другого сервера")), id) << one->lastError().toStdString();
    EXPECT_EQ(edit(id, QStringLiteral("вторая")), confirmed);
    EXPECT_TRUE(log.filter(QStringLiteral("refused")).isEmpty()) << log.join(u'\n').toStdString();

    // Made on top of the other server's change: its counter is one above what that change left.
    const auto ver = [](Storage& s, int32_t nAbs) {
        const TableData& gps = *s.table(QStringLiteral("gps"));
        return gps.intAt(gps.rowOf(nAbs), gps.def().indexOf(QStringLiteral("ver")));
    };
    EXPECT_EQ(NameOf(*open(), id), QStringLiteral("вторая"));
    EXPECT_EQ(ver(*open(), id), ver(*one, id) + 1);
}

TEST_F(PostgresStorageTest, AnAdditionReadsItsIdentifierAndMarkWithTheLock) {
    const std::unique_ptr<Storage> s = open();
    const std::unique_ptr<Storage> other = open();
    const QString mark = QStringLiteral("5f1c0c8e-0d1a-4a51-9d55-5b0e1d1c2a33");
    TableData& gps = *s->table(QStringLiteral("gps"));
    ASSERT_TRUE(s->beginChange(&gps, mark)) << s->lastError().toStdString();
    EXPECT_EQ(s->addedBefore(mark, QStringLiteral("gps")), 0);
    const int32_t id = s->nextId(gps);
    ASSERT_GT(id, 0);
    const int32_t row = gps.appendRecordWithId(id);
    gps.stamp(row, 1, QDateTime::currentDateTime());
    ASSERT_TRUE(s->commitChange(gps, row, false, {}, mark)) << s->lastError().toStdString();

    // The other storage learns of the addition with its own lock: the mark names the record, the
    // next identifier comes after it. Another table's question about the mark goes to the database.
    TableData& otherGps = *other->table(QStringLiteral("gps"));
    ASSERT_TRUE(other->beginChange(&otherGps, mark)) << other->lastError().toStdString();
    EXPECT_EQ(other->addedBefore(mark, QStringLiteral("gps")), id);
    EXPECT_EQ(other->addedBefore(mark, QStringLiteral("object")), 0);
    EXPECT_EQ(other->nextId(otherGps), id + 1);
    other->abandonChange();
}

TEST_F(PostgresStorageTest, AChangeTheDatabaseRefusesInPartIsNotStoredAtAll) {
    QStringList log;
    const std::unique_ptr<Storage> s = open(&log);
    const int32_t id = Change(*s, 0, QStringLiteral("до"));
    ASSERT_NE(id, 0) << s->lastError().toStdString();
    const std::unique_ptr<Storage> watcher = open();
    PostgresDatabase admin;
    ASSERT_TRUE(admin.open(uri_)) << admin.error().toStdString();
    // The record is written, its log entry refused: the commit sent with them must not take effect.
    ASSERT_TRUE(admin.run("ALTER TABLE changes ADD CONSTRAINT refuse_all CHECK (seq < 0) NOT VALID"))
        << admin.error().toStdString();
    EXPECT_EQ(Change(*s, id, QStringLiteral("не записан")), 0);
    EXPECT_TRUE(s->lastError().contains(QStringLiteral("refuse_all"))) << s->lastError().toStdString();
    EXPECT_TRUE(s->available());
    EXPECT_EQ(NameOf(*open(), id), QStringLiteral("до"));

    ASSERT_TRUE(admin.run("ALTER TABLE changes DROP CONSTRAINT refuse_all")) << admin.error().toStdString();
    ASSERT_EQ(Change(*s, id, QStringLiteral("после")), id) << s->lastError().toStdString();
    EXPECT_EQ(NameOf(*open(), id), QStringLiteral("после"));
    // The log stays dense: the refused change took no number.
    const std::vector<Storage::Applied> applied = AwaitApplied(*watcher);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(NameOf(*watcher, id), QStringLiteral("после"));
    EXPECT_TRUE(log.filter(QStringLiteral("does not continue")).isEmpty()) << log.join(u'\n').toStdString();
}

TEST_F(PostgresStorageTest, AnOutageRefusesChangesAndHealsByItself) {
    QStringList log;
    const std::unique_ptr<Storage> s = open(&log);
    ASSERT_TRUE(cluster_->Stop()) << cluster_->Error().toStdString();

    EXPECT_EQ(Change(*s, 0, QStringLiteral("не записан")), 0);
    EXPECT_EQ(Change(*s, 0, QStringLiteral("не записан")), 0);
    EXPECT_EQ(s->lastError(), QStringLiteral("database unavailable"));
    EXPECT_FALSE(s->available());
    EXPECT_EQ(log.filter(QStringLiteral("database unavailable")).size(), 1) << log.join(u'\n').toStdString();
    EXPECT_EQ(s->table(QStringLiteral("gps"))->count(), 0);

    ASSERT_TRUE(cluster_->Start()) << cluster_->Error().toStdString();
    QElapsedTimer t;
    t.start();
    while (!s->available() && t.elapsed() < kWaitMs) {
        s->upkeep();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(s->available());
    EXPECT_TRUE(log.contains(QStringLiteral("database connection restored")))
        << log.join(u'\n').toStdString();
    const int32_t stored = Change(*s, 0, QStringLiteral("записан"));
    ASSERT_NE(stored, 0) << s->lastError().toStdString();
    // Only the change made once the database was back is in it.
    const std::unique_ptr<Storage> again = open();
    EXPECT_EQ(again->table(QStringLiteral("gps"))->count(), 1);
    EXPECT_EQ(NameOf(*again, stored), QStringLiteral("записан"));
}

}  // namespace
