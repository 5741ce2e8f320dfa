// The record view: deleted records, filters, the master/slave link, the padded locale-aware sort,
// navigation and search.
#include <gtest/gtest.h>

#include <QLocale>
#include <random>
#include <vector>

#include "client_table_builder.h"
#include "infra/codepage.h"
#include "table_file_builder.h"
#include "tables/base_client.h"

namespace {

using namespace client_tables;

const table_files::WorkDir kWorkDir;

constexpr int32_t kTextSize = 20;

struct Row {
    int32_t id;
    uint8_t flags = 0;
    QString text{};
    int32_t num = 0;
    uint8_t b = 0;
};

// Columns: 1 n_abs, 2 p_d, 3 name (code 2), 4 num (code 1), 5 b (code 3), 6 link (code 1).
void Fill(TBaseClient& t, const std::vector<Row>& rows) {
    const Column columns[] = {
        {"n_abs", 1, 4}, {"p_d", 3, 1}, {"name", 2, kTextSize}, {"num", 1, 4}, {"b", 3, 1}};
    t.Clear();
    for (const Column& c : columns) {
        AddColumn(t, c, int32_t(rows.size()));
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        t.Fields[0]->Data.DataInteger[r] = rows[r].id;
        t.Fields[1]->Data.DataByte[r] = rows[r].flags;
        const QByteArray text = toAnsi(rows[r].text);
        uint8_t* slot = t.Fields[2]->Data.DataByte.data() + r * kTextSize;
        slot[0] = uint8_t(text.size());
        std::copy(text.begin(), text.end(), slot + 1);
        t.Fields[3]->Data.DataInteger[r] = rows[r].num;
        t.Fields[4]->Data.DataByte[r] = rows[r].b;
    }
    t.CountRecord = int32_t(rows.size());
}

std::vector<int32_t> VisibleIds(TBaseClient& t) {
    auto guard = t.Guard();
    std::vector<int32_t> ids;
    for (int32_t pos = 1; pos <= t.Count(); ++pos) {
        ids.push_back(t.GetFieldNumber(1, pos)->AsInteger());
    }
    return ids;
}

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

struct SortCase {
    const char* column;
    std::vector<Row> rows;
    std::vector<int32_t> order;
};

class SortTest : public ViewTest, public ::testing::WithParamInterface<SortCase> {};

TEST_P(SortTest, OrdersByPaddedCollatedKeys) {
    Fill(t, GetParam().rows);
    t.SetSort(QString::fromLatin1(GetParam().column));
    t.SetSorted(true);
    EXPECT_EQ(VisibleIds(t), GetParam().order);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, SortTest,
    ::testing::Values(
        SortCase{"b", {{1, 0, "", 0, 100}, {2, 0, "", 0, 9}, {3, 0, "", 0, 10}}, {2, 3, 1}},
        SortCase{"num", {{1, 0, "", 100}, {2, 0, "", 9}, {3, 0, "", 10}}, {2, 3, 1}},
        // Without padding, text sorts as text: "10" before "9".
        SortCase{"name", {{1, 0, "9"}, {2, 0, "10"}, {3, 0, "100"}}, {2, 3, 1}},
        SortCase{"name", {{1, 0, "в"}, {2, 0, "Б"}, {3, 0, "а"}, {4, 1, "0"}, {5, 0, "Г"}}, {3, 2, 1, 5}}));

TEST_F(ViewTest, SortFollowsChangedValuesAndTheMissingSortColumnTurnsSortingOff) {
    Fill(t, {{1, 0, "b"}, {2, 0, "c"}, {3, 0, "a"}});
    t.SetSort("name");
    t.SetSorted(true);
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{3, 1, 2}));
    t.Fields[2]->Data.DataByte[2 * kTextSize + 1] = 'z';
    t.Fields[1]->Data.DataByte[0] = 1;
    t.RefreshData();
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(t.GetSortPos(3), 2);
    EXPECT_EQ(t.GetSortPos(1), -1);

    t.SetSort("none");
    t.RefreshData();
    EXPECT_FALSE(t.Sorted());
    EXPECT_EQ(VisibleIds(t), (std::vector<int32_t>{2, 3}));
}

// A sorted view that only a few records changed is patched, not sorted anew: after every kind of
// change it must equal the view of a table sorted from scratch, ties (equal texts) in storage order.
TEST_F(ViewTest, PatchedSortedViewEqualsAFreshSort) {
    std::mt19937 rng(3);
    const QStringList words = {"ёж", "Еж", "еда", "ЖУК", "жук", "а", "Б"};
    std::vector<Row> rows;
    for (int32_t id = 1; id <= 300; ++id) {
        rows.push_back({id, uint8_t(id % 40 == 0 ? 1 : 0), words[int(rng() % 7)]});
    }
    Fill(t, rows);
    t.SetSort("name");
    t.SetSorted(true);
    for (int step = 0; step < 60; ++step) {
        if (step % 3 == 0) {
            const size_t r = rng() % rows.size();
            rows[r].flags ^= 1;
            t.Fields[1]->Data.DataByte[r] = rows[r].flags;
        } else {
            // Up to five records change their text at once, now and then a third of them.
            for (int n = step % 10 == 1 ? 100 : 1 + int(rng() % 5); n > 0; --n) {
                const size_t r = rng() % rows.size();
                rows[r].text = words[int(rng() % 7)];
                const QByteArray text = toAnsi(rows[r].text);
                uint8_t* slot = t.Fields[2]->Data.DataByte.data() + r * kTextSize;
                slot[0] = uint8_t(text.size());
                std::copy(text.begin(), text.end(), slot + 1);
            }
        }
        t.RefreshData();
        TBaseClient fresh;
        Fill(fresh, rows);
        fresh.SetSort("name");
        fresh.SetSorted(true);
        ASSERT_EQ(t.SortData, fresh.SortData) << "step " << step;
    }
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
