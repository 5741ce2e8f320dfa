// Load requests and the JSON forms of table data: the request text with and without cached digests
// and column lists, JSON table texts, and single-record JSON changes for every code.
#include <gtest/gtest.h>

#include <QLocale>

#include "table_file_builder.h"
#include "tables/base_set.h"
#include "tables/table_error.h"

namespace {

const table_files::WorkDir kWorkDir;

class LoadRequestTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    // Loads a table file into the table (writing its cache when the table keeps one).
    void LoadFile(TBaseClient& t, const TableFileContent& content) {
        ASSERT_TRUE(table_files::WriteBytes("temp/load.bin", WriteTableFile(content, false)));
        ASSERT_TRUE(t.LoadFromFile("temp/load.bin"));
    }

    TBaseC set;
};

TEST_F(LoadRequestTest, RequestIsBuiltOnceUntilTheFlagsAreReset) {
    TBaseClient& t = *set[AddTable(set, "object", "", "", false, false)];
    EXPECT_EQ(
        t.GetJSONLoad(),
        R"({"$c$":"database","command":"gettableraw","refresh":1,"name":"object","md5":{},"filter":{}})");
    EXPECT_TRUE(t.SendLoadData);
    EXPECT_EQ(t.GetJSONLoad(), "");
    t.SendLoadData = false;
    t.FlagLoadData = true;
    EXPECT_EQ(t.GetJSONLoad(), "");
}

TEST_F(LoadRequestTest, CachedColumnsSendTheirDigests) {
    TBaseClient& t = *set[AddTable(set, "gps", "", "", true, false)];
    TableFileContent content;
    content.name = "gps";
    content.RecordCount = 1;
    auto& id = content.columns.emplace_back(table_files::Column(1, "n_abs", 1, 4));
    AppendValue(id, int32_t(5));
    auto& flags = content.columns.emplace_back(table_files::Column(2, "p_d", 3, 1));
    AppendValue(flags, uint8_t(0));
    LoadFile(t, content);
    t.FlagLoadData = false;
    EXPECT_EQ(t.GetJSONLoad(),
              QStringLiteral(R"({"$c$":"database","command":"gettableraw","refresh":1,)"
                             R"("name":"gps","md5":{"n_abs":"%1","p_d":"%2"},"filter":{}})")
                  .arg(ColumnCacheMD5(content.columns[0]), ColumnCacheMD5(content.columns[1])));
}

TEST_F(LoadRequestTest, ColumnListNamesTheRequestedColumnsInItsOrder) {
    TBaseClient& t = *set[AddTable(set, "gpeople", "tel,fio", "\"a\":1", true, false)];
    TableFileContent content;
    content.name = "gpeople";
    content.RecordCount = 1;
    for (const char* name : {"p_d", "fio", "n_abs", "extra"}) {
        auto& c = content.columns.emplace_back(table_files::Column(1, name, 3, 1));
        AppendValue(c, uint8_t(1));
    }
    content.columns[1].sendData = false;  // "fio" stays without cache and digest
    LoadFile(t, content);
    t.FlagLoadData = false;
    const QString md5 = ColumnCacheMD5(content.columns[0]);  // every column holds the same byte
    EXPECT_EQ(t.GetJSONLoad(), QStringLiteral(R"({"$c$":"database","command":"gettableraw","refresh":1,)"
                                              R"("name":"gpeople","fields":{"n_abs":"1","p_d":"1","tel":"1",)"
                                              R"("fio":"1"},"md5":{"n_abs":"%1","p_d":"%1","fio":""},)"
                                              R"("filter":{"a":1}})")
                                   .arg(md5));
}

TEST_F(LoadRequestTest, JsonTableTextReplacesTheContent) {
    TBaseClient t;
    t.LoadFromJSON(R"({"$c$":"tabledata","count":3,"tablefields":{"n_abs":"1,1,4,0","p_d":"2,3,1,0",)"
                   R"("txt":"3,24,4,0","mark":"4,4,1,0","name_that_is_too_long":"5,1,4,0"},)"
                   R"("fields":{"n_abs":"7,x,9,10","txt":["a","b,c"],"mark":"1,1,1","nothing":"1"}})");
    EXPECT_TRUE(t.FlagLoadData);
    EXPECT_TRUE(t.RefreshYes);
    ASSERT_EQ(t.GetCountFields(), 5);
    EXPECT_EQ(t.CountRecord, 3);
    EXPECT_EQ(t.Fields[0]->Data.DataInteger, (ColumnArray<int32_t>{7, 0, 9}));
    EXPECT_EQ(t.Fields[2]->Data.DataStringN, (std::vector<QString>{"a", "b", "c"}));
    EXPECT_TRUE(t.Fields[3]->Data.DataBoolean.empty());  // only codes 1 and 24 take values
    EXPECT_EQ(t.Fields[4]->name, "name_that_is_to");
    t.RecNoTemp = 2;
    EXPECT_EQ(t.Fields[2]->AsString(), "b");
    EXPECT_EQ(t.Fields[0]->AsInteger(), 0);
    t.RecNoTemp = 3;
    EXPECT_EQ(t.Fields[0]->AsInteger(), 9);
}

TEST_F(LoadRequestTest, JsonTextOfAnotherKindStillEndsTheLoad) {
    TBaseClient t;
    t.LoadFileName = "x";
    t.LoadFromJSON(R"({"$c$":"other"})");
    EXPECT_TRUE(t.FlagLoadData);
    EXPECT_TRUE(t.RefreshYes);
    EXPECT_TRUE(t.LoadFileName.isEmpty());
    EXPECT_EQ(t.GetCountFields(), 0);
}

TEST_F(LoadRequestTest, BadColumnDescriptorIsAConversionError) {
    for (const char* descriptor : {"1,1,4", "1,one,4,0", ""}) {
        TBaseClient t;
        EXPECT_THROW(
            t.LoadFromJSON(
                QStringLiteral(R"({"$c$":"tabledata","count":1,"tablefields":{"a":"%1"}})").arg(descriptor)),
            TableConversionError)
            << descriptor;
        EXPECT_FALSE(t.FlagLoadData);
    }
    TBaseClient t;
    t.LoadFromJSON(R"({"$c$":"tabledata","count":99999999999,"tablefields":{"n_abs":"1,1,4,0"},)"
                   R"("fields":{"n_abs":"1,2"}})");
    EXPECT_EQ(t.CountRecord, 0);  // a count beyond the cap is refused
}

TEST_F(LoadRequestTest, RecordChangeStoresEveryCode) {
    TBaseClient& t = *set[AddTable(set, "gps", "", "", false, false)];
    LoadFile(t, table_files::EveryCodeTable());
    EXPECT_TRUE(t.RefreshFromJSON(
        R"({"n_abs":18,"fields":{"fio":"Петров","b":1,"w":9,"f":"0,5","d":"-1,25","r_dt":100,)"
        R"("dt":"03.01.2000 06:00:00","arr":"4,5,6","i64":-3,"s15":"3@Три","s16":"9@девять",)"
        R"("color":16,"txt":"новый","st":60,"unknown":"1","p_d":1}})"));
    const struct {
        const char* column;
        QString text;
    } cases[] = {
        {"fio", "Петров"},
        {"b", "T"},
        {"w", "9"},
        {"f", "0,5"},
        {"d", "-1,25"},
        {"r_dt", "01.01.2000 00:01:40"},
        {"dt", "03.01.2000 06:00:00"},
        {"arr", "4 5 6 "},
        {"i64", "-3"},
        {"s15", "Три"},
        {"s16", "девять"},
        {"color", "0010"},
        {"txt", "новый"},
        {"st", "01.01.2000 00:01:00"},
        {"p_d", "1"},
    };
    for (const auto& c : cases) {
        t.RecNoTemp = 2;
        EXPECT_EQ(t.FindColumn(c.column, false)->AsString(), c.text) << c.column;
    }
    EXPECT_EQ(t.FindColumn("s15", false)->GetSprCount(), 4);  // key 3 was new
    EXPECT_EQ(t.FindColumn("s16", false)->GetSprString(2), "девять");
    t.RecNoTemp = 1;
    EXPECT_EQ(t.FindColumn("txt", false)->AsString(), "Текст \"в кавычках\"");  // the blob only grew
}

TEST_F(LoadRequestTest, RecordChangeForAnUnknownRecordChangesNothing) {
    TBaseClient& t = *set[AddTable(set, "gps", "", "", false, false)];
    LoadFile(t, table_files::EveryCodeTable());
    EXPECT_FALSE(t.RefreshFromJSON(R"({"n_abs":19,"fields":{"w":1}})"));
    EXPECT_FALSE(t.RefreshFromJSON(R"({"n_abs":"x","fields":{"w":1}})"));
    EXPECT_FALSE(t.RefreshFromJSON(R"({"fields":{"w":1}})"));
    t.RecNoTemp = 1;
    EXPECT_EQ(t.FindColumn("w", false)->AsString(), "65535");
}

}  // namespace
