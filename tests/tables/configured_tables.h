// Tables laid out as the stand-in server lays out the six configured tables (the same columns, codes
// and sizes), filled from a list of records through a real table file. Shared by the tests of the
// desktop tool and of import and export.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <map>
#include <vector>

#include "tables/base_client.h"
#include "tables/table_file_writer.h"

namespace configured_tables {

// One record: column name to value (text for text columns, integers otherwise); "p_d" 1 marks it
// deleted. Columns left out are 0 or empty.
using Record = std::map<QString, QVariant>;

// Column names after the six that every table starts with, in the server's order.
inline std::vector<QString> ColumnsOf(const QString& table) {
    if (table == u"gps") {
        return {"sim",      "number",  "name",   "lat",     "lon",   "speed",    "dt_last", "pass", "owner",
                "otv",      "otv_tel", "model",  "vin",     "color", "prim",     "icon",    "imei", "gosnum",
                "dt_reg",   "active",  "kurs",   "sensors", "type",  "mapcolor", "imeiv",   "r_dt", "fuel",
                "odometer", "hexid",   "driver", "drv_tel", "zone",  "flags",    "coord"};
    }
    if (table == u"gpeople") {
        return {"fio", "address", "tel", "number", "rez", "status", "smsdate", "smssend", "foto", "imei"};
    }
    if (table == u"object") {
        return {"number", "name", "address", "otdel", "tel", "prim"};
    }
    if (table == u"groupgps") {
        return {"name", "status", "color", "prim"};
    }
    if (table == u"gpsug") {
        return {"n_absg", "n_absu", "typeu"};
    }
    return {"name"};
}

inline uint8_t CodeOf(const QString& column) {
    static const std::map<QString, uint8_t> codes = {
        {"n_abs", 1},   {"p_d", 3},      {"dt_c", 25},   {"dt_m", 9},    {"n_user", 1},   {"ver", 5},
        {"lat", 7},     {"lon", 7},      {"speed", 6},   {"dt_last", 9}, {"icon", 5},     {"imei", 13},
        {"dt_reg", 25}, {"active", 4},   {"kurs", 5},    {"type", 1},    {"mapcolor", 8}, {"r_dt", 8},
        {"fuel", 6},    {"odometer", 7}, {"hexid", 21},  {"zone", 1},    {"flags", 3},    {"coord", 1},
        {"rez", 1},     {"status", 1},   {"smsdate", 1}, {"smssend", 1}, {"n_absg", 1},   {"n_absu", 1},
        {"typeu", 1},   {"color", 24},   {"sensors", 11}};
    const auto it = codes.find(column);
    return it != codes.end() ? it->second : 24;
}

inline TableFileContent TableContent(const QString& table, const std::vector<Record>& records) {
    TableFileContent t;
    t.name = table;
    t.RecordCount = int32_t(records.size());
    std::vector<QString> names = {"n_abs", "p_d", "dt_c", "dt_m", "n_user", "ver"};
    for (const QString& n : ColumnsOf(table)) {
        names.push_back(n);
    }
    int32_t id = 1;
    for (const QString& n : names) {
        TableFileColumn c;
        c.n_abs = id++;
        c.name = n;
        c.TypeField = CodeOf(n);
        switch (c.TypeField) {
            case 3:
            case 4:
                c.Size = 1;
                break;
            case 5:
                c.Size = 2;
                break;
            case 6:
            case 7:
            case 9:
            case 13:
                c.Size = c.TypeField == 6 ? 4 : 8;
                break;
            case 11:
                c.Size = 8;
                break;
            default:
                c.Size = 4;
        }
        for (const Record& r : records) {
            const auto it = r.find(n);
            const QVariant v = it != r.end() ? it->second : QVariant();
            switch (c.TypeField) {
                case 24:
                    if (v.toString().isEmpty()) {
                        AppendNoVarText(c);
                    } else {
                        AppendVarText(c, v.toString());
                    }
                    break;
                case 3:
                case 4:
                    AppendValue(c, uint8_t(v.toInt()));
                    break;
                case 5:
                    AppendValue(c, uint16_t(v.toInt()));
                    break;
                case 6:
                    AppendValue(c, float(v.toDouble()));
                    break;
                case 7:
                case 9:
                    AppendValue(c, v.toDouble());
                    break;
                case 8:
                case 25:
                    AppendValue(c, uint32_t(v.toLongLong()));
                    break;
                case 11:
                    c.values.append(QByteArray(8, '\0'));
                    break;
                case 13:
                    AppendValue(c, int64_t(v.toLongLong()));
                    break;
                default:
                    AppendValue(c, int32_t(v.toLongLong()));
            }
        }
        t.columns.push_back(std::move(c));
    }
    return t;
}

// Replaces the table's content as a download would.
inline void Fill(TBaseClient* table, const std::vector<Record>& records) {
    ASSERT_NE(table, nullptr);
    QDir().mkpath(QStringLiteral("temp"));
    const QString path = QStringLiteral("temp/") + table->NameTableS + QStringLiteral(".test");
    ASSERT_TRUE(WriteTableFileTo(path, TableContent(table->NameTableS, records), false));
    ASSERT_TRUE(table->LoadFromFile(path));
}

}  // namespace configured_tables
