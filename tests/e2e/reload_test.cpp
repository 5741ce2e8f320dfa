// SIGHUP: the server re-reads the users of its configuration file while a client stays logged in.
#include <QFile>

#include "harness.h"

namespace {

class ReloadTest : public E2eTest {
  protected:
    void WriteConfig(const QByteArray& text) {
        QFile file(Path("server.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    int Load(const QString& user, const QString& password) {
        CliProcess cli(Path("client-" + user), port_);
        cli.SetCredentials(user, password);
        const CliResult result = cli.Run({"load"}, 20000, 5);
        return result.exitCode;
    }
};

TEST_F(ReloadTest, ChangedUsersTakeEffectAndSessionsStay) {
    WriteConfig("user = alice:one\n");
    auto server = StartServer({"--demo", "--config", Path("server.conf")});
    ASSERT_TRUE(server);
    CliProcess alice(Path("alice"), port_);
    alice.SetCredentials("alice", "one");
    ASSERT_TRUE(alice.Start({"watch", "--seconds", "60"}, 20));
    ASSERT_FALSE(
        alice.WaitForLine([](const QString& line) { return line.contains("\"gpsshab\""); }).isEmpty());
    EXPECT_EQ(Load("bob", "two"), 4);

    // alice leaves the list (the server had verified her password), bob arrives.
    WriteConfig("user = bob:two\n");
    ASSERT_TRUE(server->Reload()) << server->Log().toStdString();
    EXPECT_EQ(Load("bob", "two"), 0);
    EXPECT_EQ(Load("alice", "one"), 4);

    // alice's session of before the reload still gets record updates.
    CliProcess editor(Path("editor"), port_);
    const CliResult edited = editor.Run({"edit", "gps", "1", "name=После перечитывания"});
    ASSERT_EQ(edited.exitCode, 0) << edited.errors.toStdString();
    EXPECT_FALSE(alice.WaitForLine([](const QString& line) { return line.contains("После перечитывания"); })
                     .isEmpty());
    EXPECT_EQ(alice.Stop().exitCode, 0);

    // A configuration the server cannot use leaves the users as they were.
    WriteConfig("user = carol\n");
    EXPECT_FALSE(server->Reload());
    EXPECT_TRUE(server->Log().contains("users not re-read"));
    EXPECT_EQ(Load("bob", "two"), 0);
}

}  // namespace
