// Paths from clients land inside the files folder, or nowhere (the paths themselves are checked by
// infra/file_names, tests/infra/file_names_test.cpp); links placed inside the folder lead nowhere.
#include "server/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

class FilesFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("photo"))));
        QFile secret(outside.filePath(QStringLiteral("secret")));
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        secret.close();
        QFile plain(root.filePath(QStringLiteral("photo/a.jpg")));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        plain.write("jpeg");
        plain.close();
        ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("secret")),
                                root.filePath(QStringLiteral("link.jpg"))));
        ASSERT_TRUE(QFile::link(outside.path(), root.filePath(QStringLiteral("out"))));
    }

    QTemporaryDir root;
    QTemporaryDir outside;
    FilesFolder files{root.path(), ServerLimits{}};
};

TEST_F(FilesFolderTest, ConfinesNamesAndRefusesOverlongOnes) {
    EXPECT_EQ(FilesFolder::confine(QStringLiteral("photo\\mobile\\A1.jpg")),
              QStringLiteral("photo/mobile/A1.jpg"));
    EXPECT_TRUE(FilesFolder::confine(QStringLiteral("..\\server.db")).isEmpty());
    EXPECT_TRUE(FilesFolder::confine(QString()).isEmpty());
    EXPECT_FALSE(FilesFolder::confine(QString(255, u'x')).isEmpty());
    EXPECT_TRUE(FilesFolder::confine(QString(256, u'x')).isEmpty());
    EXPECT_TRUE(FilesFolder::confine(QStringLiteral("a\\") + QString(128, u'ж')).isEmpty());  // 256 bytes
}

TEST_F(FilesFolderTest, ReadsPlainFilesOnlyAndNoLink) {
    auto plain = files.openForReading(QStringLiteral("photo/a.jpg"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->readAll(), QByteArray("jpeg"));
    EXPECT_FALSE(files.openForReading(QStringLiteral("link.jpg")));
    EXPECT_FALSE(files.openForReading(QStringLiteral("out/secret")));
    EXPECT_FALSE(files.openForReading(QStringLiteral("photo")));
    EXPECT_FALSE(files.openForReading(QStringLiteral("photo/none.jpg")));
}

TEST_F(FilesFolderTest, UploadsWriteNoLinkAndOnePathAtATime) {
    EXPECT_FALSE(files.startUpload(QStringLiteral("out/x.jpg"), QStringLiteral("u")));
    auto up = files.startUpload(QStringLiteral("link.jpg"), QStringLiteral("u"));
    ASSERT_TRUE(up);
    EXPECT_FALSE(files.startUpload(QStringLiteral("link.jpg"), QStringLiteral("v")));
    ASSERT_TRUE(up->reserve(3));
    ASSERT_EQ(up->file().write("new"), 3);
    ASSERT_TRUE(up->finish());
    up.reset();
    // The link itself was replaced; what it pointed at is untouched.
    EXPECT_FALSE(QFileInfo(root.filePath(QStringLiteral("link.jpg"))).isSymLink());
    QFile secret(outside.filePath(QStringLiteral("secret")));
    ASSERT_TRUE(secret.open(QIODevice::ReadOnly));
    EXPECT_EQ(secret.readAll(), QByteArray("secret"));
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("secret")});
    EXPECT_TRUE(files.startUpload(QStringLiteral("link.jpg"), QStringLiteral("v")));
}

TEST_F(FilesFolderTest, UploadsKeepTheFolderWithinItsSize) {
    ServerLimits limits;
    limits.maxFilesBytes = 4 + 10;  // "photo/a.jpg" holds 4 bytes; links count for nothing
    FilesFolder folder(root.path(), limits);
    auto big = folder.startUpload(QStringLiteral("b.jpg"), QStringLiteral("u"));
    ASSERT_TRUE(big);
    EXPECT_FALSE(big->reserve(11));
    big.reset();
    auto first = folder.startUpload(QStringLiteral("b.jpg"), QStringLiteral("u"));
    ASSERT_TRUE(first && first->reserve(6));
    auto second = folder.startUpload(QStringLiteral("c.jpg"), QStringLiteral("u"));
    EXPECT_FALSE(second->reserve(5));  // 4 stored and 6 in progress
    ASSERT_EQ(first->file().write("123456"), 6);
    ASSERT_TRUE(first->finish());
    first.reset();
    EXPECT_FALSE(second->reserve(5));  // 10 stored
    EXPECT_TRUE(second->reserve(4));
}

}  // namespace
