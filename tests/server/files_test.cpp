// Paths from clients land inside the files folder, or nowhere (the paths themselves are checked by
// infra/file_names, tests/infra/file_names_test.cpp).
#include "server/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

TEST(FilesFolder, ResolvesOnlyInside) {
    QTemporaryDir dir;
    FilesFolder files(dir.path());
    EXPECT_EQ(files.resolve(QStringLiteral("photo\\mobile\\A1.jpg")),
              QDir(dir.path()).absolutePath() + QStringLiteral("/photo/mobile/A1.jpg"));
    EXPECT_TRUE(files.resolve(QStringLiteral("..\\server.db")).isEmpty());
    EXPECT_TRUE(files.resolve(QString()).isEmpty());
}

}  // namespace
