// Registration, the session tag, supervision of the link and the drop of a session.
#include <QDir>
#include <QRegularExpression>

#include "client_fixture.h"

namespace {

using Registration = ClientFixture;

TEST_F(Registration, IsMessageNumberOneWithBothCredentialsEscaped) {
    MakeClient();
    client->username.Set(QStringLiteral("op\"er"));
    client->password.Set(QStringLiteral("pa\"ss\\word"));
    client->Connect = true;
    auto reg = peer.AwaitCommand(QStringLiteral("reg"), Pump());
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->number, 1);
    EXPECT_EQ(reg->packets, 1);
    EXPECT_EQ(reg->tidb, TIDBytes{});
    EXPECT_EQ(reg->Text(),
              QStringLiteral("{\"$c$\":\"reg\",\"id\":\"") + kAppId +
                  QStringLiteral("\",\"username\":\"op\\\"er\",\"password\":\"pa\\\"ss\\\\word\","
                                 "\"keepalive\":1,\"zip\":0,\"ver\":\"") +
                  client->ver + QStringLiteral("\"}"));
    EXPECT_EQ(GetJSONValue(reg->Text(), QStringLiteral("password")), QStringLiteral("pa\"ss\\word"));
    // The program's own version: four numbers.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$"))
                    .match(client->ver)
                    .hasMatch());
    EXPECT_NE(client->ver, QStringLiteral("0.0.0.0"));
    EXPECT_FALSE(client->PasOK);
}

// Credentials whose registration text does not fit one datagram are not tried over and over in
// silence: nothing goes out, the attempt stops and the login window is told.
TEST_F(Registration, CredentialsTooLongForOneDatagramStopTheAttempt) {
    MakeClient();
    client->username.Set(QStringLiteral("oper"));
    client->password.Set(QString(900, QChar(u'\\')));
    client->Connect = true;
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("reg"), Pump(), 200));
    EXPECT_TRUE(client->RegTooLong);
    EXPECT_FALSE(client->Connect);
    EXPECT_TRUE(peer.datagrams.empty());
}

// A server that answers from another address than the one configured is never taken, but the
// address it answered from is named: once in the log, and to whoever asks (the login window).
TEST_F(Registration, AnAnswerFromAnotherAddressIsRefusedAndNamedOnce) {
    MakeClient(QStringLiteral("127.0.0.2"));
    client->Connect = true;
    client->Pass();
    for (int i = 0; i < 3; ++i) {
        peer.SendText(QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + kTid + QStringLiteral("\"}"));
    }
    ASSERT_TRUE(PumpUntil([this] { return client->Refused().ip != 0; }));
    EXPECT_EQ(client->Refused(), (UdpAddress{0x7F000001, peer.Port()}));
    for (int i = 0; i < 3; ++i) {
        Advance(1001);
        client->Pass();
    }
    EXPECT_FALSE(client->Connected);
    const QString line = QStringLiteral("datagrams from 127.0.0.1:%1 refused").arg(peer.Port());
    QString log;
    PumpUntil(
        [&] {
            for (const QFileInfo& info : QDir(QStringLiteral("logs")).entryInfoList(QDir::Files)) {
                QFile file(info.filePath());
                log = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
            }
            return log.contains(line);
        },
        2000);
    EXPECT_EQ(log.count(line), 1) << log.toStdString();
}

TEST_F(Registration, AcceptedLoginPostsConnectedAndTagsLaterDatagrams) {
    MakeClient();
    client->username.Set(QStringLiteral("oper"));
    client->Connect = true;
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("reg"), Pump()));
    const QString regok = QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + kTid +
                          QStringLiteral("\",\"version\":\"7.1\",\"lkuser_n_abs\":12}");
    peer.SendText(regok);
    EXPECT_EQ(AwaitNotice(QStringLiteral("connected")),
              QStringLiteral("{\"$c$\":\"connected\",\"ver_serv\":\"7.1\",\"data\":") + regok +
                  QStringLiteral(",\"lkuser_n_abs\":12}"));
    EXPECT_TRUE(client->Connected);
    EXPECT_TRUE(client->PasOK);
    // Without tables the login itself completes loading, and the link test starts at once.
    EXPECT_TRUE(client->DatabaseLoad);
    auto test = peer.AwaitCommand(QStringLiteral("testex"), Pump());
    ASSERT_TRUE(test);
    EXPECT_EQ(test->Text(), QStringLiteral("{\"$c$\":\"testex\"}"));
    const TIDBytes expected{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 0x60, 0x71,
                            0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9};
    EXPECT_EQ(test->tidb, expected);
    EXPECT_GT(test->number, 1);
}

struct TidCase {
    const char* tid;
    bool tagged;
};

class SessionTag : public ClientFixture, public ::testing::WithParamInterface<TidCase> {};

TEST_P(SessionTag, OnlyAGuidOfThirtySixCharactersTagsTheSession) {
    MakeClient();
    Login(QString::fromLatin1(GetParam().tid));
    TIDBytes zero{};
    if (GetParam().tagged) {
        EXPECT_NE(client->Window.TIDB, zero);
        EXPECT_EQ(client->Window.TIDB[0], 0x0A);
        EXPECT_EQ(client->Window.TIDB[15], 0xF9);
    } else {
        EXPECT_EQ(client->Window.TIDB, zero);
    }
    EXPECT_EQ(client->tId, QString::fromLatin1(GetParam().tid));
}

INSTANTIATE_TEST_SUITE_P(Tids, SessionTag,
                         ::testing::Values(TidCase{"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F", false},
                                           TidCase{"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", true},
                                           TidCase{"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F90", false}));

TEST(SessionTagPairs, ANonHexadecimalPairGivesZero) {
    const TIDBytes tidb = client_udp::TIDBFromTid(QStringLiteral("zz1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"));
    EXPECT_EQ(tidb[0], 0);
    EXPECT_EQ(tidb[1], 0x1B);
}

TEST_F(Registration, UnansweredAttemptsRotateAndADropReturnsToTheSameAddress) {
    MakeClient(QStringLiteral("127.0.0.1,127.0.0.1"));
    client->TimeConnect = 50;
    client->Connect = true;
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("reg"), Pump()));
    EXPECT_EQ(client->TekHost, 0);
    Advance(51);
    auto second = peer.AwaitCommand(QStringLiteral("reg"), Pump());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->number, 1);
    EXPECT_EQ(client->TekHost, 1);

    peer.SendText(QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + kTid +
                  QStringLiteral("\",\"version\":\"7\"}"));
    ASSERT_TRUE(PumpUntil([this] { return client->Connected.load(); }));
    client->BaseLostConnect();
    EXPECT_EQ(client->TekHost, 0);
    // The drop cleared ConnectTime, so the next registration goes out at once, advancing again.
    auto again = peer.AwaitCommand(QStringLiteral("reg"), Pump());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->number, 1);
    EXPECT_EQ(client->TekHost, 1);
}

TEST_F(Registration, RefusalWaitsThirtySecondsBeforeTheNextAttempt) {
    MakeClient();
    client->Connect = true;
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("reg"), Pump()));
    peer.SendText(QStringLiteral("{\"$c$\":\"accessdenied\"}"));
    EXPECT_EQ(AwaitNotice(QStringLiteral("accessdenied")), QStringLiteral("{\"$c$\":\"accessdenied\"}"));
    EXPECT_TRUE(client->AD);
    EXPECT_FALSE(client->Connected);
    Advance(29000);
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("reg"), Pump(), 200));
    Advance(1001);
    EXPECT_TRUE(peer.AwaitCommand(QStringLiteral("reg"), Pump()));
}

TEST_F(Registration, SilenceAfterLoadingDropsWithCodeOne) {
    MakeClient();
    Login();
    ASSERT_TRUE(client->DatabaseLoad);
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("testex"), Pump()));
    // From here on the server is silent: not even acknowledgements.
    peer.autoAck = false;
    Advance(1001);
    // One test message a second while the tables are loaded.
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("testex"), Pump()));
    Advance(10001);
    EXPECT_EQ(AwaitNotice(QStringLiteral("disconnected")),
              QStringLiteral("{\"$c$\":\"disconnected\",\"p\":1}"));
    EXPECT_FALSE(client->Connected);
    EXPECT_FALSE(client->DatabaseLoad);
    // Connect stays set: the client registers again at once, as message number 1.
    auto reg = peer.AwaitCommand(QStringLiteral("reg"), Pump());
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->number, 1);
}

TEST_F(Registration, LoadingThatStallsDropsWithCodeSevenAndSendsNoTest) {
    AddTable(tables, QStringLiteral("gps"), QString(), QString(), false, false);
    MakeClient();
    client->SetBases(&tables);
    Login();
    EXPECT_FALSE(client->DatabaseLoad);
    ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("database"), Pump()));
    Advance(29999);
    EXPECT_TRUE(client->Connected);
    Advance(2);
    EXPECT_EQ(AwaitNotice(QStringLiteral("disconnected")),
              QStringLiteral("{\"$c$\":\"disconnected\",\"p\":7}"));
    EXPECT_FALSE(peer.AwaitCommand(QStringLiteral("testex"), {}, 50));
}

}  // namespace
