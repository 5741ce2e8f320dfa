// One table value as a cell of an export file, and a cell of an import file as a value to write.
//
// Export gives each value the text the grids and the command-line client show (AsString); in a
// workbook, numbers become number cells and date-times date cells, holding the record's stored
// value as the text shows it (never the edit buffer of a record being edited). Import reads such texts back
// and is lenient where office programs differ: either decimal separator, numbers written with an exponent,
// dates as text or as a workbook's day number, "да"/"нет" for flags. A cell that does not fit its column's
// kind is an error naming the column, never a silent 0.
//
// The caller holds the table's Guard() and has selected the record (export) or started Add (import).
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "exchange/sheet_writer.h"

class FieldGFB;

// The selected record's value of the column. A number or a date-time comes without its text unless
// `texts` asks for it; a text cell always has its text.
ExportCell CellOf(FieldGFB& column, bool texts);

struct CellValue {
    enum class Kind { None, Integer, Real, Days, Text, Bytes };
    Kind kind = Kind::None;
    int64_t integer = 0;
    double real = 0;  // a number, or days since 1899-12-30
    QString text;
    QByteArray bytes;
};

// Reads a cell for the column; an error text when it is no value of the column's kind. An empty
// cell gives a value of kind None, which writes nothing.
QString ParseCell(const FieldGFB& column, const QString& cell, CellValue& value);

// Writes a value ParseCell gave into the column's edit buffer.
void WriteCell(FieldGFB& column, const CellValue& value);
