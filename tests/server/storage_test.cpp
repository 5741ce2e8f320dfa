// The database: the table structure the pages rely on, demo data, write-through and reopening,
// salted password digests, and generated volumes.
#include "server/storage.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "infra/codepage.h"
#include "server/demo_data.h"
#include "server/snapshot.h"

namespace {

class StorageTest : public ::testing::Test {
  protected:
    QString path() const { return dir.filePath(QStringLiteral("server.db")); }
    QTemporaryDir dir;
};

TEST(Schema, HoldsWhatThePagesRead) {
    QSet<uint8_t> codes;
    const QStringList names = {"object", "gps", "gpeople", "groupgps", "gpsug", "gpsshab"};
    ASSERT_EQ(ServerTables().size(), size_t(names.size()));
    for (size_t i = 0; i < ServerTables().size(); ++i) {
        const TableDef& t = ServerTables()[i];
        EXPECT_EQ(t.name, names[qsizetype(i)]);
        EXPECT_EQ(t.columns[0].name, QStringLiteral("n_abs"));
        EXPECT_EQ(t.columns[0].code, 1);
        EXPECT_EQ(t.columns[1].name, QStringLiteral("p_d"));
        EXPECT_EQ(t.columns[1].code, 3);
        for (const ColumnDef& c : t.columns) {
            codes.insert(c.code);
            EXPECT_LE(c.name.size(), 15);
        }
    }
    for (uint8_t code : {2, 9, 24, 25}) {
        EXPECT_TRUE(codes.contains(code)) << int(code);
    }
    EXPECT_TRUE(codes.contains(15) || codes.contains(16));
    // Positions (1-based) the pages address.
    auto at = [](const char* table, int pos) {
        return FindTable(QString::fromLatin1(table))->columns[size_t(pos - 1)];
    };
    EXPECT_EQ(at("gpeople", 7).name, QStringLiteral("fio"));
    EXPECT_EQ(at("gpeople", 8).name, QStringLiteral("address"));
    EXPECT_EQ(at("gpeople", 9).name, QStringLiteral("tel"));
    EXPECT_EQ(at("object", 7).code, 1);
    EXPECT_TRUE(IsTextCode(at("object", 8).code));
    EXPECT_EQ(at("gps", 9).name, QStringLiteral("name"));
    EXPECT_EQ(at("gps", 23).name, QStringLiteral("imei"));
    EXPECT_EQ(at("gps", 23).code, 13);
    EXPECT_EQ(at("gps", 30).code, 8);
    EXPECT_EQ(at("gps", 29).code, 1);
    EXPECT_EQ(at("gps", 40).code, 1);
    for (int pos : {7, 8, 14, 15, 16, 17, 18, 19, 20, 21, 24, 31}) {
        EXPECT_TRUE(IsTextCode(at("gps", pos).code)) << pos;
    }
    EXPECT_TRUE(IsTextCode(at("groupgps", 7).code));
    EXPECT_EQ(at("gpsug", 7).name, QStringLiteral("n_absg"));
    EXPECT_EQ(at("gpsug", 8).name, QStringLiteral("n_absu"));
    for (const char* name : {"number", "rez", "status", "smsdate", "smssend", "foto"}) {
        EXPECT_GE(FindTable(QStringLiteral("gpeople"))->indexOf(QString::fromLatin1(name)), 0) << name;
    }
    EXPECT_GE(FindTable(QStringLiteral("groupgps"))->indexOf(QStringLiteral("status")), 0);
    EXPECT_GE(FindTable(QStringLiteral("gpsug"))->indexOf(QStringLiteral("typeu")), 0);
}

TEST_F(StorageTest, DemoDataSurvivesReopening) {
    SnapshotBuilder before;
    std::vector<QString> digests;
    {
        Storage s;
        QString error;
        ASSERT_TRUE(s.open(path(), error)) << error.toStdString();
        FillDemoData(s, 0, 3);
        for (TableData& t : s.tables()) {
            EXPECT_GT(t.count(), 0) << t.def().name.toStdString();
            for (size_t c = 0; c < t.def().columns.size(); ++c) {
                digests.push_back(before.digest(t, int(c)));
            }
        }
        const TableData& people = *s.table(QStringLiteral("gpeople"));
        EXPECT_TRUE(fromAnsi(people.bytesAt(0, people.def().indexOf(QStringLiteral("fio")))).contains(u'в'));
        PasswordDigest admin;
        ASSERT_TRUE(s.userDigest(QStringLiteral("admin"), admin));
        EXPECT_TRUE(PasswordMatches(QStringLiteral("admin"), admin));
        EXPECT_FALSE(PasswordMatches(QStringLiteral("Admin"), admin));
        EXPECT_FALSE(s.userDigest(QStringLiteral("nobody"), admin));
    }
    Storage again;
    QString error;
    ASSERT_TRUE(again.open(path(), error));
    // A second demo fill leaves filled tables alone; digests show the data came back unchanged.
    FillDemoData(again, 0, 99);
    SnapshotBuilder after;
    size_t i = 0;
    for (TableData& t : again.tables()) {
        for (size_t c = 0; c < t.def().columns.size(); ++c) {
            EXPECT_EQ(after.digest(t, int(c)), digests[i++]) << t.def().name.toStdString() << "." << c;
        }
    }
}

TEST_F(StorageTest, ChangesAreWrittenThroughAndDeletionKeepsTheRecord) {
    {
        Storage s;
        QString error;
        ASSERT_TRUE(s.open(path(), error));
        TableData& g = *s.table(QStringLiteral("groupgps"));
        const int32_t a = g.appendRecord();
        g.setBytes(a, g.def().indexOf(QStringLiteral("name")),
                   toAnsi(QStringLiteral("Очень длинное имя группы")));
        const int32_t b = g.appendRecord();
        g.setInt(b, 1, 1);
        ASSERT_TRUE(s.saveRecord(g, a));
        ASSERT_TRUE(s.saveRecord(g, b));
        TableData& shab = *s.table(QStringLiteral("gpsshab"));
        const int32_t r = shab.appendRecord();
        shab.setDictionaryText(r, shab.def().indexOf(QStringLiteral("kind")),
                               toAnsi(QStringLiteral("Ночной")));
        ASSERT_TRUE(s.saveRecord(shab, r));
        ASSERT_TRUE(s.saveDictionaries(shab));
    }
    Storage s;
    QString error;
    ASSERT_TRUE(s.open(path(), error));
    TableData& g = *s.table(QStringLiteral("groupgps"));
    ASSERT_EQ(g.count(), 2);
    // A code-2 text is cut to its 16 characters.
    EXPECT_EQ(fromAnsi(g.bytesAt(0, g.def().indexOf(QStringLiteral("name")))),
              QStringLiteral("Очень длинное им"));
    EXPECT_FALSE(g.isDeleted(0));
    EXPECT_TRUE(g.isDeleted(1));
    EXPECT_EQ(g.rowOf(2), 1);
    EXPECT_EQ(g.rowOf(3), -1);
    TableData& shab = *s.table(QStringLiteral("gpsshab"));
    EXPECT_EQ(fromAnsi(shab.dictionaryTextAt(0, shab.def().indexOf(QStringLiteral("kind")))),
              QStringLiteral("Ночной"));
}

TEST_F(StorageTest, PasswordsAreNotKeptInClear) {
    {
        Storage s;
        QString error;
        ASSERT_TRUE(s.open(path(), error));
        ASSERT_TRUE(s.setUser(QStringLiteral("operator"), QStringLiteral("секрет-пароль")));
        ASSERT_TRUE(s.setUser(QStringLiteral("other"), QStringLiteral("секрет-пароль")));
        PasswordDigest d;
        ASSERT_TRUE(s.userDigest(QStringLiteral("operator"), d));
        EXPECT_TRUE(PasswordMatches(QStringLiteral("секрет-пароль"), d));
        EXPECT_FALSE(PasswordMatches(QStringLiteral("секрет-пароль"), UnknownUserDigest()));
    }
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll() + QFile(path() + QStringLiteral("-wal")).exists();
    EXPECT_FALSE(all.contains(QStringLiteral("секрет-пароль").toUtf8()));
}

TEST_F(StorageTest, AUserNameKeepsItsIdentifier) {
    int32_t alice = 0;
    {
        Storage s;
        QString error;
        ASSERT_TRUE(s.open(path(), error));
        ASSERT_TRUE(s.replaceUsers({{"alice", "a"}, {"bob", "b"}}));
        alice = s.userId(QStringLiteral("alice"));
        EXPECT_GT(alice, 0);
        EXPECT_NE(s.userId(QStringLiteral("bob")), alice);
        EXPECT_EQ(s.userId(QStringLiteral("nobody")), 0);
        // Removed and named again: the same identifier, never another user's.
        ASSERT_TRUE(s.replaceUsers({{"bob", "b"}}));
        ASSERT_TRUE(s.replaceUsers({{"carol", "c"}, {"alice", "new"}}));
        EXPECT_EQ(s.userId(QStringLiteral("alice")), alice);
        EXPECT_NE(s.userId(QStringLiteral("carol")), alice);
    }
    Storage s;
    QString error;
    ASSERT_TRUE(s.open(path(), error));
    EXPECT_EQ(s.userId(QStringLiteral("alice")), alice);
}

TEST_F(StorageTest, GeneratesVolumes) {
    Storage s;
    QString error;
    ASSERT_TRUE(s.open(path(), error));
    FillDemoData(s, 500, 1);
    for (TableData& t : s.tables()) {
        EXPECT_EQ(t.count(), 500) << t.def().name.toStdString();
    }
}

}  // namespace
