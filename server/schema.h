// The structure of the six tables the server keeps: for each table its name and its columns in
// position order, with the type code, the record value width and the dictionary text slot width
// the clients read. Fixed at compile time; immutable; any thread.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "tables/field.h"

struct ColumnDef {
    int32_t id = 0;  // the column identifier sent to clients
    QString name;    // at most 15 characters
    uint8_t code = 0;
    int32_t size = 0;
    int32_t sprSize = 0;
};

struct TableDef {
    QString name;  // at most 8 characters
    std::vector<ColumnDef> columns;

    // 0-based index of the column with this exact name, -1 when there is none.
    int indexOf(const QString& column) const;
};

// The six tables in the order the clients register them: "object", "gps", "gpeople", "groupgps",
// "gpsug", "gpsshab".
const std::vector<TableDef>& ServerTables();
const TableDef* FindTable(const QString& name);

// How the server keeps a column's values, by its type code (tables/field.h).
bool IsTextCode(uint8_t code);  // FixedText, VarText: values are texts
bool IsRealCode(uint8_t code);  // Float, Double, DateTime: values are floating point
