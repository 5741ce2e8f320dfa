// Loading every table after a login, and the record changes that follow it.
#include <QDir>
#include <QFile>

#include "client_fixture.h"
#include "infra/codepage.h"
#include "tables/table_file_writer.h"

namespace {

const QStringList kTables = {QStringLiteral("object"),   QStringLiteral("gps"),   QStringLiteral("gpeople"),
                             QStringLiteral("groupgps"), QStringLiteral("gpsug"), QStringLiteral("gpsshab")};

TableFileColumn Column(int32_t id, const char* name, uint8_t code, int32_t size) {
    TableFileColumn c;
    c.n_abs = id;
    c.name = QString::fromLatin1(name);
    c.TypeField = code;
    c.Size = size;
    return c;
}

// A table file with records 17, 18, ... (count of them): "n_abs" and "p_d".
QByteArray TableFile(const QString& name, int32_t count = 2) {
    TableFileContent t;
    t.name = name;
    t.RecordCount = count;
    t.columns = {Column(1, "n_abs", 1, 4), Column(2, "p_d", 3, 1)};
    for (int32_t i = 0; i < count; ++i) {
        AppendValue(t.columns[0], int32_t(17 + i));
        AppendValue(t.columns[1], uint8_t(0));
    }
    return WriteTableFile(t, false);
}

void AppendInt32(QByteArray& out, int32_t v) {
    for (int k = 0; k < 4; ++k) {
        out.append(char(uint32_t(v) >> (8 * k)));
    }
}

// A kind-3 record message: delete record n_abs of the table.
QByteArray DeleteMessage(const QString& table, int32_t n_abs) {
    QByteArray m;
    AppendInt32(m, 3);
    QByteArray name = toAnsi(table);
    m.append(char(name.size()));
    m.append(name.leftJustified(8, '\0'));
    AppendInt32(m, n_abs);
    return m;
}

class TableLoading : public ClientFixture {
  protected:
    void SetUp() override {
        ClientFixture::SetUp();
        for (const QString& name : kTables) {
            AddTable(tables, name, QString(), QString(), false, false);
        }
        MakeClient();
        client->SetBases(&tables);
    }
    // Logs in and loads all six tables.
    void LoadAll() {
        Login();
        for (const QString& name : kTables) {
            ASSERT_TRUE(ServeTableLoad(name, TableFile(name))) << name.toStdString();
        }
        ASSERT_TRUE(PumpUntil([this] { return client->DatabaseLoad.load(); }));
    }
    // Read from the stored columns: the table's look-ups skip deleted records.
    bool Deleted(const QString& table, int32_t n_abs) {
        TBaseClient* t = tables.Find(table);
        auto guard = t->Guard();
        const auto& ids = t->FindColumn(QStringLiteral("n_abs"), false)->Data.DataInteger;
        const auto& flags = t->FindColumn(QStringLiteral("p_d"), false)->Data.DataByte;
        for (size_t r = 0; r < ids.size() && r < flags.size(); ++r) {
            if (ids[r] == n_abs) {
                return flags[r] & 1;
            }
        }
        return false;
    }
    // Whether the client's log holds this line yet (the log thread writes every 50 ms). The file is
    // found by listing: asking for today's date here would race with the log thread's clock.
    bool LogHas(const QString& text) {
        return PumpUntil(
            [&] {
                for (const QFileInfo& info : QDir(QStringLiteral("logs")).entryInfoList(QDir::Files)) {
                    QFile log(info.filePath());
                    if (log.open(QIODevice::ReadOnly) && fromAnsi(log.readAll()).contains(text)) {
                        return true;
                    }
                }
                return false;
            },
            2000);
    }
};

TEST_F(TableLoading, SixTablesLoadInOrderAndDatabaseLoadFollowsTheSixth) {
    Login();
    EXPECT_FALSE(client->DatabaseLoad);
    for (const QString& name : kTables) {
        EXPECT_FALSE(client->DatabaseLoad);
        ASSERT_TRUE(ServeTableLoad(name, TableFile(name))) << name.toStdString();
        const QString notice = AwaitNotice(QStringLiteral("tableload"));
        EXPECT_EQ(notice, QStringLiteral("{\"$c$\":\"tableload\",\"name\":\"") + name +
                              QStringLiteral("\",\"size\":\"") + QString::number(TableFile(name).size()) +
                              QStringLiteral("\",\"count\":2}"));
        EXPECT_TRUE(tables.Find(name)->FlagLoadData);
        EXPECT_FALSE(QFile::exists(QStringLiteral("temp/") + name + QStringLiteral(".tbl")));
    }
    EXPECT_TRUE(PumpUntil([this] { return client->DatabaseLoad.load(); }));
    EXPECT_EQ(client->LoadBaseName.Get(), QString());
    int64_t total = 0;
    for (const QString& name : kTables) {
        total += TableFile(name).size();
    }
    EXPECT_EQ(client->SizeLoad, total);
}

// A table file that fails to load is not announced as loaded: the failure is reported, the table's
// cache goes and the table is asked for again without digests; the loading then completes.
TEST_F(TableLoading, ABrokenTableFileIsReportedAndAskedForAgainWithoutDigests) {
    tables.Find(QStringLiteral("gps"))->Cache = true;
    LoadAll();
    client->Disconnect(DisconnectCode::NoSignOfLife);
    peer.Poll(20);
    peer.messages.clear();
    Login();
    ASSERT_TRUE(ServeTableLoad(QStringLiteral("object"), TableFile(QStringLiteral("object"))));
    const auto digestsOf = [](const PeerMessage& request) {
        return GetJSONValue(request.Text(), QStringLiteral("md5"));
    };
    auto cached = peer.AwaitCommand(QStringLiteral("database"), Pump());
    ASSERT_TRUE(cached);
    EXPECT_FALSE(digestsOf(*cached).isEmpty());
    peer.messages.push_front(*cached);
    ASSERT_TRUE(ServeTableLoad(QStringLiteral("gps"), TableFile(QStringLiteral("gps")).left(40)));

    const QString error = AwaitNotice(QStringLiteral("tableloaderror"));
    EXPECT_EQ(GetJSONValue(error, QStringLiteral("name")), QStringLiteral("gps"));
    // The tables still to load come in their turn, gps among them once more.
    QStringList left = kTables.mid(2);
    left << QStringLiteral("gps");
    while (!left.isEmpty()) {
        auto request = peer.AwaitCommand(QStringLiteral("database"), Pump());
        ASSERT_TRUE(request);
        const QString name = GetJSONValue(request->Text(), QStringLiteral("name"));
        ASSERT_TRUE(left.removeOne(name)) << name.toStdString();
        if (name == u"gps") {
            EXPECT_TRUE(digestsOf(*request).isEmpty()) << request->Text().toStdString();
        }
        peer.messages.push_front(*request);
        ASSERT_TRUE(ServeTableLoad(name, TableFile(name))) << name.toStdString();
    }
    ASSERT_TRUE(PumpUntil([this] { return client->DatabaseLoad.load(); }));
    auto guard = tables.Find(QStringLiteral("gps"))->Guard();
    EXPECT_EQ(tables.Find(QStringLiteral("gps"))->CountRecordFilter, 2);
}

TEST_F(TableLoading, ASnapshotForAnUnknownTableEndsAsAnOrdinaryFile) {
    Login();
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("database"), Pump()));
    peer.SendText(
        QStringLiteral("{\"$c$\":\"tablerawfromfile\",\"name\":\"nosuch\",\"filename\":\"d:\\\\x\\\\n.tbl\","
                       "\"size\":\"q\"}"));
    auto get = peer.AwaitCommand(QStringLiteral("getfile"), Pump());
    ASSERT_TRUE(get);
    EXPECT_EQ(get->Text(),
              QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\") + kTid +
                  QStringLiteral("\\\\d:\\\\x\\\\n.tbl\",\"name\":\"d:\\\\x\\\\n.tbl\",\"delete\":1}"));
    peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"d:\\\\x\\\\n.tbl\"}"));
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("startrecivefile"), Pump()));
    peer.SendBytes(PacketTypes::File, "data");
    EXPECT_EQ(AwaitNotice(QStringLiteral("getfileok")),
              QStringLiteral("{\"$c$\":\"getfileok\",\"name\":\"n.tbl\"}"));
    EXPECT_EQ(client->SizeLoad, 0);
}

TEST_F(TableLoading, RecordMessagesWaitForLoadingAndRefreshTheirTable) {
    QStringList refreshed;
    client->SetOnRefreshDatabase([&refreshed](client_udp*, const QString& name) { refreshed << name; });
    Login();
    client->SoobERAW.PutSoob(DeleteMessage(QStringLiteral("gps"), 18));
    ASSERT_TRUE(ServeTableLoad(kTables[0], TableFile(kTables[0])));
    EXPECT_EQ(client->SoobERAW.CountSoob(), 1);
    for (qsizetype i = 1; i < kTables.size(); ++i) {
        ASSERT_TRUE(ServeTableLoad(kTables[i], TableFile(kTables[i])));
    }
    ASSERT_TRUE(
        PumpUntil([this] { return !client->SoobERAW.IsSoob() && Deleted(QStringLiteral("gps"), 18); }));
    ASSERT_TRUE(PumpUntil([&] { return refreshed.contains(QStringLiteral("gps")); }));
    EXPECT_FALSE(tables.Find(QStringLiteral("gps"))->RefreshYes);
}

// Tables load beside the loop; a change sent right behind its table's file must still land on the
// loaded table, never on the one the load is about to replace. A large file keeps the load busy
// while the change arrives.
TEST_F(TableLoading, AChangeRightBehindItsTableFileLandsOnTheLoadedTable) {
    constexpr int32_t kRecords = 20000;
    Login();
    ASSERT_TRUE(ServeTableLoad(kTables[0], TableFile(kTables[0])));
    const QByteArray gps = TableFile(kTables[1], kRecords);
    const int64_t acked = peer.acksReceived;
    ASSERT_TRUE(ServeTableLoad(kTables[1], gps));
    // The change goes once the file is through: a later message makes a client drop what is still
    // missing of an earlier one.
    const int64_t packets = 2 + (gps.size() + kMaxDataBytes - 1) / kMaxDataBytes;
    ASSERT_TRUE(PumpUntil([&] { return peer.acksReceived >= acked + packets; }));
    // Record update of gps at position kRecords - 1: "p_d" := 1 (deleted).
    QByteArray update;
    update.append(char(3));
    update.append(QByteArray("gps").leftJustified(8, '\0'));
    AppendInt32(update, kRecords - 1);
    AppendInt32(update, kRecords);
    update.append(char(3));
    update.append(QByteArray("p_d").leftJustified(15, '\0'));
    update.append(char(1));
    peer.SendText(QStringLiteral("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"gps\",\"fields\":\"") +
                  QString::fromLatin1(update.toHex()) + QStringLiteral("\",\"pos\":") +
                  QString::number(kRecords - 1) + u'}');
    for (qsizetype i = 2; i < kTables.size(); ++i) {
        ASSERT_TRUE(ServeTableLoad(kTables[i], TableFile(kTables[i])));
    }
    ASSERT_TRUE(PumpUntil([this] { return client->DatabaseLoad.load(); }));
    EXPECT_TRUE(Deleted(QStringLiteral("gps"), 17 + kRecords - 1));
    EXPECT_FALSE(Deleted(QStringLiteral("gps"), 17));
}

TEST_F(TableLoading, AnEmptyBatchChangesNothingAndIsLogged) {
    LoadAll();
    QByteArray batch;
    AppendInt32(batch, 4);
    batch.append('\0');
    client->DispatchRaw(batch);
    EXPECT_TRUE(LogHas(QStringLiteral(" - raw10 0")));
    EXPECT_FALSE(Deleted(QStringLiteral("gps"), 17));
}

TEST_F(TableLoading, ABatchStopsAtItsLastWholeItem) {
    LoadAll();
    const QByteArray first = DeleteMessage(QStringLiteral("gps"), 17);
    const QByteArray second = DeleteMessage(QStringLiteral("gps"), 18);
    QByteArray batch;
    AppendInt32(batch, 4);
    batch.append(char(3));
    AppendInt32(batch, int32_t(first.size()));
    batch += first;
    // The second item claims one byte more than the message holds; a third is announced but absent.
    AppendInt32(batch, int32_t(second.size()) + 1);
    batch += second;
    client->DispatchRaw(batch);
    EXPECT_TRUE(Deleted(QStringLiteral("gps"), 17));
    EXPECT_FALSE(Deleted(QStringLiteral("gps"), 18));
    EXPECT_TRUE(LogHas(QStringLiteral(" - raw10 3")));
}

TEST_F(TableLoading, UnreadableRecordChangesChangeNothing) {
    LoadAll();
    TBaseClient* gps = tables.Find(QStringLiteral("gps"));
    gps->RefreshYes = false;
    for (const char* text : {R"({"$c$":"refreshdatadatabase","nametable":"gps","fields":"0g","pos":1})",
                             R"({"$c$":"refreshdatadatabase","nametable":"gps","fields":"","pos":1})",
                             R"({"$c$":"refreshdatadatabase","nametable":"gps","fields":"0011","pos":"x"})",
                             R"({"$c$":"refreshdatadatabase","nametable":"gps","fields":"0011"})"}) {
        client->DispatchJSON(QString::fromLatin1(text));
        EXPECT_FALSE(gps->RefreshYes) << text;
    }
    client->DispatchJSON(
        QStringLiteral(R"({"$c$":"refreshdatadatabase","nametable":"gps","fields":"0367707","pos":0})"));
    EXPECT_TRUE(gps->RefreshYes);
}

}  // namespace
