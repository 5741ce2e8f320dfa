#include "infra/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

namespace {

class OpenNotBlockTest : public testing::Test {
  protected:
    void TearDown() override { SetOpenRetries(5000); }
    QString Path(const char* name) const { return temp.filePath(QString::fromLatin1(name)); }
    QTemporaryDir temp;
};

TEST_F(OpenNotBlockTest, OpensAnExistingFileForReadingAndWriting) {
    {
        QFile file(Path("a.dat"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }
    auto file = OpenNotBlock(Path("a.dat"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->readAll(), QByteArray("abc"));
    EXPECT_TRUE(file->seek(0));
    EXPECT_EQ(file->write("x"), 1);
}

TEST_F(OpenNotBlockTest, NeverCreatesAMissingFile) {
    SetOpenRetries(3);
    EXPECT_FALSE(OpenNotBlock(Path("missing.dat")));
    EXPECT_FALSE(QFile::exists(Path("missing.dat")));
}

TEST_F(OpenNotBlockTest, WaitsForAFileThatAppearsWhileRetrying) {
    std::thread creator([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QFile file(Path("late.dat"));
        file.open(QIODevice::WriteOnly);
    });
    auto file = OpenNotBlock(Path("late.dat"));
    creator.join();
    EXPECT_TRUE(file);
}

TEST(WorkingDirTest, FollowsTheProcessWorkingDirectory) {
    QTemporaryDir temp;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    EXPECT_EQ(QDir(WorkingDir()).canonicalPath(), QDir(temp.path()).canonicalPath());
    QDir::setCurrent(previous);
}

}  // namespace
