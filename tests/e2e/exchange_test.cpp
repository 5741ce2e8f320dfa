// Export and import through the command-line client against real servers: what one server's
// vehicles export to a file imports into another server as the same records, and a bad or repeated
// file imports nothing wrong.
#include <QFile>
#include <QJsonObject>

#include "harness.h"

namespace {

const QStringList kServerKept = {"n_abs", "p_d", "dt_c", "dt_m", "n_user", "ver", "t_us"};

// The records of a dump without what the server fills in itself, in order.
std::vector<QJsonObject> Records(const CliResult& dump) {
    std::vector<QJsonObject> records;
    for (const QString& line : dump.lines) {
        QJsonObject o = ParseLine(line);
        if (!o.contains("n_abs")) {
            continue;
        }
        for (const QString& key : kServerKept) {
            o.remove(key);
        }
        records.push_back(o);
    }
    return records;
}

class ExchangeTest : public E2eTest {};

TEST_F(ExchangeTest, VehiclesExportedFromOneServerImportIntoAnotherAsTheSameRecords) {
    auto demo = StartServer();
    ASSERT_TRUE(demo);
    CliProcess source(Path("source"), port_);
    const std::vector<QJsonObject> original = Records(source.Run({"dump", "gps"}));
    ASSERT_EQ(original.size(), 12u);

    const uint16_t emptyPort = FreeUdpPort();
    ServerProcess empty(Path("empty-server"), emptyPort, {});
    ASSERT_TRUE(empty.Start()) << empty.Log().toStdString();
    for (const QString name : {"gps.csv", "gps.xlsx"}) {
        const CliResult exported = source.Run({"export", "gps", Path(name)});
        ASSERT_EQ(exported.exitCode, 0) << exported.errors.toStdString();
        EXPECT_EQ(ParseLine(exported.lines.last()).value("rows").toInt(), 12);
    }

    CliProcess target(Path("target"), emptyPort);
    const CliResult imported = target.Run({"import", "gps", Path("gps.xlsx")}, 60000, 20);
    ASSERT_EQ(imported.exitCode, 0) << imported.errors.toStdString()
                                    << imported.lines.join('\n').toStdString();
    EXPECT_EQ(imported.lines.filter("\"state\":\"confirmed\"").size(), 12);
    EXPECT_EQ(ParseLine(imported.lines.last()).value("confirmed").toInt(), 12);
    EXPECT_EQ(Records(target.Run({"dump", "gps"})), original);

    // The same file again: every vehicle is now in the table, so every line is refused before anything
    // is sent, and the table stays as it was.
    const CliResult again = target.Run({"import", "gps", Path("gps.csv")}, 60000, 20);
    EXPECT_EQ(again.exitCode, 6) << again.errors.toStdString();
    EXPECT_EQ(again.lines.filter("\"state\":\"invalid\"").size(), 12);
    EXPECT_TRUE(again.lines.filter("уже есть у ТС").size() == 12);
    EXPECT_EQ(ParseLine(again.lines.last()).value("confirmed").toInt(), 0);
    EXPECT_EQ(Records(target.Run({"dump", "gps"})).size(), 12u);
    empty.Stop();
}

TEST_F(ExchangeTest, ABadFileIsRefusedBeforeTheLogin) {
    QFile open(Path("open-quote.csv"));
    ASSERT_TRUE(open.open(QIODevice::WriteOnly));
    open.write("Наименование;IMEI\r\n\"Газель;1\r\n");
    open.close();
    // No server at all: the file is refused before any network work.
    CliProcess cli(Path("cli"), FreeUdpPort());
    const CliResult result = cli.Run({"import", "gps", Path("open-quote.csv")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.errors.contains("не закрыта")) << result.errors.toStdString();
    EXPECT_EQ(cli.Run({"import", "groupgps", Path("open-quote.csv")}).exitCode, 2);
}

}  // namespace
