// The front door: a wired client logs in with the credentials it was given, loads the registered
// tables and hands the tables' edit commands to the owner's handler.
#include "session/session_door.h"

#include "client_fixture.h"
#include "session/table_registration.h"

namespace {

using SessionDoor = ClientFixture;

TEST_F(SessionDoor, AWiredClientLogsInLoadsTheTablesAndReportsQueuedCommands) {
    MakeClient();
    RegisterConfigTables(tables);
    std::vector<QString> queued;
    WireSession(*client, tables, {{}, [&queued](TBaseClient*, const QString& command, bool taken) {
                                      if (taken) {
                                          queued.push_back(command);
                                      }
                                  }});
    RequestLogin(*client, QStringLiteral("oper"), QStringLiteral("secret"));

    auto reg = peer.AwaitCommand(QStringLiteral("reg"), Pump());
    ASSERT_TRUE(reg);
    EXPECT_EQ(GetJSONValue(reg->Text(), QStringLiteral("username")), QStringLiteral("oper"));
    EXPECT_EQ(GetJSONValue(reg->Text(), QStringLiteral("password")), QStringLiteral("secret"));
    peer.nextNumber = 1;
    peer.SendText(QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + kTid +
                  QStringLiteral("\",\"version\":\"7\"}"));
    ASSERT_TRUE(PumpUntil([this] { return client->Connected.load(); }));

    auto load = peer.AwaitCommand(QStringLiteral("database"), Pump());
    ASSERT_TRUE(load);
    EXPECT_EQ(GetJSONValue(load->Text(), QStringLiteral("name")), QString::fromLatin1(kConfigTableNames[0]));

    TBaseClient& first = *tables.At(0);
    const QString command = QStringLiteral("{\"$c$\":\"database\",\"command\":\"delete\"}");
    first.OnNetDataSend9(&first, command);
    EXPECT_EQ(queued, std::vector<QString>{command});
}

}  // namespace
