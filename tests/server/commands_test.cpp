// What the server answers a logged-in client: load requests and snapshot fetches, edits stored and
// distributed before they are confirmed, deletions, and refusals of what a client must not do.
#include "server/commands.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "infra/codepage.h"
#include "infra/json_text.h"
#include "server/demo_data.h"
#include "server/record_messages.h"
#include "session_probe.h"

namespace {

class CommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(storage.open(dir.filePath(QStringLiteral("server.db")), error));
        FillDemoData(storage, 0, 1);
        for (ClientSession* s : {&a, &b}) {
            s->logIn(QStringLiteral("admin"), storage.userId(QStringLiteral("admin")), 1);
            for (const TableDef& t : ServerTables()) {
                s->loadedTables.insert(t.name);
            }
        }
        pa.run(a);
        pb.run(b);
        pa.messages.clear();
        pb.messages.clear();
    }

    QTemporaryDir dir;
    Storage storage;
    Commands commands{storage, FilesFolder(dir.filePath(QStringLiteral("files")), ServerLimits{}),
                      [](const QString&) {},
                      [this](const std::function<void(ClientSession&)>& f) {
                          f(a);
                          f(b);
                      }};
    SessionProbe pa;
    SessionProbe pb;
    MemoryBudget partials{1 << 26};
    ClientSession a{UdpAddress{0x7F000001, 5001}, pa.sender(), 0, partials};
    ClientSession b{UdpAddress{0x7F000001, 5002}, pb.sender(), 0, partials};
};

TEST_F(CommandsTest, LoadRequestThenFetchOfTheSnapshot) {
    commands.handle(
        a,
        QStringLiteral("{\"$c$\":\"database\",\"command\":\"gettableraw\",\"refresh\":1,\"name\":\"gpsug\","
                       "\"md5\":{},\"filter\":{}}"));
    pa.run(a);
    ASSERT_EQ(pa.texts().size(), 1u);
    const QString announce = pa.texts()[0];
    EXPECT_EQ(GetJSONValue(announce, QStringLiteral("$c$")), QStringLiteral("tablerawfromfile"));
    EXPECT_EQ(GetJSONValue(announce, QStringLiteral("name")), QStringLiteral("gpsug"));
    EXPECT_EQ(GetJSONValue(announce, QStringLiteral("zip")), QStringLiteral("0"));
    const QString file = GetJSONValue(announce, QStringLiteral("filename"));

    // Another session's folder is not this one's.
    commands.handle(b, QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\") + a.tid +
                           QStringLiteral("\\\\") + file + QStringLiteral("\",\"name\":\"x\"}"));
    pb.run(b);
    ASSERT_EQ(pb.texts().size(), 1u);
    EXPECT_EQ(GetJSONValue(pb.texts()[0], QStringLiteral("$c$")), QStringLiteral("sendfilenotfind"));

    a.loadedTables.clear();
    commands.handle(a, QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\") + a.tid +
                           QStringLiteral("\\\\") + file + QStringLiteral("\",\"name\":\"") + file +
                           QStringLiteral("\",\"delete\":1}"));
    EXPECT_TRUE(a.loadedTables.contains(QStringLiteral("gpsug")));
    pa.run(a);
    ASSERT_EQ(pa.texts().size(), 2u);
    EXPECT_EQ(pa.texts()[1],
              QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"") + file + QStringLiteral("\"}"));
    commands.handle(a, QStringLiteral("{\"$c$\":\"startrecivefile\"}"));
    pa.run(a);
    ASSERT_EQ(pa.messages.size(), 3u);
    EXPECT_EQ(pa.messages[2].type, PacketTypes::File);
    EXPECT_EQ(pa.messages[2].bytes.left(6), QByteArray("\x05gpsug", 6));
}

// The digest of a column the client holds leaves the column's data out, whatever pairs stand around
// it; of two for one column the first counts.
TEST_F(CommandsTest, DigestsAreFoundAmongOtherPairs) {
    SnapshotBuilder builder;
    const QString digest = builder.digest(*storage.table(QStringLiteral("gpsug")), 0);
    const auto sizeOf = [&](const QString& pairs) {
        commands.handle(a, QStringLiteral("{\"$c$\":\"database\",\"command\":\"gettableraw\",\"refresh\":1,"
                                          "\"name\":\"gpsug\",\"md5\":{") +
                               pairs + QStringLiteral("}}"));
        pa.run(a);
        return GetJSONValue(pa.texts().back(), QStringLiteral("size")).toLongLong();
    };
    const qint64 full = sizeOf({});
    EXPECT_LT(
        sizeOf(QStringLiteral("\"x\":1,\"nope\":\"zz\",\"n_abs\":\"%1\",\"n_abs\":\"other\"").arg(digest)),
        full);
    EXPECT_EQ(sizeOf(QStringLiteral("\"n_abs\":\"other\",\"n_abs\":\"%1\"").arg(digest)), full);
}

TEST_F(CommandsTest, AdditionReachesEveryoneBeforeItsConfirmation) {
    commands.handle(
        a, QStringLiteral("{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"gpsug\","
                          "\"fields\":{\"n_absg\":2,\"n_absu\":5,\"typeu\":1}}"));
    pa.run(a);
    pb.run(b);
    const TableData& members = *storage.table(QStringLiteral("gpsug"));
    const int32_t row = members.count() - 1;
    EXPECT_EQ(members.intAt(row, members.def().indexOf(QStringLiteral("n_absu"))), 5);
    ASSERT_EQ(pa.texts().size(), 2u);
    EXPECT_EQ(GetJSONValue(pa.texts()[0], QStringLiteral("$c$")), QStringLiteral("refreshdatadatabase"));
    EXPECT_EQ(GetJSONValue(pa.texts()[0], QStringLiteral("pos")), QString::number(row));
    EXPECT_EQ(pa.texts()[1],
              QStringLiteral("{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gpsug\",\"n_abs\":") +
                  QString::number(members.nAbsAt(row)) + u'}');
    ASSERT_EQ(pb.texts().size(), 1u);
    EXPECT_EQ(pb.texts()[0], pa.texts()[0]);
}

TEST_F(CommandsTest, AnEditIsConfirmedUnlessThatIsSwitchedOff) {
    const QString edit = QStringLiteral(
        "{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"nametable\":\"groupgps\","
        "\"n_abs\":2,\"fields\":{\"name\":\"Юг\"}}");
    const QString addition = QStringLiteral(
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"gpsug\","
        "\"fields\":{\"n_absg\":2,\"n_absu\":5,\"typeu\":1}}");
    // The confirmations the sender got for what `text` asked, one text per confirmation.
    auto confirmationsOf = [this](const QString& text) {
        pa.messages.clear();
        commands.handle(a, text);
        pa.run(a);
        QStringList confirmations;
        for (const QString& t : pa.texts()) {
            if (GetJSONValue(t, QStringLiteral("$c$")) == QStringLiteral("netyesadddatadatabase")) {
                confirmations << t;
            }
        }
        return confirmations;
    };
    EXPECT_EQ(confirmationsOf(edit),
              QStringList({"{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"groupgps\",\"n_abs\":2}"}));
    commands.setConfirmEdits(false);
    EXPECT_TRUE(confirmationsOf(edit).isEmpty());
    const QStringList added = confirmationsOf(addition);
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(GetJSONValue(added[0], QStringLiteral("nametable")), QStringLiteral("gpsug"));
}

TEST_F(CommandsTest, LongRecordsGoAsBinaryAndLooseValuesAreRead) {
    commands.handle(
        a, QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"nametable\":\"gps\","
                          "\"n_abs\":3,\"fields\":{\"lat\":56,25,\"active\":F,\"sensors\":[1,2,3],"
                          "\"name\":\"Экипаж \\\"Юг\\\"\",\"mapcolor\":255,}}"));
    pb.run(b);
    ASSERT_EQ(pb.messages.size(), 1u);
    EXPECT_EQ(pb.messages[0].type, PacketTypes::Raw);
    EXPECT_EQ(uint8_t(pb.messages[0].bytes[0]), RecordKind::Update);
    const TableData& gps = *storage.table(QStringLiteral("gps"));
    const int32_t row = gps.rowOf(3);
    EXPECT_DOUBLE_EQ(gps.realAt(row, gps.def().indexOf(QStringLiteral("lat"))), 56.25);
    EXPECT_EQ(gps.intAt(row, gps.def().indexOf(QStringLiteral("active"))), 0);
    EXPECT_EQ(gps.bytesAt(row, gps.def().indexOf(QStringLiteral("sensors"))),
              QByteArray("\1\2\3\0\0\0\0\0", 8));
    EXPECT_EQ(fromAnsi(gps.bytesAt(row, gps.def().indexOf(QStringLiteral("name")))),
              QStringLiteral("Экипаж \"Юг\""));
    EXPECT_EQ(gps.intAt(row, gps.def().indexOf(QStringLiteral("ver"))), 2);
}

TEST_F(CommandsTest, DeletionSetsTheFlagAndTellsEveryone) {
    commands.handle(
        a, QStringLiteral(
               "{\"$c$\":\"database\",\"command\":\"netdeletedatadatabase\",\"nametable\":\"groupgps\","
               "\"n_abs\":\"2\",}"));
    pb.run(b);
    const TableData& groups = *storage.table(QStringLiteral("groupgps"));
    EXPECT_TRUE(groups.isDeleted(groups.rowOf(2)));
    ASSERT_EQ(pb.messages.size(), 1u);
    const QByteArray& m = pb.messages[0].bytes;
    ASSERT_EQ(uint8_t(m[0]), RecordKind::Batch);
    EXPECT_EQ(uint8_t(m[4]), 2);
    EXPECT_TRUE(m.endsWith(RecordDeletedMessage(groups, 2)));
    // Editing a deleted record is refused.
    commands.handle(
        a,
        QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"nametable\":\"groupgps\","
                       "\"n_abs\":2,\"fields\":{\"status\":1}}"));
    pa.run(a);
    ASSERT_FALSE(pa.texts().empty());
    EXPECT_EQ(GetJSONValue(pa.texts().back(), QStringLiteral("$c$")), QStringLiteral("neterrordatadatabase"));
}

TEST_F(CommandsTest, RefusalsChangeNothing) {
    const char* bad[] = {
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"users\",\"fields\":{}}",
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"gps\",\"fields\":{"
        "\"nosuch\":1}}",
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"gps\",\"fields\":{\"type\":"
        "\"x\"}}",
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"gps\",\"fields\":{\"type\"",
        "{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"nametable\":\"gps\",\"n_abs\":999,"
        "\"fields\":{}}",
        "{\"$c$\":\"database\",\"command\":\"netdeletedatadatabase\",\"nametable\":\"gps\",\"n_abs\":\"x\",}",
    };
    const int32_t before = storage.table(QStringLiteral("gps"))->count();
    for (const char* text : bad) {
        commands.handle(a, QString::fromUtf8(text));
    }
    pa.run(a, 2000);
    pb.run(b);
    EXPECT_EQ(storage.table(QStringLiteral("gps"))->count(), before);
    EXPECT_TRUE(pb.messages.empty());
    ASSERT_EQ(pa.texts().size(), std::size(bad));
    for (const QString& t : pa.texts()) {
        EXPECT_EQ(GetJSONValue(t, QStringLiteral("$c$")), QStringLiteral("neterrordatadatabase"))
            << t.toStdString();
    }
    // Texts that are no commands at all are only logged.
    for (const char* text :
         {"", "garbage", "{\"$c$\":\"database\"}", "{\"$c$\":\"getfile\"}", "{\"$c$\":\"sendfile\"}"}) {
        commands.handle(b, QString::fromUtf8(text));
    }
    pb.run(b);
    for (const QString& t : pb.texts()) {
        EXPECT_NE(GetJSONValue(t, QStringLiteral("$c$")), QStringLiteral("startrecivefile"))
            << t.toStdString();
    }
}

TEST_F(CommandsTest, UploadsAreConfinedToTheFilesFolder) {
    commands.handle(
        a, QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"x.jpg\",\"nameinserv\":\"..\\\\..\\\\x.jpg\"}"));
    commands.handle(
        b, QStringLiteral(
               "{\"$c$\":\"sendfile\",\"name\":\"x.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\x.jpg\"}"));
    // The client repeats its offer until it hears the answer: one answer is enough.
    commands.handle(
        b, QStringLiteral(
               "{\"$c$\":\"sendfile\",\"name\":\"x.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\x.jpg\"}"));
    pa.run(a);
    pb.run(b);
    ASSERT_EQ(pa.texts().size(), 1u);
    EXPECT_EQ(pa.texts()[0], QStringLiteral("{\"$c$\":\"startrecivefileerror\"}"));
    EXPECT_FALSE(a.uploadPending());
    ASSERT_EQ(pb.texts().size(), 1u);
    EXPECT_EQ(pb.texts()[0], QStringLiteral("{\"$c$\":\"startrecivefile\"}"));
    EXPECT_EQ(b.uploadPath(), QStringLiteral("photo/mobile/x.jpg"));
    // A second upload to a path in progress is refused.
    commands.handle(
        a, QStringLiteral(
               "{\"$c$\":\"sendfile\",\"name\":\"x.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\x.jpg\"}"));
    pa.run(a);
    ASSERT_EQ(pa.texts().size(), 2u);
    EXPECT_EQ(pa.texts()[1], QStringLiteral("{\"$c$\":\"startrecivefileerror\"}"));
}

}  // namespace
