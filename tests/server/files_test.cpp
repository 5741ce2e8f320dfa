// Paths from clients stay inside the files folder; names offered back are plain names.
#include "server/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

struct PathCase {
    const char* serverPath;
    const char* inside;  // null: refused
};

class ConfinementTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ConfinementTest, ResolvesOnlyInside) {
    QTemporaryDir dir;
    FilesFolder files(dir.path());
    const PathCase& c = GetParam();
    const QString got = files.resolve(QString::fromUtf8(c.serverPath));
    if (!c.inside) {
        EXPECT_TRUE(got.isEmpty()) << c.serverPath << " -> " << got.toStdString();
    } else {
        EXPECT_EQ(got, QDir(dir.path()).absolutePath() + u'/' + QString::fromUtf8(c.inside));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ConfinementTest,
                         ::testing::Values(PathCase{"photo\\mobile\\A1.jpg", "photo/mobile/A1.jpg"},
                                           PathCase{"photo/mobile/A1.jpg", "photo/mobile/A1.jpg"},
                                           PathCase{"a.jpg", "a.jpg"}, PathCase{"..\\server.db", nullptr},
                                           PathCase{"photo\\..\\..\\etc\\passwd", nullptr},
                                           PathCase{"\\etc\\passwd", nullptr},
                                           PathCase{"/etc/passwd", nullptr},
                                           PathCase{"C:\\Windows\\x", nullptr},
                                           PathCase{"photo\\\\x", nullptr}, PathCase{"photo\\.\\x", nullptr},
                                           PathCase{"", nullptr}, PathCase{"photo\\mobile\\", nullptr}));

TEST(LastPathComponent, TakesThePlainName) {
    EXPECT_EQ(LastPathComponent(QStringLiteral("client9\\ABC\\gps_1.tbl")), QStringLiteral("gps_1.tbl"));
    EXPECT_EQ(LastPathComponent(QStringLiteral("C:x.jpg")), QStringLiteral("x.jpg"));
    EXPECT_EQ(LastPathComponent(QStringLiteral("a/b/c.jpg")), QStringLiteral("c.jpg"));
    EXPECT_EQ(LastPathComponent(QStringLiteral("plain.jpg")), QStringLiteral("plain.jpg"));
}

}  // namespace
