// Logging in and loading the six tables, from the server and again from the local cache.
#include <QDir>
#include <QFile>

#include "harness.h"
#include "udp_relay.h"

namespace {

class LoadTest : public E2eTest {};

TEST_F(LoadTest, LoginLoadsTheSixTablesInOrder) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess cli(Path("client"), port_);
    const CliResult load = cli.Run({"load"});
    ASSERT_EQ(load.exitCode, 0) << load.errors.toStdString();
    EXPECT_EQ(TableLoadLines(load.lines), kSixTables);

    const CliResult dump = cli.Run({"dump", "gps"});
    ASSERT_EQ(dump.exitCode, 0) << dump.errors.toStdString();
    const QJsonObject gpsLoaded = ParseLine(dump.lines[1]);
    const QStringList records = dump.lines.mid(6);
    EXPECT_EQ(records.size(), gpsLoaded.value("count").toInt());
    ASSERT_FALSE(records.isEmpty());
    for (const QString& line : records) {
        const QJsonObject record = ParseLine(line);
        EXPECT_TRUE(record.value("n_abs").isDouble()) << line.toStdString();
        EXPECT_TRUE(record.value("name").isString()) << line.toStdString();
    }
}

TEST_F(LoadTest, TheSessionLogKeepsWhatWasQueuedWhenTheRunEnds) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess cli(Path("client"), port_);
    const CliResult load = cli.Run({"load"});
    ASSERT_EQ(load.exitCode, 0) << load.errors.toStdString();
    // The last table file arrives just before the run ends; the log thread's next pass never comes.
    const QDir logs(Path("client/logs"));
    const QStringList files = logs.entryList({"udpc_*.log"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(logs.filePath(files[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    EXPECT_TRUE(log.contains("fileok gpsshab_")) << log.right(400).toStdString();
}

TEST_F(LoadTest, ASecondLoadSendsDigestsAndGetsNoDataForUnchangedColumns) {
    auto server = StartServer({"--records", "300"});
    ASSERT_TRUE(server);
    UdpRelay relay(port_);
    ASSERT_TRUE(relay.Ok());
    CliProcess cli(Path("client"), relay.Port());

    const CliResult cold = cli.Run({"dump", "gpeople"});
    ASSERT_EQ(cold.exitCode, 0) << cold.errors.toStdString();
    const int coldRequests = relay.CountPieces("gettableraw");
    const CliResult warm = cli.Run({"dump", "gpeople"});
    ASSERT_EQ(warm.exitCode, 0) << warm.errors.toStdString();

    // The same records, now mostly from the cache.
    EXPECT_EQ(warm.lines.mid(6), cold.lines.mid(6));
    const QStringList requests = relay.ClientPieces().filter("gettableraw").mid(coldRequests);
    ASSERT_EQ(requests.size(), 6);
    for (const QString& request : requests) {
        EXPECT_FALSE(request.contains("\"md5\":{}")) << request.toStdString();
    }
    qint64 coldBytes = 0;
    qint64 warmBytes = 0;
    for (int i = 0; i < 6; ++i) {
        const qint64 coldSize = ParseLine(cold.lines[i]).value("size").toInteger();
        const qint64 warmSize = ParseLine(warm.lines[i]).value("size").toInteger();
        EXPECT_LT(warmSize, coldSize) << kSixTables[i].toStdString();
        coldBytes += coldSize;
        warmBytes += warmSize;
    }
    EXPECT_LT(warmBytes * 20, coldBytes);
}

TEST_F(LoadTest, AChangedColumnComesAgainAndTheCacheFollows) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess reader(Path("reader"), port_);
    CliProcess writer(Path("writer"), port_);
    ASSERT_EQ(reader.Run({"load"}).exitCode, 0);
    const CliResult first = writer.Run({"dump", "gps"});
    ASSERT_EQ(first.exitCode, 0);
    const int n_abs = ParseLine(first.lines[6]).value("n_abs").toInt();
    ASSERT_EQ(writer.Run({"edit", "gps", QString::number(n_abs), "name=Газель 12"}).exitCode, 0);

    const CliResult cached = reader.Run({"dump", "gps"});
    const CliResult fresh = writer.Run({"dump", "gps"});
    ASSERT_EQ(cached.exitCode, 0);
    EXPECT_EQ(cached.lines.mid(6), fresh.lines.mid(6));
    EXPECT_TRUE(cached.lines.filter("Газель 12").size() == 1);
}

TEST_F(LoadTest, WrongPasswordExitsWithFour) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess cli(Path("client"), port_);
    cli.SetCredentials(kTestUser, "wrong");
    const CliResult result = cli.Run({"load"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_TRUE(result.errors.contains("access denied")) << result.errors.toStdString();
    EXPECT_TRUE(result.lines.isEmpty());
}

// The client escapes the password as JSON string contents and the server reads it back unescaped.
TEST_F(LoadTest, APasswordWithSlashQuoteAndBackslashLogsIn) {
    const QString password = QStringLiteral("a/b\"c\\d");
    auto server = StartServer({"--demo", "--user", "quoted:" + password});
    ASSERT_TRUE(server);
    CliProcess cli(Path("client"), port_);
    cli.SetCredentials("quoted", password);
    const CliResult result = cli.Run({"load"});
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(TableLoadLines(result.lines), kSixTables);
}

TEST_F(LoadTest, NoServerExitsWithThree) {
    CliProcess cli(Path("client"), port_);
    const CliResult result = cli.Run({"load"}, 20000, 1);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.errors.contains("no session")) << result.errors.toStdString();
}

TEST_F(LoadTest, HostAndPortComeFromSetupIni) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    QDir().mkpath(Path("client"));
    QFile ini(Path("client/setup.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        QStringLiteral("[ServerHost]\r\nAddress=127.0.0.1\r\nPort=%1\r\n").arg(port_ + 65536).toLatin1());
    ini.close();
    QProcess cli;
    cli.setWorkingDirectory(Path("client"));
    cli.start(BinaryPath("mobcfg-cli"),
              {"--user", kTestUser, "--password", kTestPassword, "--timeout", "10", "load"});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
}

}  // namespace
