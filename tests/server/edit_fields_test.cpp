// The loose texts of the edit commands: bare T and F, decimal commas, dates as text, byte lists,
// dictionary values, and values that do not fit their column.
#include "server/edit_fields.h"

#include <gtest/gtest.h>

#include "infra/codepage.h"
#include "server/table_data.h"

namespace {

TEST(SplitFields, ReadsTheLooseFormsClientsWrite) {
    std::vector<RawField> f;
    ASSERT_TRUE(
        SplitFields(QStringLiteral("\"active\":T,\"lat\":55,75,\"name\":\"a \\\"b\\\" \\/ c\","
                                   "\"sensors\":[1,2,3],\"dt\":\"10.12.2026 11:22:43\",\"speed\":-1.5,"),
                    f));
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0].name, QStringLiteral("active"));
    EXPECT_EQ(f[0].value, QStringLiteral("T"));
    EXPECT_EQ(f[1].value, QStringLiteral("55,75"));
    EXPECT_EQ(f[2].value, QStringLiteral("a \"b\" / c"));
    EXPECT_EQ(f[3].value, QStringLiteral("1,2,3"));
    EXPECT_EQ(f[4].value, QStringLiteral("10.12.2026 11:22:43"));
    EXPECT_EQ(f[5].value, QStringLiteral("-1.5"));
    f.clear();
    EXPECT_TRUE(SplitFields(QString(), f));
    EXPECT_TRUE(f.empty());
}

TEST(SplitFields, RefusesBrokenTexts) {
    for (const char* text : {"\"a\"", "\"a\":", "\"a\":\"open", "a:1", "\"a\":{\"b\":1}", "\"a\":[1,2"}) {
        std::vector<RawField> f;
        EXPECT_FALSE(SplitFields(QString::fromUtf8(text), f)) << text;
    }
}

struct ConvertCase {
    uint8_t code;
    int32_t size;
    const char* value;
    bool ok;
    int64_t integer;
    double real;
};

class ConvertFieldTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertFieldTest, ConvertsByCode) {
    const ConvertCase& c = GetParam();
    ColumnDef col{1, QStringLiteral("c"), c.code, c.size, 32};
    FieldValue v;
    QString error;
    ASSERT_EQ(ConvertField(col, QString::fromUtf8(c.value), v, error), c.ok) << c.value;
    if (!c.ok) {
        EXPECT_FALSE(error.isEmpty());
        return;
    }
    EXPECT_EQ(v.integer, c.integer) << c.value;
    EXPECT_DOUBLE_EQ(v.real, c.real) << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ConvertFieldTest,
    ::testing::Values(ConvertCase{1, 4, "-17", true, -17, 0}, ConvertCase{1, 4, "4294967295", true, -1, 0},
                      ConvertCase{1, 4, "12abc", false, 0, 0}, ConvertCase{1, 4, "99999999999", false, 0, 0},
                      ConvertCase{3, 1, "255", true, 255, 0}, ConvertCase{3, 1, "256", false, 0, 0},
                      ConvertCase{4, 1, "T", true, 1, 0}, ConvertCase{4, 1, "F", true, 0, 0},
                      ConvertCase{4, 1, "yes", false, 0, 0}, ConvertCase{5, 2, "65535", true, 65535, 0},
                      ConvertCase{8, 4, "16711680", true, 16711680, 0}, ConvertCase{8, 4, "-1", false, 0, 0},
                      ConvertCase{13, 8, "860000012345678", true, 860000012345678LL, 0},
                      ConvertCase{6, 4, "55,75", true, 0, 55.75}, ConvertCase{7, 8, "-0.5", true, 0, -0.5},
                      ConvertCase{7, 8, "nan", false, 0, 0}, ConvertCase{9, 8, "", true, 0, 0},
                      ConvertCase{9, 8, "31.12.1899 12:00:00", true, 0, 1.5},
                      ConvertCase{9, 8, "not a date", false, 0, 0},
                      ConvertCase{15, 2, "3@Ночной", true, 3, 0}, ConvertCase{16, 1, "7", true, 7, 0},
                      // Key 0 is no value and takes no text; the largest of the width is no key.
                      ConvertCase{15, 2, "0", true, 0, 0}, ConvertCase{15, 2, "0@", true, 0, 0},
                      ConvertCase{15, 2, "0@pinned", false, 0, 0},
                      ConvertCase{15, 2, "65534@x", true, 65534, 0},
                      ConvertCase{15, 2, "65535@x", false, 0, 0}, ConvertCase{15, 2, "65535", false, 0, 0},
                      ConvertCase{16, 1, "254", true, 254, 0}, ConvertCase{16, 1, "255@x", false, 0, 0}));

TEST(ConvertField, TextsAndBytes) {
    FieldValue v;
    QString error;
    ASSERT_TRUE(
        ConvertField(ColumnDef{1, QStringLiteral("fio"), 24, 4, 0}, QStringLiteral("Петров"), v, error));
    EXPECT_EQ(v.bytes, toAnsi(QStringLiteral("Петров")));
    FieldValue b;
    ASSERT_TRUE(
        ConvertField(ColumnDef{1, QStringLiteral("s"), 11, 8, 0}, QStringLiteral("1,2,255"), b, error));
    EXPECT_EQ(b.bytes, QByteArray("\x01\x02\xff", 3));
    FieldValue d;
    ASSERT_TRUE(
        ConvertField(ColumnDef{1, QStringLiteral("k"), 16, 1, 32}, QStringLiteral("Южный"), d, error));
    EXPECT_FALSE(d.hasKey);
    EXPECT_EQ(d.bytes, toAnsi(QStringLiteral("Южный")));
}

}  // namespace
