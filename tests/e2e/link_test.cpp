// The link fails: the server dies during loading, the link drops with a command on its way, and
// datagrams are lost, doubled and reordered.
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include "harness.h"
#include "udp_relay.h"

namespace {

class LinkTest : public E2eTest {
  protected:
    // Waits until the relay has seen text in a client piece at least count times.
    static bool WaitForPieces(UdpRelay& relay, const QString& text, int count, int timeoutMs = 15000) {
        for (int waited = 0; waited < timeoutMs; waited += 5) {
            if (relay.CountPieces(text) >= count) {
                return true;
            }
            QThread::msleep(5);
        }
        return false;
    }

    static QStringList Records(const CliResult& result) { return result.lines.mid(6); }

    static qsizetype LastPieceWith(const QStringList& pieces, const QString& text) {
        for (qsizetype i = pieces.size() - 1; i >= 0; --i) {
            if (pieces[i].contains(text)) {
                return i;
            }
        }
        return -1;
    }
};

TEST_F(LinkTest, TheServerKilledAndRestartedDuringLoadingIsLoggedInToAgain) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    UdpRelay relay(port_);
    ASSERT_TRUE(relay.Ok());
    // The request of the fourth table is the moment: three tables are in, three to go.
    relay.SetWatcher([](const QString& piece) {
        return !(piece.contains("gettableraw") && piece.contains("\"name\":\"groupgps\""));
    });
    CliProcess cli(Path("client"), relay.Port());
    ASSERT_TRUE(cli.Start({"dump", "gpsug"}, 30));
    ASSERT_TRUE(WaitForPieces(relay, "\"name\":\"groupgps\"", 1));
    ASSERT_FALSE(relay.LinkUp());
    const int regsBefore = relay.CountPieces("\"$c$\":\"reg\"");

    server->Kill();
    server = StartServer({});
    ASSERT_TRUE(server);
    relay.SetWatcher({});
    relay.SetLinkUp(true);

    const CliResult result = cli.Wait();
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_GT(relay.CountPieces("\"$c$\":\"reg\""), regsBefore);
    const QStringList loaded = TableLoadLines(result.lines);
    EXPECT_EQ(loaded.mid(0, 3), kSixTables.mid(0, 3));
    EXPECT_EQ(loaded.mid(loaded.size() - 6), kSixTables);

    CliProcess fresh(Path("fresh"), port_);
    const CliResult reference = fresh.Run({"dump", "gpsug"});
    ASSERT_EQ(reference.exitCode, 0);
    EXPECT_EQ(result.lines.mid(loaded.size()), Records(reference));
}

TEST_F(LinkTest, ACommandQueuedWhileTheLinkIsDownIsSentAfterTheNextLogin) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess checker(Path("checker"), port_);
    const CliResult before = checker.Run({"dump", "gps"});
    ASSERT_EQ(before.exitCode, 0);
    const int n_abs = ParseLine(Records(before).first()).value("n_abs").toInt();

    UdpRelay relay(port_);
    ASSERT_TRUE(relay.Ok());
    relay.SetWatcher([](const QString& piece) { return !piece.contains("neteditdatadatabase"); });
    CliProcess editor(Path("editor"), relay.Port());
    ASSERT_TRUE(editor.Start({"edit", "gps", QString::number(n_abs), "name=Очередь"}, 30));
    ASSERT_TRUE(WaitForPieces(relay, "neteditdatadatabase", 1));
    // The client gives the session up and tries to register again: the edit now waits for a login.
    const int regs = relay.CountPieces("\"$c$\":\"reg\"");
    ASSERT_TRUE(WaitForPieces(relay, "\"$c$\":\"reg\"", regs + 1));
    relay.SetWatcher({});
    relay.SetLinkUp(true);

    const CliResult edited = editor.Wait();
    ASSERT_EQ(edited.exitCode, 0) << edited.errors.toStdString();
    EXPECT_EQ(ParseLine(edited.lines.last()).value("name").toString(), "Очередь");
    // The last login came before the edit went out again.
    const QStringList pieces = relay.ClientPieces();
    EXPECT_GT(LastPieceWith(pieces, "neteditdatadatabase"), LastPieceWith(pieces, "\"$c$\":\"reg\""));
    const CliResult after = checker.Run({"dump", "gps"});
    EXPECT_EQ(after.lines.filter("Очередь").size(), 1);
}

TEST_F(LinkTest, WithLostDoubledAndReorderedDatagramsEverythingArrivesIntact) {
    auto clean = StartServer();
    ASSERT_TRUE(clean);
    CliProcess reference(Path("reference"), port_);
    const CliResult expected = reference.Run(QStringList{"dump"} + kSixTables);
    ASSERT_EQ(expected.exitCode, 0);
    clean->Stop();

    auto faulty = StartServer({"--loss", "0.2", "--dup", "0.1", "--reorder", "0.1", "--seed", "11"});
    ASSERT_TRUE(faulty);
    CliProcess cli(Path("client"), port_);
    const CliResult dump = cli.Run(QStringList{"dump"} + kSixTables, 90000, 60);
    ASSERT_EQ(dump.exitCode, 0) << dump.errors.toStdString();
    EXPECT_EQ(TableLoadLines(dump.lines), kSixTables);
    EXPECT_EQ(Records(dump), Records(expected));

    QByteArray bytes(100000, '\0');
    QRandomGenerator generator(5);
    for (char& byte : bytes) {
        byte = char(generator.generate());
    }
    QFile photo(Path("photo.jpg"));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    photo.write(bytes);
    photo.close();
    const CliResult put = cli.Run({"put-file", Path("photo.jpg"), "photo\\mobile\\lossy.jpg"}, 90000, 60);
    ASSERT_EQ(put.exitCode, 0) << put.errors.toStdString();
    const CliResult get = cli.Run({"get-file", "photo\\mobile\\lossy.jpg", "lossy.jpg"}, 90000, 60);
    ASSERT_EQ(get.exitCode, 0) << get.errors.toStdString();
    QFile back(Path("client/temp/lossy.jpg"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_TRUE(back.readAll() == bytes);
}

}  // namespace
