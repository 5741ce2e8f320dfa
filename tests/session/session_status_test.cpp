// The session at a glance, as the desktop tool's status line reads it while the client runs.
#include "session/session_status.h"

#include "client_fixture.h"

namespace {

class SessionStatusTest : public ClientFixture {};

TEST_F(SessionStatusTest, CountsTheOperatorsCommandsWaitingInTheQueuesAndTheBacklog) {
    MakeClient(QStringLiteral("127.0.0.1"));
    AddTable(tables, QStringLiteral("gps"), QString(), QString(), false, false);
    SessionStatus status = StatusOf(*client, tables);
    EXPECT_FALSE(status.connected);
    EXPECT_FALSE(status.connecting);
    EXPECT_EQ(status.server, QStringLiteral("127.0.0.1:%1").arg(peer.Port()));
    EXPECT_EQ(status.tablesTotal, 1);
    EXPECT_EQ(status.waitingCommands, 0);

    const QString edit =
        R"({"$c$":"database","command":"neteditdatadatabase","nametable":"gps","n_abs":5,"fields":{}})";
    client->Soob.PutSoob(R"({"$c$":"testex"})");
    client->Soob.PutSoob(edit);
    client->SoobFile.PutSoob(R"({"$c$":"putfile","nameinserv":"photo\\mobile\\a.jpg","name":"a.jpg"})");
    client->Back.PutSoob(edit);
    client->Connect = true;
    status = StatusOf(*client, tables);
    EXPECT_TRUE(status.connecting);
    // The link test is no command of the operator's.
    EXPECT_EQ(status.waitingCommands, 3);
    // An entry of the backlog being replayed is in the backlog and in the queue: it counts once.
    client->StartSoob = true;
    EXPECT_EQ(StatusOf(*client, tables).waitingCommands, 2);
}

}  // namespace
