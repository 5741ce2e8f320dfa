#include "schema.h"

namespace {

ColumnDef col(int32_t id, const char* name, uint8_t code, int32_t size = 0, int32_t sprSize = 0) {
    if (size == 0) {
        size = CodeWidth(code);
    }
    return ColumnDef{id, QString::fromLatin1(name), code, size, sprSize};
}

// Every table starts alike: identifier, flags (bit 1 = deleted), creation and change times, the
// user of the last change and a change counter. The server maintains positions 3 to 6 itself.
std::vector<ColumnDef> head(int32_t base) {
    return {col(base + 1, "n_abs", 1), col(base + 2, "p_d", 3),    col(base + 3, "dt_c", 25),
            col(base + 4, "dt_m", 9),  col(base + 5, "n_user", 1), col(base + 6, "ver", 5)};
}

TableDef table(const char* name, int32_t base, std::vector<ColumnDef> rest) {
    TableDef t{QString::fromLatin1(name), head(base)};
    for (ColumnDef& c : rest) {
        c.id = base + int32_t(t.columns.size()) + 1;
        t.columns.push_back(std::move(c));
    }
    return t;
}

std::vector<TableDef> makeTables() {
    std::vector<TableDef> t;
    t.push_back(table("object", 100,
                      {col(0, "number", 1), col(0, "name", 24), col(0, "address", 24),
                       col(0, "otdel", 16, 1, 32), col(0, "tel", 2, 21), col(0, "prim", 24)}));
    // Positions 7 to 40 as the vehicles page reads them.
    t.push_back(table(
        "gps", 200,
        {col(0, "sim", 2, 11), col(0, "number", 2, 17),  col(0, "name", 24),       col(0, "lat", 7),
         col(0, "lon", 7),     col(0, "speed", 6),       col(0, "dt_last", 9),     col(0, "pass", 2, 17),
         col(0, "owner", 24),  col(0, "otv", 24),        col(0, "otv_tel", 2, 21), col(0, "model", 24),
         col(0, "vin", 2, 18), col(0, "color", 24),      col(0, "prim", 24),       col(0, "icon", 5),
         col(0, "imei", 13),   col(0, "gosnum", 2, 13),  col(0, "dt_reg", 25),     col(0, "active", 4),
         col(0, "kurs", 5),    col(0, "sensors", 11, 8), col(0, "type", 1),        col(0, "mapcolor", 8),
         col(0, "imeiv", 24),  col(0, "r_dt", 8),        col(0, "fuel", 6),        col(0, "odometer", 7),
         col(0, "hexid", 21),  col(0, "driver", 24),     col(0, "drv_tel", 2, 21), col(0, "zone", 1),
         col(0, "flags", 3),   col(0, "coord", 1)}));
    // fio, address and tel at positions 7, 8 and 9: the terminals page sorts by them.
    t.push_back(table("gpeople", 300,
                      {col(0, "fio", 24), col(0, "address", 24), col(0, "tel", 2, 21),
                       col(0, "number", 2, 11), col(0, "rez", 1), col(0, "status", 1), col(0, "smsdate", 1),
                       col(0, "smssend", 1), col(0, "foto", 24), col(0, "imei", 13)}));
    t.push_back(table("groupgps", 400,
                      {col(0, "name", 2, 17), col(0, "status", 1), col(0, "color", 21), col(0, "prim", 24)}));
    t.push_back(table("gpsug", 500, {col(0, "n_absg", 1), col(0, "n_absu", 1), col(0, "typeu", 1)}));
    t.push_back(
        table("gpsshab", 600,
              {col(0, "name", 24), col(0, "kind", 15, 2, 32), col(0, "period", 1), col(0, "shab", 24)}));
    return t;
}

}  // namespace

int TableDef::indexOf(const QString& column) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == column) {
            return int(i);
        }
    }
    return -1;
}

const std::vector<TableDef>& ServerTables() {
    static const std::vector<TableDef> tables = makeTables();
    return tables;
}

const TableDef* FindTable(const QString& name) {
    for (const TableDef& t : ServerTables()) {
        if (t.name == name) {
            return &t;
        }
    }
    return nullptr;
}

int32_t CodeWidth(uint8_t code) {
    switch (code) {
        case 3:
        case 4:
        case 16:
            return 1;
        case 5:
        case 15:
            return 2;
        case 1:
        case 6:
        case 8:
        case 21:
        case 24:
        case 25:
            return 4;
        case 7:
        case 9:
        case 13:
            return 8;
        default:
            return 0;
    }
}

bool IsTextCode(uint8_t code) {
    return code == 2 || code == 24;
}
bool IsDictionaryCode(uint8_t code) {
    return code == 15 || code == 16;
}
bool IsRealCode(uint8_t code) {
    return code == 6 || code == 7 || code == 9;
}
