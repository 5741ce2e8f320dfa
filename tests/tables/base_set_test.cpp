// The table set and a table's column set: AddTable's reuse and reset, the requested column list and
// filter, AddField's look-up by name, Clear, and the look-ups by name.
#include "tables/base_set.h"

#include <gtest/gtest.h>

#include <QDir>

#include "client_table_builder.h"
#include "table_file_builder.h"

namespace {

using client_tables::Descriptor;

const table_files::WorkDir kWorkDir;

TEST(BaseSetTest, AddTableReusesATableByNameAndResetsItsLoadState) {
    TBaseC set;
    const int32_t first = AddTable(set, "gps", "", "", true, false);
    TBaseClient& t = *set[first];
    t.FlagLoadData = true;
    t.SendLoadData = true;
    t.LoadFileName = "x.raw";
    const int32_t again = AddTable(set, "gps", "a,b", "\"x\":1", false, true);
    EXPECT_EQ(again, first);
    EXPECT_EQ(set.Count(), 1);
    EXPECT_FALSE(t.FlagLoadData);
    EXPECT_FALSE(t.SendLoadData);
    EXPECT_TRUE(t.LoadFileName.isEmpty());
    EXPECT_FALSE(t.Cache);
    EXPECT_TRUE(t.Arh);
    EXPECT_EQ(t.LoadFields, R"({"n_abs":"1","p_d":"1","a":"1","b":"1"})");
    EXPECT_EQ(t.LoadFilter, R"({"x":1})");
    EXPECT_TRUE(QDir("temp/gps").exists());
    EXPECT_TRUE(QDir("arh/gps").exists());
}

TEST(BaseSetTest, ColumnListAndFilterTexts) {
    const struct {
        QString fields;
        QString filter;
        QString loadFields;
        QString loadFilter;
    } cases[] = {
        {"", "", "", "{}"},
        {"*", "", "", "{}"},
        {"p_d,fio", "", R"({"n_abs":"1","p_d":"1","fio":"1"})", "{}"},
        {"fio,n_abs", "\"a\":\"b\"", R"({"p_d":"1","fio":"1","n_abs":"1"})", R"({"a":"b"})"},
    };
    TBaseC set;
    for (const auto& c : cases) {
        TBaseClient& t = *set[AddTable(set, "object", c.fields, c.filter, false, false)];
        EXPECT_EQ(t.LoadFields, c.loadFields) << c.fields.toStdString();
        EXPECT_EQ(t.LoadFilter, c.loadFilter);
    }
}

TEST(BaseSetTest, TablesAreNamedByTheirIndex) {
    TBaseC set;
    for (const char* name : {"object", "gps", "gpeople", "groupgps", "gpsug", "gpsshab"}) {
        AddTable(set, name, "", "", true, false);
    }
    ASSERT_EQ(set.Count(), 6);
    EXPECT_EQ(set[5]->ComponentName, "base5");
    EXPECT_EQ(set.Find("gpsug"), set[4]);
    EXPECT_EQ(set.Find("nothing"), nullptr);
    EXPECT_EQ(set[6], nullptr);
    EXPECT_TRUE(set[2]->RefreshYes);
}

TEST(BaseSetTest, AddFieldFindsAnExistingColumnByNameAndKeepsIt) {
    TBaseClient t;
    EXPECT_EQ(t.AddField(Descriptor("n_abs", 1, 4)), 0);
    EXPECT_EQ(t.AddField(Descriptor("name_longer_than_15", 2, 20)), 1);
    EXPECT_EQ(t.AddField(Descriptor("n_abs", 2, 30)), 0);
    EXPECT_EQ(t.GetFieldType("n_abs"), 1);
    EXPECT_EQ(t.GetFieldSize("n_abs"), 4);
    EXPECT_EQ(t.Fields[1]->name, "name_longer_tha");
    EXPECT_EQ(t.GetCountFields(), 2);
    EXPECT_EQ(t.MaxNumberFileds(), 1);
}

TEST(BaseSetTest, LookUpsByNameSkipUnusableColumns) {
    TBaseClient t;
    t.AddField(Descriptor("x", 0, 4));
    t.AddField(Descriptor("s", 15, 2, 20));
    t.AddField(Descriptor("x", 3, 1));
    EXPECT_EQ(t.GetFieldType("x"), 0);  // the first column of that name, usable or not
    EXPECT_EQ(t.GetFieldSize("x"), 0);
    EXPECT_EQ(t.GetNumberField("x"), 0);  // AddField found the unusable one: no second "x"
    EXPECT_FALSE(t.FieldYes("x"));
    EXPECT_TRUE(t.FieldYes("s"));
    EXPECT_EQ(t.GetFieldSprSize("s"), 20);
    EXPECT_EQ(t.GetNumberField("s"), 2);
    EXPECT_FALSE(t.FieldYes("S"));

    FieldGFB& s = *t.Fields[1];
    s.Data.DataCardinal = {4, 70000};
    s.Data.DataStringN = {"четыре", "много"};
    std::vector<SprItem> list{{"stale", 1}};
    t.GetFieldSpr("s", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].text, "много");
    EXPECT_EQ(list[1].key, 70000u);
    t.GetFieldSpr("x", list);
    EXPECT_TRUE(list.empty());

    Stru_NetFields out;
    t.GetFieldN(2, out);
    EXPECT_EQ(out.name, "s");
    EXPECT_EQ(out.SprSize, 20);
    EXPECT_EQ(t.GetFieldIndex(2), nullptr);
}

TEST(BaseSetTest, ClearRemovesEveryColumn) {
    TBaseClient t;
    t.AddField(Descriptor("n_abs", 1, 4));
    t.CountRecord = t.CountRecordFilter = 3;
    t.Clear();
    EXPECT_EQ(t.GetFieldType("n_abs"), 0);
    EXPECT_EQ(t.GetCountFields(), 0);
    EXPECT_EQ(t.CountRecord, 0);
    EXPECT_EQ(t.CountRecordFilter, 0);
}

TEST(BaseSetTest, AllSizeCountsFixedValuesAndTheBlob) {
    TBaseClient t;
    t.AddField(Descriptor("n_abs", 1, 4));
    t.AddField(Descriptor("fio", 2, 20));
    t.AddField(Descriptor("txt", 24, 4));
    t.AddField(Descriptor("none", 10, 7));
    t.Fields[2]->Data.DataByte.resize(100);
    t.CountRecordFilter = 3;
    EXPECT_EQ(t.GetAllSize(), 3 * (4 + 20 + 4) + 100);
}

}  // namespace
