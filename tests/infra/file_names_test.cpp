// Every name from outside passes the same checks: what the last component of a path is, whether a
// name is one plain component, and where a relative server path lands below a folder.
#include "infra/file_names.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* input;
    const char* part;      // FileNamePart
    bool plain;            // IsPlainFileName of the input itself
    const char* safe;      // SafeFileName
    const char* confined;  // ConfinedPath; null: refused
};

const NameCase kCases[] = {
    {"a.jpg", "a.jpg", true, "a.jpg", "a.jpg"},
    {"gps_1.tbl", "gps_1.tbl", true, "gps_1.tbl", "gps_1.tbl"},
    {"client9\\ABC\\gps_1.tbl", "gps_1.tbl", false, "gps_1.tbl", "client9/ABC/gps_1.tbl"},
    {"photo\\mobile\\A1.jpg", "A1.jpg", false, "A1.jpg", "photo/mobile/A1.jpg"},
    {"photo/mobile/A1.jpg", "A1.jpg", false, "A1.jpg", "photo/mobile/A1.jpg"},
    {"C:x.jpg", "x.jpg", false, "x.jpg", nullptr},
    {"C:\\Windows\\x", "x", false, "x", nullptr},
    {"..\\server.db", "server.db", false, "server.db", nullptr},
    {"photo\\..\\..\\etc\\passwd", "passwd", false, "passwd", nullptr},
    {"\\etc\\passwd", "passwd", false, "passwd", nullptr},
    {"/etc/passwd", "passwd", false, "passwd", nullptr},
    {"photo\\\\x", "x", false, "x", nullptr},
    {"photo\\.\\x", "x", false, "x", nullptr},
    {"photo\\mobile\\", "", false, "", nullptr},
    {"..", "..", false, "", nullptr},
    {".", ".", false, "", nullptr},
    {"dir\\..", "..", false, "", nullptr},
    {"", "", false, "", nullptr},
};

TEST(FileNames, EveryCheckAgreesOnEveryName) {
    for (const NameCase& c : kCases) {
        const QString input = QString::fromUtf8(c.input);
        SCOPED_TRACE(c.input);
        EXPECT_EQ(FileNamePart(input), QString::fromUtf8(c.part));
        EXPECT_EQ(IsPlainFileName(input), c.plain);
        EXPECT_EQ(SafeFileName(input), QString::fromUtf8(c.safe));
        EXPECT_EQ(ConfinedPath(input), c.confined ? QString::fromUtf8(c.confined) : QString());
    }
}

TEST(FileNames, ANulCharacterOrAnOverlongPathNamesNothing) {
    const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    EXPECT_FALSE(IsPlainFileName(nul));
    EXPECT_TRUE(SafeFileName(QStringLiteral("dir\\") + nul).isEmpty());
    EXPECT_TRUE(ConfinedPath(QStringLiteral("dir\\") + nul).isEmpty());
    EXPECT_EQ(ConfinedPath(QString(1024, u'x')), QString(1024, u'x'));
    EXPECT_TRUE(ConfinedPath(QString(1025, u'x')).isEmpty());
}

TEST(FileNames, ALocalPathMustStayInTheWorkingDirectory) {
    EXPECT_TRUE(StaysInWorkingDir(QStringLiteral("photo/a.jpg")));
    EXPECT_TRUE(StaysInWorkingDir(QStringLiteral("photo/../a.jpg")));
    EXPECT_TRUE(StaysInWorkingDir(QStringLiteral("..a.jpg")));
    EXPECT_FALSE(StaysInWorkingDir(QStringLiteral("../a.jpg")));
    EXPECT_FALSE(StaysInWorkingDir(QStringLiteral("photo/../../a.jpg")));
    EXPECT_FALSE(StaysInWorkingDir(QStringLiteral("..")));
    EXPECT_FALSE(StaysInWorkingDir(QStringLiteral("/etc/passwd")));
    EXPECT_FALSE(StaysInWorkingDir(QString()));
}

}  // namespace
