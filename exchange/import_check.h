// What an import file may bring into a table, and the check of every line before anything is sent.
//
// Only vehicles ("gps") and mobile terminals ("gpeople") are imported. A file column goes into the
// table column its header names (column_captions.h); the operator may change that. A line is valid
// when every required column is filled, every cell fits its column's kind (cell_values.h), its IMEI,
// SIM number or phone repeats neither an earlier line of the file nor a record of the table, and a
// stationary terminal names an existing object, as the terminals page demands before it saves.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

#include "exchange/cell_values.h"
#include "exchange/sheet.h"

class TBaseClient;

struct ImportProfile {
    QString table;
    QStringList required;  // columns a line must fill
    QStringList unique;    // columns whose values must not repeat
    bool stationaryNeedsObject = false;
};

// Nothing for a table that is not imported into.
std::optional<ImportProfile> ImportProfileOf(const QString& table);

// For each column of the file, the table column it goes into by its header; empty for none.
QStringList MapColumns(TBaseClient& table, const QStringList& header);

// What is wrong with a mapping as a whole (a table column chosen twice, a required column or every
// column left out); empty when nothing is.
QString CheckMapping(const ImportProfile& profile, const QStringList& mapping);

struct ImportLine {
    int line = 0;  // in the file; 1 is the header
    std::vector<std::pair<QString, CellValue>> values;
    QStringList errors;
    bool Valid() const { return errors.isEmpty(); }
};

// Every data line of the sheet with its values and errors, in file order. `objects` is the table of
// guarded objects a stationary terminal must name (may be null for other tables).
std::vector<ImportLine> CheckLines(TBaseClient& table, TBaseClient* objects, const ImportProfile& profile,
                                   const Sheet& sheet, const QStringList& mapping);
