// The table the benchmarks of the tables work on: a "gps"-like table file content of n_abs, p_d (every
// 50th record deleted) and groups of columns of the codes a vehicle table uses, filled from a fixed
// seed with Cyrillic words and random numbers.
#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <utility>

#include "tables/table_file_writer.h"
#include "tests/tables/table_file_builder.h"

namespace gps_table {

using table_files::Column;

inline const QStringList kWords = {"Автомобиль", "Грузовик", "Москва",  "Новосибирск", "водитель",
                                   "Петров",     "Иванова",  "маршрут", "охрана",      "датчик",
                                   "склад",      "север",    "Юг",      "Восток"};

inline QString Words(std::mt19937& rng, int count) {
    QString s;
    for (int i = 0; i < count; ++i) {
        s += (i ? " " : "") + kWords[int(rng() % uint32_t(kWords.size()))];
    }
    return s;
}

// `count` columns named prefix0, prefix1, ... of one code and Size.
struct ColumnGroup {
    const char* prefix;
    uint8_t code;
    int32_t size;
    int count;
};

// Texts of 1 to 6 words (code 24) or 2 words (code 2, dictionaries of 60 entries for codes 15 and 16),
// plausible floats and dates, random bytes for the other codes.
inline TableFileContent MakeTable(int32_t records, std::span<const ColumnGroup> groups) {
    std::mt19937 rng(7);
    TableFileContent t;
    t.name = "gps";
    t.RecordCount = records;
    int32_t id = 1;
    TableFileColumn nabs = Column(id++, "n_abs", 1, 4);
    TableFileColumn pd = Column(id++, "p_d", 3, 1);
    for (int32_t r = 0; r < records; ++r) {
        AppendValue(nabs, r + 1);
        AppendValue(pd, uint8_t(r % 50 == 0 ? 1 : 0));
    }
    t.columns.push_back(std::move(nabs));
    t.columns.push_back(std::move(pd));
    for (const ColumnGroup& g : groups) {
        for (int n = 0; n < g.count; ++n) {
            TableFileColumn c =
                Column(id++, QString("%1%2").arg(g.prefix).arg(n), g.code, g.size, g.code >= 15 ? 40 : 0);
            if (g.code == 15 || g.code == 16) {
                for (uint32_t e = 1; e <= 60; ++e) {
                    c.dictionary.push_back({e, Words(rng, 2)});
                }
            }
            for (int32_t r = 0; r < records; ++r) {
                const uint32_t v = rng();
                switch (g.code) {
                    case 2:
                        AppendFixedText(c, Words(rng, 2));
                        break;
                    case 24:
                        AppendVarText(c, Words(rng, 1 + int(v % 6)));
                        break;
                    case 6:
                        AppendValue(c, float(v % 100000) / 7);
                        break;
                    case 7:
                    case 9:
                        AppendValue(c, 40000.0 + double(v % 100000) / 13);
                        break;
                    case 15:
                        AppendValue(c, uint16_t(1 + v % 60));
                        break;
                    case 16:
                        AppendValue(c, uint8_t(1 + v % 60));
                        break;
                    default:
                        c.values.append(reinterpret_cast<const char*>(&v), std::min(g.size, 4));
                        c.values.append(QByteArray(std::max(g.size - 4, 0), '\0'));
                }
            }
            t.columns.push_back(std::move(c));
        }
    }
    return t;
}

}  // namespace gps_table
