// The server's settings: a configuration file under the command line, users gathered from both, the
// demo user of a configured server, and the lines and values that are refused.
#include "server/options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "server/log_sink.h"

namespace {

class OptionsTest : public ::testing::Test {
  protected:
    // Writes the configuration file and parses "--config <it>" followed by the words of line.
    ServerCommandLine WithConfig(const QByteArray& config, const QString& line = {}) {
        const QString path = dir.filePath(QStringLiteral("server.conf"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(config);
        file.close();
        return ParseServerCommandLine(QStringList{"--config", path} + line.split(' ', Qt::SkipEmptyParts));
    }
    QTemporaryDir dir;
};

using Users = std::vector<std::pair<QString, QString>>;

TEST_F(OptionsTest, TheCommandLineAloneAddsItsUsers) {
    const ServerCommandLine c = ParseServerCommandLine(
        QString(
            "--bind 127.0.0.2 --port 0 --db a.db --files f --demo --user a:x:y --loss 0.5 --no-edit-confirm")
            .split(' '));
    ASSERT_TRUE(c.error.isEmpty()) << c.error.toStdString();
    EXPECT_EQ(c.command, ServerCommand::Run);
    EXPECT_EQ(c.options.bind, "127.0.0.2");
    EXPECT_EQ(c.options.port, 0);
    EXPECT_EQ(c.options.db, "a.db");
    EXPECT_EQ(c.options.files, "f");
    EXPECT_TRUE(c.options.demo);
    EXPECT_FALSE(c.options.confirmEdits);
    EXPECT_DOUBLE_EQ(c.options.faults.loss, 0.5);
    EXPECT_EQ(c.options.users, (Users{{"a", "x:y"}}));
    EXPECT_FALSE(c.options.exactUsers);
}

TEST_F(OptionsTest, TheCommandLineOverridesTheFileAndUsersOfBothCount) {
    const ServerCommandLine c = WithConfig(
        "# comment\r\n; another\n\n  port = 9011\r\nbind=0.0.0.0\ndb = /var/lib/x/server.db\n"
        "user = alice : pass word\nuser=bob:b\ndemo = no\n",
        "--port 9012 --user carol:c");
    ASSERT_TRUE(c.error.isEmpty()) << c.error.toStdString();
    EXPECT_EQ(c.options.port, 9012);
    EXPECT_EQ(c.options.bind, "0.0.0.0");
    EXPECT_EQ(c.options.db, "/var/lib/x/server.db");
    EXPECT_FALSE(c.options.demo);
    EXPECT_TRUE(c.options.confirmEdits);
    // Blanks around the whole value go, the ones inside stay (the name keeps its own).
    EXPECT_EQ(c.options.users, (Users{{"alice ", " pass word"}, {"bob", "b"}, {"carol", "c"}}));
    EXPECT_TRUE(c.options.exactUsers);
}

TEST_F(OptionsTest, AConfiguredDemoWithoutUsersHasTheDemoUser) {
    const ServerCommandLine demo = WithConfig("demo\n");
    ASSERT_TRUE(demo.error.isEmpty()) << demo.error.toStdString();
    EXPECT_EQ(demo.options.users, (Users{{"admin", "admin"}}));
    const ServerCommandLine named = WithConfig("demo = yes\nuser = op:p\n");
    EXPECT_EQ(named.options.users, (Users{{"op", "p"}}));
    EXPECT_TRUE(WithConfig("").options.users.empty());
}

TEST_F(OptionsTest, HelpAndVersionWinOverEverythingElse) {
    EXPECT_EQ(ParseServerCommandLine({"--port", "1", "--help"}).command, ServerCommand::Help);
    EXPECT_EQ(ParseServerCommandLine({"--version", "--config", "/nonexistent"}).command,
              ServerCommand::Version);
}

TEST_F(OptionsTest, RefusedCommandLines) {
    const struct {
        QStringList args;
        const char* error;
    } cases[] = {
        {{"--nope"}, "unknown option --nope"},
        {{"port", "1"}, "unknown option port"},
        {{"--port"}, "option --port needs a value"},
        {{"--port", "65536"}, "bad value for --port"},
        {{"--user", ":p"}, "bad value for --user"},
        {{"--loss", "1.5"}, "bad value for --loss"},
        {{"--config", "/nonexistent/server.conf"},
         "cannot read the configuration file /nonexistent/server.conf"},
    };
    for (const auto& c : cases) {
        const ServerCommandLine parsed = ParseServerCommandLine(c.args);
        EXPECT_TRUE(parsed.error.startsWith(QString::fromUtf8(c.error))) << parsed.error.toStdString();
    }
}

TEST_F(OptionsTest, RefusedConfigurationLinesNameTheirNumber) {
    const struct {
        QByteArray config;
        const char* error;
    } cases[] = {
        {"port = 1\nprot = 2\n", "line 2: unknown setting \"prot\""},
        {"config = other.conf\n", "line 1: unknown setting \"config\""},
        {"\n\nuser =\n", "line 3: user needs a value"},
        {"demo = maybe\n", "line 1: demo takes yes or no"},
        {"port = x\n", "bad value for --port"},
    };
    for (const auto& c : cases) {
        const ServerCommandLine parsed = WithConfig(c.config);
        EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.error))) << parsed.error.toStdString();
    }
    EXPECT_TRUE(WithConfig(QByteArray(kMaxConfigBytes + 1, '#')).error.contains("longer than"));
}

TEST(LogSinkTest, JournalLinesCarryThePriorityAndNoTime) {
    const QDateTime noon(QDate(2024, 5, 6), QTime(12, 0, 1, 2));
    EXPECT_EQ(LogSink(true).Format(LogPriority::Error, "cannot start:\nport", noon),
              "<3>cannot start: port\n");
    EXPECT_EQ(LogSink(false).Format(LogPriority::Info, "listening", noon),
              "2024-05-06 12:00:01.002 - listening\n");
}

// Whatever a client puts into a user name or a command, a log line stays one line of plain text.
TEST(LogSinkTest, ControlCharactersAreWrittenAsEscapes) {
    const struct {
        const char16_t* text;
        const char16_t* logged;
    } cases[] = {
        {u"ad\rmin", u"ad\\x0Dmin"},
        {u"\x1b[2J", u"\\x1B[2J"},
        {u"a\tb\x7f", u"a\\x09b\\x7F"},
        {u"next\u0085line", u"next\\x85line"},
        {u"a\u2028b", u"a\\u2028b"},
        {u"two\nlines", u"two lines"},
        {u"Привет \"x\"\\", u"Привет \"x\"\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogSink::Escape(QString::fromUtf16(c.text)).toStdString(),
                  QString::fromUtf16(c.logged).toStdString());
    }
}

TEST(LogSinkTest, TheJournalIsRecognisedByItsDeviceAndInode) {
    QTemporaryDir dir;
    QFile file(dir.filePath("stream"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    struct stat st = {};
    ASSERT_EQ(fstat(file.handle(), &st), 0);
    const QByteArray same =
        QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));
    EXPECT_TRUE(IsJournalStream(same.constData(), file.handle()));
    EXPECT_FALSE(IsJournalStream((same + "1").constData(), file.handle()));
    EXPECT_FALSE(IsJournalStream((same + "x").constData(), file.handle()));
    EXPECT_FALSE(IsJournalStream("", file.handle()));
    EXPECT_FALSE(IsJournalStream(nullptr, file.handle()));
}

}  // namespace
