// Additions, changes and deletions made by one client reach another client as record updates.
#include "harness.h"

namespace {

class EditTest : public E2eTest {
  protected:
    // Starts the watching client and waits until it has loaded everything.
    void StartWatcher(CliProcess& watcher) {
        ASSERT_TRUE(watcher.Start({"watch", "--seconds", "60"}));
        ASSERT_FALSE(
            watcher.WaitForLine([](const QString& line) { return line.contains("\"gpsshab\""); }).isEmpty());
    }

    static std::function<bool(const QString&)> RecordLine(const QString& table, int n_abs,
                                                          const QString& text) {
        return [=](const QString& line) {
            const QJsonObject object = ParseLine(line);
            return object.value("table").toString() == table &&
                   object.value("record").toObject().value("n_abs").toInt() == n_abs && line.contains(text);
        };
    }
};

TEST_F(EditTest, AddEditAndDeleteReachASecondClient) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess watcher(Path("watcher"), port_);
    StartWatcher(watcher);
    CliProcess editor(Path("editor"), port_);

    const CliResult added =
        editor.Run({"add", "gpeople", "fio=Иванов Пётр", "tel=+7 900 000-00-01", "rez=2"});
    ASSERT_EQ(added.exitCode, 0) << added.errors.toStdString();
    const QJsonObject record = ParseLine(added.lines.last());
    const int n_abs = record.value("n_abs").toInt();
    EXPECT_GT(n_abs, 0);
    EXPECT_EQ(record.value("fio").toString(), "Иванов Пётр");
    EXPECT_EQ(record.value("tel").toString(), "+7 900 000-00-01");
    EXPECT_FALSE(watcher.WaitForLine(RecordLine("gpeople", n_abs, "Иванов Пётр")).isEmpty());

    const CliResult edited = editor.Run({"edit", "gpeople", QString::number(n_abs), "fio=Петров Иван"});
    ASSERT_EQ(edited.exitCode, 0) << edited.errors.toStdString();
    EXPECT_EQ(ParseLine(edited.lines.last()).value("fio").toString(), "Петров Иван");
    EXPECT_EQ(ParseLine(edited.lines.last()).value("tel").toString(), "+7 900 000-00-01");
    EXPECT_FALSE(watcher.WaitForLine(RecordLine("gpeople", n_abs, "Петров Иван")).isEmpty());

    const CliResult deleted = editor.Run({"delete", "gpeople", QString::number(n_abs)});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.errors.toStdString();
    EXPECT_FALSE(watcher
                     .WaitForLine([n_abs](const QString& line) {
                         return ParseLine(line).value("deleted").toInt() == n_abs;
                     })
                     .isEmpty());
    const CliResult dump = editor.Run({"dump", "gpeople"});
    EXPECT_TRUE(dump.lines.filter(QStringLiteral("\"n_abs\":%1,").arg(n_abs)).isEmpty());

    EXPECT_EQ(watcher.Stop().exitCode, 0);
}

TEST_F(EditTest, AnEditThatChangesNothingStillCompletes) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess editor(Path("editor"), port_);
    const CliResult dump = editor.Run({"dump", "groupgps"});
    ASSERT_EQ(dump.exitCode, 0);
    const QJsonObject group = ParseLine(dump.lines[6]);
    const CliResult edited = editor.Run({"edit", "groupgps", QString::number(group.value("n_abs").toInt()),
                                         "name=" + group.value("name").toString()});
    EXPECT_EQ(edited.exitCode, 0) << edited.errors.toStdString();
}

struct RefusedCase {
    QStringList args;
    const char* message;
};

class RefusedEditTest : public EditTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedEditTest, ExitsWithUsageAndAReason) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    CliProcess editor(Path("editor"), port_);
    const CliResult result = editor.Run(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.errors.contains(GetParam().message)) << result.errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedEditTest,
                         testing::Values(RefusedCase{{"edit", "gps", "999999", "name=x"},
                                                     "has no record 999999"},
                                         RefusedCase{{"add", "gps", "colour=red"}, "has no column colour"},
                                         RefusedCase{{"add", "gps", "n_abs=5"}, "cannot be written"},
                                         RefusedCase{{"delete", "gpsug", "999999"}, "has no record 999999"}));

}  // namespace
