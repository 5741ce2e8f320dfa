#include "infra/json_text.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(StrToJSONStrTest, EscapesQuoteBackslashAndSlashOnly) {
    EXPECT_EQ(StrToJSONStr(Q("a\"b\\c/d\ne\tж")), Q("a\\\"b\\\\c\\/d\ne\tж"));
}

TEST(StrToJSONStrTest, EscapedTextReadsBackUnchanged) {
    const QString original = Q("path\\to/\"file\"\nдва");
    const QString text = Q("{\"v\":\"") + StrToJSONStr(original) + Q("\",\"w\":1}");
    EXPECT_EQ(GetJSONValue(text, Q("v")), original);
    QString rest = text;
    QString key;
    QString value;
    ASSERT_TRUE(GetJSONPair(rest, key, value));
    EXPECT_EQ(key, Q("v"));
    EXPECT_EQ(value, original);
}

struct ValueCase {
    const char* text;
    const char* key;
    const char* value;
};

class GetJSONValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(GetJSONValueTest, FollowsTheShallowRules) {
    EXPECT_EQ(GetJSONValue(Q(GetParam().text), Q(GetParam().key)), Q(GetParam().value)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetJSONValueTest,
    testing::Values(
        // Blanks: at most one on each side of the colon; the colon itself is optional.
        ValueCase{"{\"name\" : \"x\"}", "name", "x"}, ValueCase{"{\"name\":  \"x\"}", "name", ""},
        ValueCase{"{\"name\"\"x\"}", "name", "x"}, ValueCase{"{\"name\":\t\"x\"}", "name", ""},
        // Only the first occurrence counts, even as a string value.
        ValueCase{"{\"a\":\"name\",\"name\":\"x\"}", "name", ""},
        ValueCase{"{\"o\":{\"name\":1},\"name\":2}", "name", "1"},
        ValueCase{"{\"name\":1,\"name\":2}", "name", "1"}, ValueCase{"{\"Name\":1}", "name", ""},
        // Objects and arrays come back without their outer brackets.
        ValueCase{"{\"o\":{\"a\":{\"b\":1}},\"z\":0}", "o", "\"a\":{\"b\":1}"},
        ValueCase{"{\"l\":[1,[2,3]],\"z\":0}", "l", "1,[2,3]"},
        // Brackets are counted without regard to quoting.
        ValueCase{"{\"o\":{\"s\":\"}\",\"t\":1}}", "o", "\"s\":\""},
        ValueCase{"{\"o\":{\"s\":\"{\",\"t\":1}}", "o", "\"s\":\"{\",\"t\":1}"},
        ValueCase{"{\"o\":{\"s\":\"{\",\"t\":1}", "o", ""}, ValueCase{"{\"o\":{\"a\":1", "o", ""},
        ValueCase{"{\"l\":[1,2", "l", ""},
        // Numbers, words and null.
        ValueCase{"{\"n\":-12.50,\"m\":1}", "n", "-12.50"}, ValueCase{"{\"n\":1.5e3}", "n", "1.5"},
        ValueCase{"{\"n\":+1}", "n", ""}, ValueCase{"{\"n\":null}", "n", ""},
        ValueCase{"{\"b\":true}", "b", "true"}, ValueCase{"{\"b\":false}", "b", "false"},
        ValueCase{"{\"b\":tru}", "b", ""},
        // Strings: \" \\ \/ unescape, every other backslash stays; an open string runs to the end.
        ValueCase{"{\"s\":\"a\\nb\"}", "s", "a\\nb"}, ValueCase{"{\"s\":\"\\u0041\"}", "s", "\\u0041"},
        ValueCase{"{\"s\":\"a\\\\\"}", "s", "a\\"}, ValueCase{"{\"s\":\"open", "s", "open"},
        ValueCase{"{\"s\":\"\"}", "s", ""}, ValueCase{"{\"k\":", "k", ""}, ValueCase{"", "k", ""}));

TEST(GetJSONValueTest, NestedValuesAreSearchedAgain) {
    const QString inner = GetJSONValue(Q("{\"$c$\":\"x\",\"data\":{\"n_abs\":7,\"f\":[1]}}"), Q("data"));
    EXPECT_EQ(GetJSONValue(inner, Q("n_abs")), Q("7"));
    EXPECT_EQ(GetJSONValue(inner, Q("f")), Q("1"));
}

TEST(GetJSONPairTest, WalksAnObjectAndStopsAtItsEnd) {
    QString text = Q("{\"a\":12,\"b\":\"x\\\"y\",\"c\":{\"d\":[1]},\"e\":true}");
    QString key;
    QString value;
    ASSERT_TRUE(GetJSONPair(text, key, value));
    EXPECT_EQ(key, Q("a"));
    EXPECT_EQ(value, Q("12"));
    ASSERT_TRUE(GetJSONPair(text, key, value));
    EXPECT_EQ(key, Q("b"));
    EXPECT_EQ(value, Q("x\"y"));
    ASSERT_TRUE(GetJSONPair(text, key, value));
    EXPECT_EQ(key, Q("c"));
    EXPECT_EQ(value, Q("\"d\":[1]"));
    ASSERT_TRUE(GetJSONPair(text, key, value));
    EXPECT_EQ(value, Q("true"));
    EXPECT_FALSE(GetJSONPair(text, key, value));
    EXPECT_EQ(text, Q("}"));
    EXPECT_TRUE(key.isEmpty());
}

TEST(GetJSONPairTest, BackslashNBecomesTheLetterN) {
    QString text = Q("{\"s\":\"a\\nb\"}");
    QString key;
    QString value;
    ASSERT_TRUE(GetJSONPair(text, key, value));
    EXPECT_EQ(value, Q("anb"));
    EXPECT_EQ(GetJSONValue(Q("{\"s\":\"a\\nb\"}"), Q("s")), Q("a\\nb"));
}

struct StopCase {
    const char* text;
    const char* key;
    const char* rest;
};

class GetJSONPairStopTest : public testing::TestWithParam<StopCase> {};

TEST_P(GetJSONPairStopTest, SetsTheKeyButTakesNoValue) {
    QString text = Q(GetParam().text);
    QString key;
    QString value = Q("stale");
    EXPECT_FALSE(GetJSONPair(text, key, value));
    EXPECT_EQ(key, Q(GetParam().key));
    EXPECT_TRUE(value.isEmpty());
    EXPECT_EQ(text, Q(GetParam().rest));
}

INSTANTIATE_TEST_SUITE_P(Cases, GetJSONPairStopTest,
                         testing::Values(StopCase{"{\"a\":null,\"b\":1}", "a", "null,\"b\":1}"},
                                         StopCase{"{\"a\": 1,\"b\":1}", "a", " 1,\"b\":1}"},
                                         StopCase{"{\"a\":{\"b\":1", "a", "{\"b\":1"},
                                         StopCase{"{\"a\"", "a", ""}, StopCase{"{\"a", "", "a"},
                                         StopCase{"", "", ""}, StopCase{"1,2", "", "1,2"}));

TEST(GetJSONPairTest, AnOpenStringTakesTheRest) {
    QString text = Q("{\"a\":\"open");
    QString key;
    QString value;
    EXPECT_TRUE(GetJSONPair(text, key, value));
    EXPECT_EQ(value, Q("open"));
    EXPECT_TRUE(text.isEmpty());
}

TEST(GetJSONItemTest, WalksTheElementsOfAnArray) {
    QString text = GetJSONValue(Q("{\"rows\":[{\"a\":1},{\"b\":[2]}]}"), Q("rows"));
    EXPECT_EQ(GetJSONItem(text), Q("{\"a\":1}"));
    EXPECT_EQ(GetJSONItem(text), Q("{\"b\":[2]}"));
    EXPECT_EQ(GetJSONItem(text), QString());
    EXPECT_TRUE(text.isEmpty());
}

TEST(GetJSONItemTest, AnIncompleteElementStaysFromItsBracket) {
    QString text = Q(",{\"a\":1");
    EXPECT_EQ(GetJSONItem(text), QString());
    EXPECT_EQ(text, Q("{\"a\":1"));

    QString plain = Q("no brackets");
    EXPECT_EQ(GetJSONItem(plain), QString());
    EXPECT_TRUE(plain.isEmpty());

    QString arrays = Q(" [1],[2]");
    EXPECT_EQ(GetJSONItem(arrays), Q("[1]"));
    EXPECT_EQ(arrays, Q(",[2]"));
}

}  // namespace
