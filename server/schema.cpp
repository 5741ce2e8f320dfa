#include "schema.h"

namespace {

ColumnDef col(int32_t id, const char* name, uint8_t code, int32_t size = 0, int32_t sprSize = 0) {
    if (size == 0) {
        size = FieldElementWidth(code);
    }
    return ColumnDef{id, QString::fromLatin1(name), code, size, sprSize};
}

// Every table starts alike: identifier, flags (bit 1 = deleted), creation and change times, the
// user of the last change and a change counter. The server maintains positions 3 to 6 itself.
std::vector<ColumnDef> head(int32_t base) {
    using namespace FieldCode;
    return {col(base + 1, "n_abs", Integer),  col(base + 2, "p_d", Byte),
            col(base + 3, "dt_c", Stamp2000), col(base + 4, "dt_m", DateTime),
            col(base + 5, "n_user", Integer), col(base + 6, "ver", Word)};
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
    using namespace FieldCode;
    std::vector<TableDef> t;
    t.push_back(
        table("object", 100,
              {col(0, "number", Integer), col(0, "name", VarText), col(0, "address", VarText),
               col(0, "otdel", Dict8, 1, 32), col(0, "tel", FixedText, 21), col(0, "prim", VarText)}));
    // Positions 7 to 40 as the vehicles page reads them.
    t.push_back(table("gps", 200,
                      {col(0, "sim", FixedText, 11),
                       col(0, "number", FixedText, 17),
                       col(0, "name", VarText),
                       col(0, "lat", Double),
                       col(0, "lon", Double),
                       col(0, "speed", Float),
                       col(0, "dt_last", DateTime),
                       col(0, "pass", FixedText, 17),
                       col(0, "owner", VarText),
                       col(0, "otv", VarText),
                       col(0, "otv_tel", FixedText, 21),
                       col(0, "model", VarText),
                       col(0, "vin", FixedText, 18),
                       col(0, "color", VarText),
                       col(0, "prim", VarText),
                       col(0, "icon", Word),
                       col(0, "imei", Int64),
                       col(0, "gosnum", FixedText, 13),
                       col(0, "dt_reg", Stamp2000),
                       col(0, "active", Boolean),
                       col(0, "kurs", Word),
                       col(0, "sensors", ByteArray, 8),
                       col(0, "type", Integer),
                       col(0, "mapcolor", Cardinal),
                       col(0, "imeiv", VarText),
                       col(0, "r_dt", Cardinal),
                       col(0, "fuel", Float),
                       col(0, "odometer", Double),
                       col(0, "hexid", Color),
                       col(0, "driver", VarText),
                       col(0, "drv_tel", FixedText, 21),
                       col(0, "zone", Integer),
                       col(0, "flags", Byte),
                       col(0, "coord", Integer)}));
    // fio, address and tel at positions 7, 8 and 9: the terminals page sorts by them.
    t.push_back(table("gpeople", 300,
                      {col(0, "fio", VarText), col(0, "address", VarText), col(0, "tel", FixedText, 21),
                       col(0, "number", FixedText, 11), col(0, "rez", Integer), col(0, "status", Integer),
                       col(0, "smsdate", Integer), col(0, "smssend", Integer), col(0, "foto", VarText),
                       col(0, "imei", Int64)}));
    t.push_back(table("groupgps", 400,
                      {col(0, "name", FixedText, 17), col(0, "status", Integer), col(0, "color", Color),
                       col(0, "prim", VarText)}));
    t.push_back(table("gpsug", 500,
                      {col(0, "n_absg", Integer), col(0, "n_absu", Integer), col(0, "typeu", Integer)}));
    t.push_back(table("gpsshab", 600,
                      {col(0, "name", VarText), col(0, "kind", Dict16, 2, 32), col(0, "period", Integer),
                       col(0, "shab", VarText)}));
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

bool IsTextCode(uint8_t code) {
    return code == FieldCode::FixedText || code == FieldCode::VarText;
}
bool IsRealCode(uint8_t code) {
    return code == FieldCode::Float || code == FieldCode::Double || code == FieldCode::DateTime;
}
