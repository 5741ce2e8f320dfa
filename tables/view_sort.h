// The sort of a table's view (TBaseClient::RefreshData, view.cpp): the visible records ordered by
// the sort column's text, padded to a common width unless the column holds text or dictionary
// values, with the locale's case-insensitive collation; equal keys keep storage order.
//
// A rebuild runs after every record update, so a sorted view keeps, between rebuilds, the collation
// key of every record's sort text and the order it produced: computing a key costs as much as sorting
// by it, so only keys whose value changed are recomputed, and when few changed, those records are
// merged into the previous order instead of sorting everything again.
//
// Not thread-safe: the cache belongs to its table and is used under the table's lock.
#pragma once

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "tables/field.h"

struct ViewSortCache {
    QString localeName;
    std::optional<QCollator> collator;
    // What the keys were made for; a change of any of these makes every key stale.
    const FieldGFB* column = nullptr;
    QString columnName;
    uint8_t code = 0;
    int32_t size = 0;
    int32_t width = -1;
    // Per storage record: whether the key is current, the value it was made from (the record's
    // value bytes when the code has a fixed layout, else its text), and the key.
    std::vector<uint8_t> valid;
    std::vector<uint8_t> raw;
    std::vector<QString> text;
    std::vector<QCollatorSortKey> keys;
    // The order the keys gave at the last sort, and the records it lists in storage order; the order
    // is empty when it must be made from scratch.
    std::vector<int32_t> order;
    std::vector<int32_t> listed;
    // Working space of a patch, kept so that a record update allocates nothing (marks stay zero
    // between patches).
    std::vector<uint8_t> marks;
    std::vector<int32_t> kept;
    std::vector<int32_t> added;

    void Reset(const FieldGFB& sortColumn, int32_t padWidth) {
        column = &sortColumn;
        columnName = sortColumn.name;
        code = sortColumn.TypeField;
        size = sortColumn.Size;
        width = padWidth;
        std::fill(valid.begin(), valid.end(), 0);
        order.clear();
        listed.clear();
    }

    bool Matches(const FieldGFB& sortColumn, int32_t padWidth) const {
        return column == &sortColumn && columnName == sortColumn.name && code == sortColumn.TypeField &&
               size == sortColumn.Size && width == padWidth;
    }

    void Grow(size_t records, size_t stride) {
        if (valid.size() < records) {
            valid.resize(records, 0);
            text.resize(records);
            keys.resize(records, collator->sortKey(QString()));
        }
        raw.resize(valid.size() * stride);
    }
};

// Orders SortData (storage numbers in ascending order on entry) by the column. RecNoTemp is moved to
// read each text and put back afterwards.
void SortView(ViewSortCache& cache, FieldGFB& column, std::vector<int32_t>& SortData, int32_t& RecNoTemp);
