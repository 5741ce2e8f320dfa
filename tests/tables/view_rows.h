// Test helpers of the view's tests: a table of rows with an identifier, flags, a fixed text, an
// integer and a byte, and the identifiers the view shows.
#pragma once

#include <algorithm>
#include <vector>

#include "client_table_builder.h"
#include "infra/codepage.h"
#include "tables/base_client.h"

namespace view_rows {

using client_tables::AddColumn;
using client_tables::Column;

constexpr int32_t kTextSize = 20;

struct Row {
    int32_t id;
    uint8_t flags = 0;
    QString text{};
    int32_t num = 0;
    uint8_t b = 0;
};

// Columns: 1 n_abs, 2 p_d, 3 name (code 2), 4 num (code 1), 5 b (code 3), 6 link (code 1).
inline void Fill(TBaseClient& t, const std::vector<Row>& rows) {
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

inline std::vector<int32_t> VisibleIds(TBaseClient& t) {
    auto guard = t.Guard();
    std::vector<int32_t> ids;
    for (int32_t pos = 1; pos <= t.Count(); ++pos) {
        ids.push_back(t.GetFieldNumber(1, pos)->AsInteger());
    }
    return ids;
}

}  // namespace view_rows
