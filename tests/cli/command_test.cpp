#include "cli/command.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

struct WordsCase {
    const char* command;
    QStringList words;
    bool accepted;
};

class CommandWordsTest : public testing::TestWithParam<WordsCase> {};

TEST_P(CommandWordsTest, ChecksItsOwnWordsBeforeAnyNetworkWork) {
    const std::unique_ptr<Command> command = MakeCommand(GetParam().command);
    ASSERT_TRUE(command);
    const QString error = command->Parse(GetParam().words);
    EXPECT_EQ(error.isEmpty(), GetParam().accepted) << error.toStdString();
    EXPECT_FALSE(error.contains(u'\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandWordsTest,
    testing::Values(
        WordsCase{"load", {}, true}, WordsCase{"load", {"gps"}, false}, WordsCase{"dump", {"gpeople"}, true},
        WordsCase{"dump", {"people"}, false}, WordsCase{"dump", {"gps", "gpsug"}, true},
        WordsCase{"dump", {"gps", "x"}, false}, WordsCase{"dump", {"GPS"}, false},
        WordsCase{"dump", {}, false}, WordsCase{"add", {"gps", "name=Газель", "tel="}, true},
        WordsCase{"add", {"gps", "x=a=b"}, true}, WordsCase{"add", {"gps"}, false},
        WordsCase{"add", {"gps", "=value"}, false}, WordsCase{"add", {"gps", "name"}, false},
        WordsCase{"edit", {"gps", "17", "name=x"}, true}, WordsCase{"edit", {"gps", "-3", "name=x"}, true},
        WordsCase{"edit", {"gps", "seven", "name=x"}, false}, WordsCase{"edit", {"gps", "17"}, false},
        WordsCase{"delete", {"gpsug", "4"}, true}, WordsCase{"delete", {"gpsug", "4x"}, false},
        WordsCase{"delete", {"gpsug"}, false}, WordsCase{"get-file", {"photo\\mobile\\a.jpg", "a.jpg"}, true},
        WordsCase{"get-file", {"photo\\mobile\\a.jpg", "../a.jpg"}, false},
        WordsCase{"get-file", {"photo\\mobile\\a.jpg", ".."}, false},
        WordsCase{"get-file", {"photo\\mobile\\a.jpg", "sub\\a.jpg"}, false},
        WordsCase{"get-file", {"photo\\mobile\\a.jpg"}, false},
        WordsCase{"put-file", {"/nonexistent/file.jpg", "photo\\mobile\\a.jpg"}, false},
        WordsCase{"watch", {}, true}, WordsCase{"watch", {"--seconds", "2.5"}, true},
        WordsCase{"watch", {"--seconds", "0"}, false}, WordsCase{"watch", {"--seconds"}, false},
        WordsCase{"watch", {"gps"}, false}));

TEST(CommandTest, UnknownNameGivesNoCommand) {
    EXPECT_FALSE(MakeCommand("remove"));
}

TEST(CommandTest, PutFileTakesAnExistingFile) {
    QTemporaryDir dir;
    QFile file(dir.filePath("photo.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(MakeCommand("put-file")->Parse({file.fileName(), "photo\\mobile\\p.jpg"}).isEmpty());
    EXPECT_FALSE(MakeCommand("put-file")->Parse({dir.path(), "photo\\mobile\\p.jpg"}).isEmpty());
}

}  // namespace
