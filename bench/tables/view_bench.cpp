// The view rebuild and record updates on a "gps"-like table of 100,000 records and 40 columns (mixed
// codes, Cyrillic texts), each figure beside its reference on the same data:
//   RefreshData, unsorted                 vs  one pass over the flag column
//   RefreshData, sorted on a text column  vs  sorting the same texts by precomputed QCollatorSortKeys
//     (when every key must be made, when one record in eight changed its text, when none did)
//   record updates (PutDataFieldPos + RefreshData) per second, unsorted and sorted
// Times are the best of several runs. Usage: bench_tables_view [records]
#include <QCollator>
#include <QCollatorSortKey>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "gps_table.h"
#include "infra/codepage.h"
#include "tables/base_client.h"
#include "tables/table_file_writer.h"

namespace {

constexpr int kRuns = 5;

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double BestSeconds(const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        best = std::min(best, Seconds(work));
    }
    return best;
}

using gps_table::kWords;
using gps_table::Words;

// n_abs, p_d and 38 columns of the codes a vehicle table uses; "fix0" is the text column the sorted
// figures use.
const gps_table::ColumnGroup kGroups[] = {
    {"id", 1, 4, 6},   {"fix", 2, 32, 8}, {"b", 3, 1, 4},   {"flag", 4, 1, 3}, {"w", 5, 2, 3},
    {"f", 6, 4, 2},    {"d", 7, 8, 2},    {"u", 8, 4, 2},   {"dt", 9, 8, 2},   {"arr", 11, 8, 1},
    {"big", 13, 8, 1}, {"sp", 15, 2, 2},  {"sb", 16, 1, 1}, {"col", 21, 4, 1}};

template <typename T>
QByteArray LE(T value) {
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof(T));
}

QByteArray Slot(const QString& text, int slot) {
    QByteArray bytes = toAnsi(text).left(slot - 1);
    bytes.prepend(char(bytes.size()));
    bytes.append(slot - bytes.size(), '\0');
    return bytes;
}

// A change of an existing record as the server sends it: a new text, two numbers, a date-time and a
// dictionary value.
QByteArray RecordUpdate(std::mt19937& rng, int32_t pos, int32_t count) {
    return Slot("gps", 9) + LE(pos) + LE(count) + Slot("fix0", 16) + Slot(Words(rng, 2), 32) +
           Slot("id1", 16) + LE(int32_t(rng())) + Slot("b0", 16) + LE(uint8_t(rng())) + Slot("dt0", 16) +
           LE(45000.0 + double(rng() % 1000)) + Slot("sp0", 16) + LE(uint16_t(1 + rng() % 60)) +
           Slot(Words(rng, 2), 40);
}

void Print(const char* what, double seconds, const char* reference, double referenceSeconds) {
    std::printf("%-40s %8.2f ms   %-46s %8.2f ms   ratio %.2f\n", what, seconds * 1e3, reference,
                referenceSeconds * 1e3, seconds / referenceSeconds);
}

double UpdatesPerSecond(TBaseClient& table, int updates) {
    std::mt19937 rng(11);
    const int32_t count = table.CountRecord;
    std::vector<QByteArray> messages;
    std::vector<int32_t> positions;
    for (int i = 0; i < updates; ++i) {
        positions.push_back(int32_t(rng() % uint32_t(count)));
        messages.push_back(RecordUpdate(rng, positions.back(), count));
    }
    const double seconds = Seconds([&] {
        for (int i = 0; i < updates; ++i) {
            table.PutDataFieldPos(positions[size_t(i)], messages[size_t(i)]);
            table.RefreshYes = true;
            table.RefreshData();
        }
    });
    return updates / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int32_t records = argc > 1 ? std::atoi(argv[1]) : 100000;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const TableFileContent content = gps_table::MakeTable(records, kGroups);
    TBaseClient table;
    table.NameTableS = "gps";
    if (!WriteTableFileTo("temp/gps.raw", content, false) || !table.LoadFromFile("temp/gps.raw")) {
        std::fprintf(stderr, "could not build the table\n");
        return 1;
    }
    std::printf("table: %d records, %d columns, %d visible\n", table.CountRecord, table.GetCountFields(),
                table.Count());

    // Unsorted rebuild beside the least any rebuild must do: one pass over the flag bytes.
    const std::vector<uint8_t>& flags = table.Fields[1]->Data.DataByte;
    std::vector<int32_t> visible;
    const double flagPass = BestSeconds([&] {
        visible.clear();
        for (int32_t r = 0; r < int32_t(flags.size()); ++r) {
            if ((flags[size_t(r)] & 1) == 0) {
                visible.push_back(r + 1);
            }
        }
    });
    Print("RefreshData, unsorted", BestSeconds([&] { table.RefreshData(); }), "one pass over the flag column",
          flagPass);

    // Sorted rebuild beside a sort of the same texts by keys computed beforehand.
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const FieldGFB& sortColumn = *table.GetFieldIndex(table.GetNumberField("fix0") - 1);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(visible.size());
    for (int32_t r : visible) {
        keys.push_back(collator.sortKey(sortColumn.FixedTextOf(r)));
    }
    const double keySort = BestSeconds([&] {
        std::vector<int32_t> order(keys.size());
        for (size_t i = 0; i < order.size(); ++i) {
            order[i] = int32_t(i);
        }
        std::sort(order.begin(), order.end(),
                  [&keys](int32_t a, int32_t b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    });
    const double keysAndSort = BestSeconds([&] {
        QCollator fresh{QLocale()};
        fresh.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<QCollatorSortKey> made;
        made.reserve(visible.size());
        for (int32_t r : visible) {
            made.push_back(fresh.sortKey(sortColumn.FixedTextOf(r)));
        }
        std::vector<int32_t> order(made.size());
        for (size_t i = 0; i < order.size(); ++i) {
            order[i] = int32_t(i);
        }
        std::sort(order.begin(), order.end(),
                  [&made](int32_t a, int32_t b) { return made[size_t(a)].compare(made[size_t(b)]) < 0; });
    });
    table.SetSort("fix0");
    const double firstSorted = Seconds([&] { table.SetSorted(true); });
    Print("RefreshData, sorted, every key made", firstSorted, "sort by precomputed QCollatorSortKeys",
          keySort);
    Print("RefreshData, sorted, every key made", firstSorted, "making the keys from the texts, then the sort",
          keysAndSort);
    // Every eighth record gets another text: those keys are made anew and the view sorted again.
    FieldGFB& text = *table.GetFieldIndex(table.GetNumberField("fix0") - 1);
    int round = 0;
    const double eighthChanged = BestSeconds([&] {
        const QByteArray slot = Slot(kWords[round++ % kWords.size()], text.Size);
        for (int32_t r = 0; r < table.CountRecord; r += 8) {
            std::copy(slot.begin(), slot.end(), text.Data.DataByte.begin() + int64_t(r) * text.Size);
        }
        table.RefreshData();
    });
    Print("RefreshData, sorted, 1 in 8 texts changed", eighthChanged, "sort by precomputed QCollatorSortKeys",
          keySort);
    Print("RefreshData, sorted, no text changed", BestSeconds([&] { table.RefreshData(); }),
          "sort by precomputed QCollatorSortKeys", keySort);

    table.SetSorted(false);
    std::printf("%-40s %8.0f per second\n", "record updates, unsorted view", UpdatesPerSecond(table, 5000));
    table.SetSorted(true);
    std::printf("%-40s %8.0f per second\n", "record updates, view sorted on text",
                UpdatesPerSecond(table, 200));
    return 0;
}
