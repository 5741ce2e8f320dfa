// The record view: deleted records, filters, the master/slave link, navigation, look-ups and search
// (the sort has its own test, view_sort_test.cpp).
#include <gtest/gtest.h>

#include <QLocale>
#include <vector>

#include "client_table_builder.h"
#include "infra/codepage.h"
#include "table_file_builder.h"
#include "tables/base_client.h"
#include "view_rows.h"

namespace {

using namespace client_tables;
using namespace view_rows;

const table_files::WorkDir kWorkDir;

class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    TBaseClient t;
};

TEST_F(ViewTest, DeletedRecordsAreLeftOutAndAnEmptyTableKeepsItsView) {
    Fill(t, {{1}, {2, 1}, {3, 6}});
    int refreshes = 0;
    t.OnRefresh = [&](TBaseClient*) { ++refreshes; };
    t.RefreshData();
    EXPECT_EQ(t.Count(), 2);
    EXPECT_EQ(t.SortData, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(refreshes, 1);

    Fill(t, {{1, 1}, {2, 3}});
    t.RecNoTemp = 2;
    t.RefreshData();
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.RecNoTemp, -1);

    Fill(t, {{1}, {2}});
    t.RefreshData();
    Fill(t, {});
    t.RefreshData();
    EXPECT_EQ(t.SortData, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(refreshes, 3);
}

TEST_F(ViewTest, ViewCoversOnlyTheRecordCount) {
    Fill(t, {{1}, {2}, {3}});
    t.CountRecord = 2;
    t.RefreshData();
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1, 2}));
}

struct FilterCase {
    const char* column;
    QString filter;
    uint8_t op;
    std::vector<int32_t> visible;
};

class TextFilterTest : public ViewTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(TextFilterTest, KeepsTheMatchingRecords) {
    Fill(t, {{1, 0, "Абвгд", 5, 9},
             {2, 0, "xaBy", 10, 10},
             {3, 0, "ab", 15, 100},
             {4, 1, "ab", 20, 0},
             {5, 0, "bab", 25, 7},
             {6, 0, "b", 30, 0}});
    const FilterCase& c = GetParam();
    t.SetFilter(QString::fromLatin1(c.column), c.filter, c.op);
    t.SetFiltered(true);
    EXPECT_EQ(VisibleIds(t), c.visible);
    t.ClearAllFilter();
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1, 2, 3, 5, 6}));
}

INSTANTIATE_TEST_SUITE_P(
    AsteriskModesAndOperators, TextFilterTest,
    ::testing::Values(FilterCase{"name", "*AB*", 0, {2, 3, 5}},  // contains, any letter case
                      FilterCase{"name", "*ab", 0, {3, 5}},      // ends with
                      FilterCase{"name", "ab*", 0, {3}},         // starts with
                      FilterCase{"name", "a*b", 0, {3}},         // starts with the text without asterisks
                      FilterCase{"name", "ab", 0, {3}},          // equals
                      FilterCase{"name", "*АБВ*", 0, {1}},       // Cyrillic lower-casing
                      FilterCase{"name", "ab", 1, {1, 2, 5, 6}},
                      FilterCase{"name", "*ab", 1, {1, 2}},  // shorter than the operand: a mismatch
                      FilterCase{"name", "b", 2, {3}},       // ordinal, lower-cased record text
                      FilterCase{"name", "b", 5, {1, 2, 5, 6}},
                      FilterCase{"name", "", 0, {1, 2, 3, 5, 6}},  // an empty text filters nothing
                      FilterCase{"num", "15", 3, {5, 6}}, FilterCase{"num", "15", 4, {1, 2, 3}},
                      FilterCase{"b", "10", 0, {2}}, FilterCase{"b", "9", 1, {2, 3, 5, 6}}));

TEST_F(ViewTest, FilterOperatorCombinesColumns) {
    Fill(t, {{1, 0, "ab", 1}, {2, 0, "ab", 2}, {3, 0, "cd", 1}, {4, 0, "cd", 2}});
    t.SetFilter("name", "ab", 0);
    t.SetFilter("num", "1", 0);
    t.SetFiltered(true);
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1}));
    t.SetFilterOper(1);
    t.RefreshData();
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1, 2, 3}));
    t.SetFilterOper(2);
    t.RefreshData();
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(ViewTest, SlaveShowsTheRecordsOfTheMastersCurrentRecord) {
    TBaseClient master;
    Fill(master, {{10}, {20}});
    master.RefreshData();
    Fill(t, {{1, 0, "", 10}, {2, 0, "", 20}, {3, 0, "", 10}, {4, 1, "", 10}});
    t.RefreshData();
    t.SetSlaveField("num");
    t.SetMasterField("n_abs");
    master.First();
    t.SetMasterTable(&master);
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1, 3}));
    master.Next();
    t.RefreshData();
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{2}));
    t.SetMasterField("none");
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(ViewTest, NavigationStaysInsideTheView) {
    Fill(t, {{1}, {2, 1}, {3}, {4}});
    t.RefreshData();
    EXPECT_EQ(t.RecordIndex(), 1);
    t.First();
    EXPECT_EQ(t.RecNo, 1);
    t.Prior();
    EXPECT_EQ(t.RecNoI, 1);
    t.Next();
    EXPECT_EQ(t.RecNo, 3);
    t.Last();
    EXPECT_EQ(t.RecNo, 4);
    EXPECT_FALSE(t.eof());
    t.Next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.RecNo, 4);
    t.Prior();
    EXPECT_EQ(t.RecNoI, 3);

    t.SetRecordIndex(0);
    EXPECT_EQ(t.RecNoI, 1);
    EXPECT_EQ(t.RecNoTemp, 1);
    t.SetRecordIndex(99);
    EXPECT_EQ(t.RecNo, 4);
    t.Add();
    t.SetRecordIndex(2);
    EXPECT_EQ(t.RecNoI, 3);
    t.Cancel();
    t.SetRecordIndex(2);
    EXPECT_EQ(t.RecNo, 3);
}

TEST_F(ViewTest, LookUpsSelectTheRecordTheyName) {
    Fill(t, {{7, 0, "a", 1}, {8, 2, "b", 2}, {9, 0, "c", 3}});
    t.RefreshData();
    auto guard = t.Guard();
    EXPECT_EQ(t.GetField("name", 3)->AsString(), "c");
    EXPECT_EQ(t.GetField("name", 4)->AsString(), "c");  // beyond the view: selection unchanged
    EXPECT_EQ(t.GetField("missing", 1), nullptr);
    EXPECT_EQ(t.GetFieldNumber(0, 1), nullptr);
    EXPECT_EQ(t.GetFieldNumber(6, 1), nullptr);
    EXPECT_EQ(t.GetFieldInAbs("name", 9)->AsString(), "c");
    // A record with any flag set is not found by its identifier.
    EXPECT_EQ(t.GetFieldInAbs("name", 8)->AsString(), "Запись не найдена");
    EXPECT_EQ(t.GetFieldInAbs("name", 5)->AsString(), "Запись не найдена");
    t.SetRecordIndex(2);
    EXPECT_EQ(t.GetFieldCurrent("name")->AsString(), "b");
    EXPECT_EQ(t.GetFieldNumberCurrent(4)->AsInteger(), 2);
    EXPECT_EQ(t.GetFieldCurrentAsInteger("num"), 2);
    EXPECT_EQ(t.GetFieldCurrentAsInteger("name"), 0);
    EXPECT_TRUE(t.GotoAbs(9));
    EXPECT_EQ(t.RecNo, 3);
    EXPECT_FALSE(t.GotoAbs(5));
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.GetPosInAbs(8), 2);
    EXPECT_EQ(t.GetPosInAbs(5), -1);
}

TEST_F(ViewTest, SearchMovesToTheFirstHit) {
    Fill(t, {{1, 0, "Иванов"}, {2, 0, "Петров"}, {3, 1, "Сидоров"}, {4, 0, "Сидоров"}});
    t.RefreshData();
    t.FindByField("name", "ПЕТ", 0);
    EXPECT_EQ(t.RecNo, 2);
    t.FindByField("name", "р", 3);
    EXPECT_EQ(t.RecNo, 4);
    t.FindByField("name", "Я", 0);
    EXPECT_EQ(t.RecNo, 4);
    EXPECT_EQ(t.FindData("name", "доров"), 4);
    EXPECT_EQ(t.FindData("name", "ИВАН"), -1);  // case-sensitive
    EXPECT_EQ(t.FindData("name", "Иван"), 1);
}

}  // namespace
