// The view's sort: padded, locale-collated keys with ties in storage order, and the patched order
// of a table whose records change, which must always equal a sort from scratch.
#include "tables/view_sort.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <random>
#include <vector>

#include "client_table_builder.h"
#include "infra/byte_codec.h"
#include "table_file_builder.h"
#include "view_rows.h"

namespace {

using namespace client_tables;
using namespace view_rows;

const table_files::WorkDir kWorkDir;

class SortedViewTest : public ::testing::Test {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    TBaseClient t;
};

struct SortCase {
    const char* column;
    std::vector<Row> rows;
    std::vector<int32_t> order;
};

class SortTest : public SortedViewTest, public ::testing::WithParamInterface<SortCase> {};

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

TEST_F(SortedViewTest, SortFollowsChangedValuesAndTheMissingSortColumnTurnsSortingOff) {
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
TEST_F(SortedViewTest, PatchedSortedViewEqualsAFreshSort) {
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

// SortView itself on the columns whose keys are not made from fixed bytes (code-24 texts, kept by
// their text) and on integers whose padding width changes as values grow: after every change the
// order kept between calls equals the order a fresh cache makes.
TEST_F(SortedViewTest, KeptOrderEqualsAFreshOrderForTextsAndIntegers) {
    std::mt19937 rng(5);
    constexpr int32_t kRecords = 200;
    const QStringList words = {"ёж", "Еж", "еда", "ЖУК", "жук", "", "Б"};
    const Column columns[] = {{"n_abs", 1, 4}, {"p_d", 3, 1}, {"txt", 24, 4}, {"num", 1, 4}};
    MakeBlankTable(t, columns, kRecords);
    FieldGFB& txt = *t.Fields[2];
    FieldGFB& num = *t.Fields[3];
    const auto setText = [&txt](int32_t r, const QString& text) {
        txt.Data.DataInteger[size_t(r)] = int32_t(txt.Data.DataByte.size());
        QByteArray bytes;
        AppendShortText(bytes, toAnsi(text));
        txt.Data.DataByte.insert(txt.Data.DataByte.end(), bytes.begin(), bytes.end());
    };
    for (int32_t r = 0; r < kRecords; ++r) {
        setText(r, words[int(rng() % 7)]);
        num.Data.DataInteger[size_t(r)] = int32_t(rng() % 100);
    }
    ViewSortCache textCache;
    ViewSortCache numberCache;
    for (int step = 0; step < 40; ++step) {
        for (int n = 1 + int(rng() % 4); n > 0; --n) {
            const int32_t r = int32_t(rng() % kRecords);
            setText(r, words[int(rng() % 7)]);
            num.Data.DataInteger[size_t(r)] =
                step % 10 == 9 ? -int32_t(rng() % 100000) : int32_t(rng() % 100);
        }
        // Every fifth record is left out now and then, as a filter or a deletion would.
        std::vector<int32_t> listed;
        for (int32_t r = 1; r <= kRecords; ++r) {
            if (step % 4 != 3 || r % 5 != 0) {
                listed.push_back(r);
            }
        }
        for (auto [cache, column] : {std::pair{&textCache, &txt}, std::pair{&numberCache, &num}}) {
            std::vector<int32_t> kept = listed;
            std::vector<int32_t> fresh = listed;
            ViewSortCache freshCache;
            SortView(*cache, *column, kept, t.RecNoTemp);
            SortView(freshCache, *column, fresh, t.RecNoTemp);
            ASSERT_EQ(kept, fresh) << column->name.toStdString() << " step " << step;
        }
    }
}

}  // namespace
