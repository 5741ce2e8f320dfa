#include "infra/log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "infra/ticks.h"

namespace {

class TLogTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(temp.path());
        SetDateTimeSource([this] { return now; });
        log = std::make_unique<TLog>();
        log->name = QStringLiteral("udpc");
        log->Log = true;
    }
    void TearDown() override {
        log.reset();
        SetDateTimeSource({});
        QDir::setCurrent(previous);
    }

    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void Touch(const QString& name) {
        QFile file(QStringLiteral("logs/") + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    static QStringList LogFiles() { return QDir(QStringLiteral("logs")).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir temp;
    QString previous;
    QDateTime now{QDate(2021, 4, 8), QTime(13, 5, 9)};
    std::unique_ptr<TLog> log;
};

TEST_F(TLogTest, WritesStampedLinesIntoTodaysFile) {
    EXPECT_TRUE(QDir(QStringLiteral("logs")).exists()) << "created with the log";
    log->Buffer.PutSoob(QStringLiteral("first"));
    log->Buffer.PutSoob(QString::fromUtf8("второй ✓"));
    log->Pass();
    now = now.addSecs(2);
    log->Buffer.PutSoob(QStringLiteral("third"));
    log->Pass();
    EXPECT_EQ(Read(QStringLiteral("logs/udpc_20210408.log")),
              QByteArray("13:05:09 - first\r\n"
                         "13:05:09 - \xE2\xF2\xEE\xF0\xEE\xE9 ?\r\n"
                         "13:05:11 - third\r\n"));
    EXPECT_FALSE(log->Buffer.IsSoob());
}

TEST_F(TLogTest, FollowsTheDateAcrossMidnight) {
    now = QDateTime(QDate(2021, 4, 8), QTime(23, 59, 59));
    log->Buffer.PutSoob(QStringLiteral("late"));
    log->Pass();
    now = QDateTime(QDate(2021, 4, 9), QTime(0, 0, 1));
    log->Buffer.PutSoob(QStringLiteral("early"));
    log->Pass();
    EXPECT_EQ(Read(QStringLiteral("logs/udpc_20210408.log")), QByteArray("23:59:59 - late\r\n"));
    EXPECT_EQ(Read(QStringLiteral("logs/udpc_20210409.log")), QByteArray("00:00:01 - early\r\n"));
}

TEST_F(TLogTest, SwitchedOffDiscardsLinesWithoutAFile) {
    log->Log = false;
    log->Buffer.PutSoob(QStringLiteral("gone"));
    log->Pass();
    EXPECT_FALSE(log->Buffer.IsSoob());
    EXPECT_TRUE(LogFiles().isEmpty());
}

TEST_F(TLogTest, DeletesOnlyItsOwnFilesOlderThanLogDays) {
    for (const char* name :
         {"udpc_20210404.log", "udpc_20210405.log", "udpc_20210406.log", "udpc_20210407.log",
          "udpc_20210408.log", "udpc_noday.log", "udpc_20211332.log", "udpc_2019.log", "other_20200101.log",
          "xudpc_20200101.log", "udpc-20200101.log"}) {
        Touch(QString::fromLatin1(name));
    }
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("logs/udpc_20200101")));
    log->Pass();
    EXPECT_EQ(LogFiles(), QStringList({"other_20200101.log", "udpc-20200101.log", "udpc_20210406.log",
                                       "udpc_20210407.log", "udpc_20210408.log", "xudpc_20200101.log"}));
    EXPECT_TRUE(QDir(QStringLiteral("logs/udpc_20200101")).exists()) << "a folder is never removed";

    Touch(QStringLiteral("udpc_20210401.log"));
    log->Pass();
    EXPECT_TRUE(QFile::exists(QStringLiteral("logs/udpc_20210401.log"))) << "one run a day";

    now = now.addDays(1);
    log->Pass();
    EXPECT_EQ(LogFiles(), QStringList({"other_20200101.log", "udpc-20200101.log", "udpc_20210407.log",
                                       "udpc_20210408.log", "xudpc_20200101.log"}));
}

TEST_F(TLogTest, LogDayZeroKeepsEverything) {
    log->LogDay = 0;
    Touch(QStringLiteral("udpc_20200101.log"));
    log->Pass();
    EXPECT_TRUE(QFile::exists(QStringLiteral("logs/udpc_20200101.log")));
}

TEST_F(TLogTest, LinesWaitWhileTheFileCannotBeOpenedUpToTheQueueLimit) {
    // A folder in the file's place makes every open fail.
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("logs/udpc_20210408.log")));
    log->Buffer.PutSoob(QStringLiteral("kept"));
    log->Pass();
    log->Pass();
    EXPECT_EQ(log->Buffer.CountSoob(), 1) << "neither written nor thrown away";
    for (int k = 1; k < 5000; ++k) {
        ASSERT_TRUE(log->Buffer.PutSoob(QStringLiteral("more")));
    }
    EXPECT_FALSE(log->Buffer.PutSoob(QStringLiteral("refused")));

    ASSERT_TRUE(QDir().rmdir(QStringLiteral("logs/udpc_20210408.log")));
    log->Pass();
    EXPECT_FALSE(log->Buffer.IsSoob());
    EXPECT_TRUE(Read(QStringLiteral("logs/udpc_20210408.log")).startsWith("13:05:09 - kept\r\n"));
}

TEST_F(TLogTest, TheWriterThreadWritesAndStops) {
    log->Start();
    log->Buffer.PutSoob(QStringLiteral("threaded"));
    const QString path = QStringLiteral("logs/udpc_20210408.log");
    for (int k = 0; k < 400 && Read(path) != QByteArray("13:05:09 - threaded\r\n"); ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    log->Stop();
    EXPECT_EQ(Read(path), QByteArray("13:05:09 - threaded\r\n"));
}

TEST_F(TLogTest, StoppingWritesWhatWasQueuedSinceTheLastPass) {
    log->Start();
    log->Buffer.PutSoob(QStringLiteral("first"));
    const QString path = QStringLiteral("logs/udpc_20210408.log");
    for (int k = 0; k < 2000 && Read(path) != QByteArray("13:05:09 - first\r\n"); ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The writer has made a pass and now pauses: the next line is queued just before the end.
    log->Buffer.PutSoob(QStringLiteral("last"));
    log.reset();
    EXPECT_EQ(Read(path), QByteArray("13:05:09 - first\r\n13:05:09 - last\r\n"));
}

}  // namespace
