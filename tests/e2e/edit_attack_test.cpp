// Edits a logged-in client should not get away with, against the server as a process on loopback,
// read back from its database beside it: dictionary keys that stand for no value or an invalid one,
// a dictionary that grows without end, a change the database did not take, a deletion of a deleted
// record; and what every change must carry: the identifier of the user who made it, and a dictionary
// write of the one entry that changed.
#include <sqlite3.h>

#include <QUuid>
#include <map>

#include "harness.h"
#include "tests/server/wire_client.h"

namespace {

const QString kAnswer = QStringLiteral("\"$c$\":\"netyesadddatadatabase\"");
const QString kRefusal = QStringLiteral("\"$c$\":\"neterrordatadatabase\"");

QString edit(const QString& table, int nAbs, const QString& fields) {
    return QStringLiteral(
               "{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"nametable\":\"%1\","
               "\"n_abs\":%2,\"fields\":{%3}}")
        .arg(table)
        .arg(nAbs)
        .arg(fields);
}

// The server's database, opened beside the running server (which writes it in WAL mode).
class Database {
  public:
    explicit Database(const QString& path) {
        sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    }
    ~Database() { sqlite3_close(db_); }
    bool exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    // The first column of every row, as text.
    QStringList column(const QString& sql) {
        QStringList out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            }
        }
        sqlite3_finalize(st);
        return out;
    }
    QString value(const QString& sql) {
        const QStringList c = column(sql);
        return c.isEmpty() ? QString() : c.first();
    }

  private:
    sqlite3* db_ = nullptr;
};

class EditAttackTest : public E2eTest {
  protected:
    // Sends the edit and waits for its answer: true when confirmed, false when refused.
    static bool answered(WireClient& c, const QString& text) {
        const qsizetype answers = c.count(kAnswer);
        const qsizetype refusals = c.count(kRefusal);
        c.send(text);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (c.count(kAnswer) == answers && c.count(kRefusal) == refusals &&
               std::chrono::steady_clock::now() < end) {
            c.socket.WaitReadable(5);
            c.poll();
        }
        EXPECT_NE(c.count(kAnswer) + c.count(kRefusal), answers + refusals)
            << "no answer to " << text.toStdString();
        return c.count(kAnswer) > answers;
    }
    QString db() const { return Path("server/server.db"); }
};

TEST_F(EditAttackTest, DictionaryKeysForNoValueOrAnInvalidOneAreRefused) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    // Key 0 stands for no value and 65535 for an invalid one: a text pinned to either would make
    // later texts land on key 0 while they were confirmed.
    for (const char* value : {"0@pinned", "65535@pinned", "65535"}) {
        EXPECT_FALSE(answered(c, edit("gpsshab", 1, QStringLiteral("\"kind\":\"%1\"").arg(value)))) << value;
    }
    ASSERT_TRUE(answered(c, edit("gpsshab", 1, "\"kind\":\"brand new\"")));
    Database d(db());
    const QString key = d.value("SELECT kind FROM gpsshab WHERE n_abs=1");
    EXPECT_NE(key, QStringLiteral("0"));
    EXPECT_EQ(d.value("SELECT text FROM dictionary WHERE tbl='gpsshab' AND key=" + key).toStdString(),
              "brand new");
}

TEST_F(EditAttackTest, AFullDictionaryTakesNoNewText) {
    auto server = StartServer({"--demo", "--max-dictionary-entries", "12"});
    ASSERT_TRUE(server);
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    Database d(db());
    const int before = d.value("SELECT COUNT(*) FROM dictionary WHERE tbl='gpsshab'").toInt();
    ASSERT_LT(before, 12);
    for (int i = before; i < 12; ++i) {
        ASSERT_TRUE(answered(c, edit("gpsshab", 1, QStringLiteral("\"kind\":\"kind %1\"").arg(i))));
    }
    EXPECT_FALSE(answered(c, edit("gpsshab", 1, "\"kind\":\"one too many\"")));
    EXPECT_FALSE(answered(c, edit("gpsshab", 1, "\"kind\":\"300@one too many\"")));
    // A text the dictionary holds already is still taken, and so is a new name for a key it has.
    EXPECT_TRUE(answered(c, edit("gpsshab", 2, "\"kind\":\"kind 11\"")));
    EXPECT_TRUE(answered(c, edit("gpsshab", 2, "\"kind\":\"1@renamed\"")));
    EXPECT_EQ(d.value("SELECT COUNT(*) FROM dictionary WHERE tbl='gpsshab'").toInt(), 12);
}

TEST_F(EditAttackTest, AChangeTheDatabaseDidNotTakeIsRefusedAndForgotten) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    Database d(db());
    // Another writer holds the database: the server cannot store the change.
    ASSERT_TRUE(d.exec("BEGIN IMMEDIATE"));
    EXPECT_FALSE(answered(c, edit("gps", 2, "\"name\":\"not stored\"")));
    ASSERT_TRUE(d.exec("ROLLBACK"));
    // The record's next change is stored whole: the refused value must not ride along with it.
    EXPECT_TRUE(answered(c, edit("gps", 2, "\"prim\":\"stored\"")));
    EXPECT_EQ(d.value("SELECT prim FROM gps WHERE n_abs=2").toStdString(), "stored");
    EXPECT_NE(d.value("SELECT name FROM gps WHERE n_abs=2").toStdString(), "not stored");
}

TEST_F(EditAttackTest, ChangesAreStampedWithTheUserWhoMadeThem) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    {
        WireClient admin(port_);
        ASSERT_TRUE(admin.login("admin", "admin"));
        ASSERT_TRUE(answered(admin, edit("gps", 2, "\"name\":\"by admin\"")));
        WireClient other(port_);
        ASSERT_TRUE(other.login(kTestUser, kTestPassword));
        ASSERT_TRUE(answered(other, edit("gps", 3, "\"name\":\"by operator\"")));
    }
    Database d(db());
    const QString byAdmin = d.value("SELECT n_user FROM gps WHERE n_abs=2");
    const QString byOperator = d.value("SELECT n_user FROM gps WHERE n_abs=3");
    EXPECT_NE(byAdmin.toStdString(), byOperator.toStdString());
    // A user keeps its identifier over a restart.
    server->Stop();
    server = StartServer();
    ASSERT_TRUE(server);
    WireClient other(port_);
    ASSERT_TRUE(other.login(kTestUser, kTestPassword));
    ASSERT_TRUE(answered(other, edit("gps", 4, "\"name\":\"by operator again\"")));
    EXPECT_EQ(d.value("SELECT n_user FROM gps WHERE n_abs=4").toStdString(), byOperator.toStdString());
}

TEST_F(EditAttackTest, DeletingADeletedRecordIsRefused) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    const QString deletion = QStringLiteral(
        "{\"$c$\":\"database\",\"command\":\"netdeletedatadatabase\",\"nametable\":\"gpsug\",\"n_abs\":1}");
    Database d(db());
    // A deletion is not answered; the link test behind it is, once the deletion is done.
    c.send(deletion);
    c.send(QStringLiteral("{\"$c$\":\"testex\"}"));
    ASSERT_TRUE(c.waitFor(QStringLiteral("testex"), 10, 2));
    const QString version = d.value("SELECT ver FROM gpsug WHERE n_abs=1");
    EXPECT_FALSE(answered(c, deletion));
    EXPECT_EQ(d.value("SELECT ver FROM gpsug WHERE n_abs=1").toStdString(), version.toStdString());
}

TEST_F(EditAttackTest, ADictionaryEditWritesTheOneEntryThatChanged) {
    {
        auto server = StartServer();
        ASSERT_TRUE(server);
        server->Stop();
    }
    {
        // A large dictionary, as years of use would leave.
        Database d(db());
        ASSERT_TRUE(d.exec("BEGIN"));
        for (int key = 100; key < 2100; ++key) {
            d.exec(
                QStringLiteral("INSERT INTO dictionary (tbl, col, key, text) VALUES ('gpsshab', 'kind', %1, "
                               "'kind %1')")
                    .arg(key)
                    .toUtf8()
                    .constData());
        }
        ASSERT_TRUE(d.exec("COMMIT"));
    }
    auto server = StartServer();
    ASSERT_TRUE(server);
    Database d(db());
    const QStringList rows = d.column("SELECT rowid || ':' || key FROM dictionary ORDER BY rowid");
    WireClient c(port_);
    ASSERT_TRUE(c.login("admin", "admin"));
    ASSERT_TRUE(answered(c, edit("gpsshab", 1, "\"kind\":\"a kind of its own\"")));
    ASSERT_TRUE(answered(c, edit("gpsshab", 1, "\"kind\":\"2000@renamed\"")));
    const QStringList after = d.column("SELECT rowid || ':' || key FROM dictionary ORDER BY rowid");
    // Every entry keeps its row (a renamed one too), and the new text adds one.
    EXPECT_EQ(after.mid(0, rows.size()), rows);
    EXPECT_EQ(after.size(), rows.size() + 1);
    EXPECT_EQ(d.value("SELECT text FROM dictionary WHERE tbl='gpsshab' AND key=2000"),
              QStringLiteral("renamed"));
}

}  // namespace
