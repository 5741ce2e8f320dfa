// A sheet of text cells read from or written to an import or export file: a header line naming the
// columns and the data lines below it. Each data line remembers the line number it had in the file
// (1 is the header), so that messages can point the operator at it.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// Limits that keep a damaged or hostile file from taking the program's memory or time: a file beyond
// them is refused with a message, never cut silently.
inline constexpr qint64 kMaxSheetFileBytes = 100 * 1024 * 1024;
inline constexpr int kMaxSheetColumns = 1024;
inline constexpr int kMaxSheetLines = 1'000'000;
inline constexpr int kMaxCellChars = 32767;
// Cells of all lines together, empty ones included.
inline constexpr qint64 kMaxSheetCells = 10'000'000;

struct SheetLine {
    int line = 0;
    QStringList cells;
};

struct Sheet {
    QStringList header;
    std::vector<SheetLine> lines;
};

// A sheet read from a file, or the reason it could not be read (then the sheet is empty).
struct SheetRead {
    Sheet sheet;
    QString error;
    // How the text was read, for the operator ("UTF-8", "Windows-1251", ...); empty for XLSX.
    QString encoding;
    bool ok() const { return error.isEmpty(); }
};

// The first line becomes the header, the rest the data lines; lines whose cells are all blank are
// dropped first. An error when nothing is left, or nothing below the header.
SheetRead SheetFromLines(std::vector<SheetLine> lines);
