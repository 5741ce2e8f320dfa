#include "record_order.h"

#include <QCollator>
#include <QString>
#include <algorithm>
#include <utility>

#include "app/table_access.h"
#include "tables/base_client.h"

namespace {

// The table column whose text leads the key of a sort field, 0 for the identifier alone, -1 for none.
int KeyColumn(int sortField) {
    switch (sortField) {
        case 0:
            return 0;
        case 1:
            return 7;
        case 2:
            return 9;
        case 3:
            return 8;
        default:
            return -1;
    }
}

}  // namespace

std::vector<int32_t> SortedPositions(TBaseClient& table, int sortField) {
    auto guard = table.Guard();
    const int keyColumn = KeyColumn(sortField);
    std::vector<std::pair<QString, int32_t>> keys;
    for (int32_t p = 1; p <= table.CountRecordFilter; ++p) {
        QString key;
        if (keyColumn >= 0) {
            key = TextAt(&table, 1, p).rightJustified(5, u'0');
            if (keyColumn > 0) {
                const QString text = TextAt(&table, keyColumn, p);
                key.prepend(text.isEmpty() ? QStringLiteral(" ") : text);
            }
        }
        keys.emplace_back(std::move(key), p);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(keys.begin(), keys.end(), [&collator](const auto& a, const auto& b) {
        return collator.compare(a.first, b.first) < 0;
    });
    std::vector<int32_t> positions;
    positions.reserve(keys.size());
    for (const auto& k : keys) {
        positions.push_back(k.second);
    }
    return positions;
}

void ShowSortedPositions(TBaseClient* table, int sortField,
                         const std::function<void(std::vector<int32_t>)>& show) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    if (table->RecordNE) {
        return;
    }
    show(SortedPositions(*table, sortField));
}
