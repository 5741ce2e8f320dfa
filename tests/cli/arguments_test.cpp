#include "cli/arguments.h"

#include <gtest/gtest.h>

namespace {

ParsedArguments Parse(const char* line) {
    return ParseArguments(QString::fromUtf8(line).split(' ', Qt::SkipEmptyParts));
}

TEST(ArgumentsTest, GlobalOptionsThenCommandWords) {
    const ParsedArguments parsed = Parse(
        "--host 10.0.0.1 --port=9011 --user admin --password a=b --timeout 2.5 --times edit gps 7 name=x");
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    const CliOptions& o = *parsed.options;
    EXPECT_EQ(o.host, "10.0.0.1");
    EXPECT_EQ(o.port, 9011);
    EXPECT_EQ(o.user, "admin");
    EXPECT_EQ(o.password, "a=b");
    EXPECT_DOUBLE_EQ(o.timeoutSeconds, 2.5);
    EXPECT_TRUE(o.times);
    EXPECT_EQ(o.command, "edit");
    EXPECT_EQ(o.commandArgs, QStringList({"gps", "7", "name=x"}));
}

TEST(ArgumentsTest, HostAndPortStayUnsetForTheSettingsFile) {
    const ParsedArguments parsed = Parse("--user u --password p load");
    ASSERT_TRUE(parsed.options);
    EXPECT_FALSE(parsed.options->host);
    EXPECT_FALSE(parsed.options->port);
    EXPECT_DOUBLE_EQ(parsed.options->timeoutSeconds, 30);
}

TEST(ArgumentsTest, CommandWordsMayLookLikeOptions) {
    const ParsedArguments parsed = Parse("--user u --password p watch --seconds 3");
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->commandArgs, QStringList({"--seconds", "3"}));
}

TEST(ArgumentsTest, HelpAndVersionNeedNothingElse) {
    const ParsedArguments help = Parse("--help");
    ASSERT_TRUE(help.options);
    EXPECT_TRUE(help.options->help);
    const ParsedArguments version = Parse("--port 1 --version");
    ASSERT_TRUE(version.options);
    EXPECT_TRUE(version.options->version);
}

class BadArgumentsTest : public testing::TestWithParam<const char*> {};

TEST_P(BadArgumentsTest, GiveOneLineError) {
    const ParsedArguments parsed = Parse(GetParam());
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.error.isEmpty());
    EXPECT_FALSE(parsed.error.contains('\n'));
}

INSTANTIATE_TEST_SUITE_P(Cases, BadArgumentsTest,
                         testing::Values("", "--user u --password p", "--user u load", "--password p load",
                                         "--user u --password p --port 0 load",
                                         "--user u --password p --port 65536 load",
                                         "--user u --password p --port x load",
                                         "--user u --password p --timeout 0 load",
                                         "--user u --password p --timeout nan load",
                                         "--user u --password p --colour red load", "--user u --password"));

}  // namespace
