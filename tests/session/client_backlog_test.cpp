// The operator's commands survive a dropped session in the backlog and are replayed, once each,
// after the next login and loading.
#include <QFile>

#include "client_fixture.h"
#include "tables/table_file_writer.h"

namespace {

const QString kEdit =
    QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"name\":\"gps\"}");
const QString kPutFile =
    QStringLiteral("{\"$c$\":\"putfile\",\"name\":\"up.jpg\",\"nameinserv\":\"photo\\\\mobile\\\\up.jpg\"}");

QByteArray EmptyTableFile(const QString& name) {
    TableFileContent t;
    t.name = name;
    TableFileColumn id;
    id.n_abs = 1;
    id.name = QStringLiteral("n_abs");
    id.TypeField = 1;
    id.Size = 4;
    t.columns.push_back(id);
    return WriteTableFile(t, false);
}

class Backlog : public ClientFixture {
  protected:
    void Drop() {
        peer.SendText(QStringLiteral("{\"$c$\":\"startrecivefileerror2\"}"));
        ASSERT_FALSE(AwaitNotice(QStringLiteral("disconnected")).isEmpty());
        // Copies of the dropped session's messages still on the way are no news for the next one.
        peer.Poll(20);
        peer.messages.clear();
    }
    // Lets the backlog step run (it looks at most every 100 ms) without letting the link time out.
    std::function<void()> PumpOverTime() {
        return [this] {
            if (++passes % 50 == 0) {
                Advance(101);
            }
            client->Pass();
        };
    }
    bool BacklogEmpties() {
        auto pump = PumpOverTime();
        return PumpUntil([&] {
            pump();
            return client->Back.Count() == 0;
        });
    }
    static void Store(const QStringList& entries) {
        TBackSoobString stored;
        stored.NameBack = QStringLiteral("dd8");
        stored.Init();
        for (const QString& entry : entries) {
            stored.PutSoob(entry);
        }
    }
    int passes = 0;
};

TEST_F(Backlog, CommandsKeptAcrossADropAreReplayedInOrderAfterTheNextLogin) {
    MakeClient();
    Login();
    QFile local(QStringLiteral("up.jpg"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("jpeg");
    local.close();
    peer.autoAck = false;
    client->Soob.PutSoob(kEdit);
    client->Soob.PutSoob(QStringLiteral("{\"$c$\":\"getfile\",\"nameinserv\":\"x\",\"name\":\"x\"}"));
    client->SoobFile.PutSoob(kPutFile);
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("sendfile"), Pump()));
    Drop();
    EXPECT_FALSE(client->Soob.IsSoob());
    EXPECT_FALSE(client->SoobFile.IsSoob());
    // The edit and the unfinished file are kept; the file request belonged to the dropped session.
    ASSERT_EQ(client->Back.Count(), 2);
    QString oldest;
    ASSERT_TRUE(client->Back.GetSoob(oldest));
    EXPECT_EQ(oldest, kEdit);

    peer.autoAck = true;
    Login();
    auto edit = peer.AwaitCommand(QStringLiteral("database"), PumpOverTime());
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->Text(), kEdit);
    auto offer = peer.AwaitCommand(QStringLiteral("sendfile"), PumpOverTime());
    ASSERT_TRUE(offer);
    EXPECT_EQ(GetJSONValue(offer->Text(), QStringLiteral("nameinserv")),
              QStringLiteral("photo\\mobile\\up.jpg"));
    peer.SendText(QStringLiteral("{\"$c$\":\"startrecivefile\"}"));
    auto file = peer.Await([](const PeerMessage& m) { return m.type == PacketTypes::File; }, PumpOverTime());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->bytes, QByteArray("jpeg"));
    EXPECT_TRUE(BacklogEmpties());
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("getfile"), Pump(), 50));
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("database"), PumpOverTime(), 100));
}

TEST_F(Backlog, ReplayWaitsForLoadingAndAnEntryInFlightIsNotKeptTwice) {
    Store({kEdit});
    AddTable(tables, QStringLiteral("gps"), QString(), QString(), false, false);
    MakeClient();
    client->SetBases(&tables);
    Login();
    auto first = peer.AwaitCommand(QStringLiteral("database"), PumpOverTime());
    ASSERT_TRUE(first);
    EXPECT_EQ(GetJSONValue(first->Text(), QStringLiteral("command")), QStringLiteral("gettableraw"));
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("database"), PumpOverTime(), 100));

    peer.messages.push_front(*first);
    ASSERT_TRUE(ServeTableLoad(QStringLiteral("gps"), EmptyTableFile(QStringLiteral("gps"))));
    ASSERT_TRUE(PumpUntil([this] { return client->DatabaseLoad.load(); }));
    peer.autoAck = false;
    auto replayed = peer.AwaitCommand(QStringLiteral("database"), PumpOverTime());
    ASSERT_TRUE(replayed);
    EXPECT_EQ(replayed->Text(), kEdit);

    Drop();
    EXPECT_EQ(client->Back.Count(), 1);
    EXPECT_FALSE(client->StartSoob);

    peer.autoAck = true;
    Login();
    ASSERT_TRUE(ServeTableLoad(QStringLiteral("gps"), EmptyTableFile(QStringLiteral("gps"))));
    auto again = peer.AwaitCommand(QStringLiteral("database"), PumpOverTime());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Text(), kEdit);
    EXPECT_TRUE(BacklogEmpties());
}

// A replayed upload the server refuses is reported and leaves the backlog; the edit behind it goes out
// in the same session instead of the refusal dropping it and the upload coming first again.
TEST_F(Backlog, ARefusedUploadLeavesTheBacklogAndTheEditBehindItGoes) {
    QFile local(QStringLiteral("up.jpg"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.close();
    Store({kPutFile, kEdit});
    MakeClient();
    Login();
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("sendfile"), PumpOverTime()));
    peer.SendText(QStringLiteral("{\"$c$\":\"startrecivefileerror\"}"));
    const QString notice = AwaitNotice(QStringLiteral("sendfileerror"));
    EXPECT_EQ(GetJSONValue(notice, QStringLiteral("reason")), QStringLiteral("refused"));
    auto edit = peer.AwaitCommand(QStringLiteral("database"), PumpOverTime());
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->Text(), kEdit);
    EXPECT_TRUE(BacklogEmpties());
    EXPECT_TRUE(client->Connected);
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("sendfile"), PumpOverTime(), 100));
}

// Every packet of the text was acknowledged, but the session drops before the pass that would have
// counted it delivered: it was delivered, and is not sent again after the next login.
TEST_F(Backlog, ATextAcknowledgedBeforeADropIsNotReplayed) {
    MakeClient();
    Login();
    client->Soob.PutSoob(kEdit);
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("database"), [this] { client->SendStep(GetTicks()); }));
    QElapsedTimer waited;
    waited.start();
    while (client->Window.SlotUsed(0) && waited.elapsed() < 3000) {
        client->TakeRecord();
    }
    ASSERT_FALSE(client->Window.SlotUsed(0));
    ASSERT_TRUE(client->Soob.IsSoob());
    client->Disconnect(DisconnectCode::NoSignOfLife);
    EXPECT_EQ(client->Back.Count(), 0);
    EXPECT_FALSE(client->Soob.IsSoob());
}

}  // namespace
