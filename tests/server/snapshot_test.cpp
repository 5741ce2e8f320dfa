// Table files and record updates built by the server, read back by the client's own table code:
// the values arrive, the digests the client's cache keeps are the server's, a request carrying
// them gets no data blocks, and only changed columns travel again.
#include "server/snapshot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "infra/codepage.h"
#include "server/demo_data.h"
#include "server/record_messages.h"
#include "server/storage.h"
#include "tables/base_client.h"
#include "tables/base_set.h"
#include "tables/field.h"

namespace {

// The table file the builder makes, in one array.
QByteArray build(SnapshotBuilder& builder, const TableData& table, const QHash<QString, QString>& digests,
                 int32_t* blocksSent = nullptr) {
    QByteArray file;
    for (const QByteArray& piece : builder.buildPieces(table, digests, blocksSent)) {
        file.append(piece);
    }
    return file;
}

class SnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
        QString error;
        ASSERT_TRUE(storage.open(dir.filePath(QStringLiteral("server.db")), error)) << error.toStdString();
        FillDemoData(storage, 0, 7);
    }

    // Loads the file into a fresh client table of that name, as the session client does.
    TBaseClient* load(const QString& table, const QByteArray& file) {
        int32_t i = clients.IndexOf(table);
        if (i < 0) {
            i = AddTable(clients, table, QString(), QString(), true, false);
        }
        TBaseClient* t = clients[i];
        t->FlagLoadData = false;
        t->SendLoadData = false;
        t->GetJSONLoad();
        QFile f(QStringLiteral("temp/") + table + QStringLiteral(".tbl"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        t->LoadTypeRaw = true;
        t->LoadFileName = table + QStringLiteral(".tbl");
        EXPECT_TRUE(t->LoadFromFile(QStringLiteral("temp/") + table + QStringLiteral(".tbl")));
        return t;
    }

    QString clientText(TBaseClient* t, const QString& column, int32_t row) {
        auto guard = t->Guard();
        return t->GetField(column, row + 1)->AsString();
    }

    QTemporaryDir dir;
    Storage storage;
    SnapshotBuilder builder;
    TBaseC clients;
};

TEST_F(SnapshotTest, EveryTableArrivesWhole) {
    for (TableData& server : storage.tables()) {
        TBaseClient* t = load(server.def().name, build(builder, server, {}));
        auto guard = t->Guard();
        ASSERT_EQ(t->CountRecord, server.count()) << server.def().name.toStdString();
        for (int32_t row = 0; row < server.count(); ++row) {
            EXPECT_EQ(t->GetFieldNumber(1, row + 1)->AsInteger(), server.nAbsAt(row));
            for (size_t c = 0; c < server.def().columns.size(); ++c) {
                const ColumnDef& col = server.def().columns[c];
                if (IsTextCode(col.code)) {
                    EXPECT_EQ(t->GetField(col.name, row + 1)->AsString(),
                              fromAnsi(server.bytesAt(row, int(c))))
                        << server.def().name.toStdString() << "." << col.name.toStdString();
                } else if (FieldIsDictionary(col.code)) {
                    EXPECT_EQ(t->GetField(col.name, row + 1)->AsString(),
                              fromAnsi(server.dictionaryTextAt(row, int(c))));
                }
            }
        }
    }
}

TEST_F(SnapshotTest, CachedDigestsMatchAndSpareTheBlocks) {
    TableData& gps = *storage.table(QStringLiteral("gps"));
    TBaseClient* t = load(QStringLiteral("gps"), build(builder, gps, {}));
    // The client's next request carries the digests of what it cached.
    t->FlagLoadData = false;
    t->SendLoadData = false;
    const QString request = t->GetJSONLoad();
    QHash<QString, QString> digests;
    for (size_t c = 0; c < gps.def().columns.size(); ++c) {
        const QString& name = gps.def().columns[c].name;
        const QString expected = builder.digest(gps, int(c));
        EXPECT_TRUE(request.contains(QStringLiteral("\"%1\":\"%2\"").arg(name, expected)))
            << name.toStdString() << " " << request.toStdString();
        digests.insert(name, expected);
    }
    int32_t blocks = -1;
    build(builder, gps, digests, &blocks);
    EXPECT_EQ(blocks, 0);

    // A changed text moves one column's digest; only that column travels, and the client ends up
    // with the new text and every cached column intact.
    const int name = gps.def().indexOf(QStringLiteral("name"));
    gps.setBytes(2, name, toAnsi(QStringLiteral("Новое имя")));
    const QByteArray file = build(builder, gps, digests, &blocks);
    EXPECT_EQ(blocks, 1);
    t = load(QStringLiteral("gps"), file);
    EXPECT_EQ(clientText(t, QStringLiteral("name"), 2), QStringLiteral("Новое имя"));
    EXPECT_EQ(clientText(t, QStringLiteral("gosnum"), 2),
              fromAnsi(gps.bytesAt(2, gps.def().indexOf(QStringLiteral("gosnum")))));
}

// The builder keeps each column's payload until that column changes. After every kind of change,
// whole files and files for a client holding the earlier digests must be what a builder that never
// saw the table before makes.
TEST_F(SnapshotTest, CachedColumnsFollowEveryKindOfChange) {
    struct Case {
        const char* what;
        const char* table;
        std::function<void(TableData&)> change;
    };
    const auto col = [](TableData& t, const char* name) {
        return t.def().indexOf(QString::fromLatin1(name));
    };
    const std::vector<Case> cases = {
        {"integer", "gps", [&](TableData& t) { t.setInt(1, col(t, "type"), 42); }},
        {"real", "gps", [&](TableData& t) { t.setReal(0, col(t, "lat"), 55.75); }},
        {"fixed text", "gps", [&](TableData& t) { t.setBytes(2, col(t, "sim"), "79001234567"); }},
        {"growing text", "gps", [&](TableData& t) { t.setBytes(0, col(t, "name"), "renamed"); }},
        {"raw bytes", "gps", [&](TableData& t) { t.setBytes(1, col(t, "sensors"), "\x01\x02\x03"); }},
        {"dictionary text", "object",
         [&](TableData& t) { t.setDictionaryText(0, col(t, "otdel"), "new dept"); }},
        {"dictionary entry", "gpsshab",
         [&](TableData& t) { t.putDictionaryEntry(col(t, "kind"), 1, "renamed"); }},
        {"stamp", "gpeople", [&](TableData& t) { t.stamp(0, 3, 46000.5, 800000000); }},
        {"deletion flag", "groupgps", [&](TableData& t) { t.setInt(0, 1, t.intAt(0, 1) | 1); }},
        {"added record", "gpsug", [&](TableData& t) { t.setInt(t.appendRecord(), col(t, "typeu"), 2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TableData& t = *storage.table(QString::fromLatin1(c.table));
        build(builder, t, {});
        QHash<QString, QString> earlier;
        for (size_t i = 0; i < t.def().columns.size(); ++i) {
            earlier.insert(t.def().columns[i].name, builder.digest(t, int(i)));
        }
        c.change(t);
        SnapshotBuilder fresh;
        EXPECT_EQ(build(builder, t, {}), build(fresh, t, {}));
        int32_t blocks = 0;
        EXPECT_EQ(build(builder, t, earlier, &blocks), build(fresh, t, earlier));
        EXPECT_GE(blocks, 1);
        for (size_t i = 0; i < t.def().columns.size(); ++i) {
            EXPECT_EQ(builder.digest(t, int(i)), fresh.digest(t, int(i)))
                << t.def().columns[i].name.toStdString();
        }
    }
}

// A record added with only some columns given still has a whole value in every column, so the
// blocks after a raw-bytes column stay aligned.
TEST_F(SnapshotTest, AnAddedRecordWithoutRawBytesLoads) {
    TableData& gps = *storage.table(QStringLiteral("gps"));
    builder.prepare(gps);
    const int32_t row = gps.appendRecord();
    gps.setInt(row, gps.def().indexOf(QStringLiteral("type")), 7);
    gps.setBytes(row, gps.def().indexOf(QStringLiteral("name")), "added");
    const QByteArray update = RecordUpdateMessage(gps, row);
    TBaseClient* t = load(QStringLiteral("gps"), build(builder, gps, {}));
    {
        auto guard = t->Guard();
        ASSERT_EQ(t->CountRecord, gps.count());
        EXPECT_EQ(t->GetField(QStringLiteral("type"), row + 1)->AsInteger(), 7);
        EXPECT_EQ(t->GetField(QStringLiteral("name"), row + 1)->AsString(), QStringLiteral("added"));
    }
    // The record update carries the same whole record: applying it changes nothing.
    {
        auto guard = t->Guard();
        t->PutDataFieldPos(row, update.mid(4));
        t->RefreshData();
        EXPECT_EQ(t->GetField(QStringLiteral("type"), row + 1)->AsInteger(), 7);
        EXPECT_EQ(t->GetField(QStringLiteral("name"), row + 1)->AsString(), QStringLiteral("added"));
    }
}

TEST_F(SnapshotTest, RecordUpdatesKeepEarlierOffsetsValid) {
    TableData& people = *storage.table(QStringLiteral("gpeople"));
    TBaseClient* t = load(QStringLiteral("gpeople"), build(builder, people, {}));
    const int fio = people.def().indexOf(QStringLiteral("fio"));
    const QString before = clientText(t, QStringLiteral("fio"), 0);

    // A change of record 1, then an addition: each update carries only its own text, and the text
    // of record 0 must still be found where the client loaded it.
    people.setBytes(1, fio, toAnsi(QStringLiteral("Сидоров Пётр Ильич")));
    QByteArray update = RecordUpdateMessage(people, 1);
    {
        auto guard = t->Guard();
        t->PutDataFieldPos(1, update.mid(4));
    }
    const int32_t row = people.appendRecord();
    people.setBytes(row, fio, toAnsi(QStringLiteral("Новиков Иван")));
    update = RecordUpdateMessage(people, row);
    {
        auto guard = t->Guard();
        t->PutDataFieldPos(row, update.mid(4));
        t->RefreshData();
    }
    EXPECT_EQ(clientText(t, QStringLiteral("fio"), 0), before);
    EXPECT_EQ(clientText(t, QStringLiteral("fio"), 1), QStringLiteral("Сидоров Пётр Ильич"));
    EXPECT_EQ(clientText(t, QStringLiteral("fio"), row), QStringLiteral("Новиков Иван"));
    auto guard = t->Guard();
    EXPECT_EQ(t->CountRecord, people.count());
}

TEST_F(SnapshotTest, RefreshTextCarriesTheSameBytes) {
    TableData& members = *storage.table(QStringLiteral("gpsug"));
    const QByteArray update = RecordUpdateMessage(members, 0);
    const QString text = RefreshDataText(update);
    EXPECT_TRUE(text.startsWith(QStringLiteral("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"gpsug\"")));
    EXPECT_TRUE(text.contains(QString::fromLatin1(update.mid(4).toHex().toUpper())));
    EXPECT_TRUE(text.endsWith(QStringLiteral(",\"pos\":0}")));
    EXPECT_LE(text.size(), 960);
    // The bytes sent: the same text, or nothing when it would not fit or the message is no update.
    EXPECT_EQ(RefreshDataBytes(update, 960), text.toLatin1());
    EXPECT_TRUE(RefreshDataBytes(update, text.size() - 1).isEmpty());
    EXPECT_TRUE(RefreshDataBytes(RecordDeletedMessage(members, members.nAbsAt(0)), 960).isEmpty());
    EXPECT_TRUE(RefreshDataBytes(update.left(3), 960).isEmpty());
}

}  // namespace
