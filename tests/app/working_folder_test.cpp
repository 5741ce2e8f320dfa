// Where the desktop tool works: the per-user folder of a start from the menu, made once with a
// settings file for a server on this machine, and the options looked at before the GUI starts.
#include "app/working_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/command_line.h"
#include "app/user_default.h"
#include "session/settings.h"

namespace {

class WorkingFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    }
    void TearDown() override {
        QDir::setCurrent(started);
        qunsetenv("XDG_DATA_HOME");
    }
    QString folder() const { return home.filePath("data/mobcfg"); }

    QTemporaryDir home;
    const QString started = QDir::currentPath();
};

TEST_F(WorkingFolderTest, AFirstStartMakesTheFolderWithSettingsForThisMachine) {
    EXPECT_EQ(UserFolderPath(), folder());
    QString error;
    ASSERT_TRUE(EnterUserFolder(error)) << error.toStdString();
    EXPECT_EQ(QDir::currentPath(), folder());
    const ServerSettings settings = ReadServerSettings(folder() + u'/');
    EXPECT_EQ(settings.host, "127.0.0.1");
    EXPECT_EQ(settings.port, 9010);
    EXPECT_EQ(ReadUserDefault(folder() + u'/'), "");
}

TEST_F(WorkingFolderTest, TheUsersOwnSettingsStay) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray own = "[ServerHost]\r\nAddress=127.0.0.2\r\nPort=9011\r\n[Main]\r\nUserDefault=ivan\r\n";
    QFile file(folder() + "/setup.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(own);
    file.close();
    QString error;
    ASSERT_TRUE(EnterUserFolder(error)) << error.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), own);
}

TEST_F(WorkingFolderTest, AFolderThatCannotBeMadeLeavesTheWorkingDirectory) {
    QFile blocker(home.filePath("data"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    EXPECT_FALSE(EnterUserFolder(error));
    EXPECT_TRUE(error.contains(folder())) << error.toStdString();
    EXPECT_EQ(QDir::currentPath(), started);
}

TEST(AppCommandLineTest, OwnOptionsAmongQtOnes) {
    const AppCommandLine menu = ParseAppCommandLine({"-platform", "offscreen", "--user-folder"});
    EXPECT_TRUE(menu.userFolder);
    EXPECT_FALSE(menu.help || menu.version);
    EXPECT_TRUE(ParseAppCommandLine({"--version"}).version);
    EXPECT_TRUE(ParseAppCommandLine({"-style", "fusion", "-h"}).help);
    EXPECT_FALSE(ParseAppCommandLine({"-platform", "offscreen"}).userFolder);
}

}  // namespace
