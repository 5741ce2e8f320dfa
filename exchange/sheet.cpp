#include "sheet.h"

#include <algorithm>

namespace {

bool Blank(const SheetLine& line) {
    return std::all_of(line.cells.begin(), line.cells.end(),
                       [](const QString& cell) { return cell.trimmed().isEmpty(); });
}

}  // namespace

SheetRead SheetFromLines(std::vector<SheetLine> lines) {
    std::erase_if(lines, Blank);
    SheetRead read;
    if (lines.empty()) {
        read.error = QStringLiteral("В файле нет ни заголовка, ни строк данных");
        return read;
    }
    if (lines.size() == 1) {
        read.error = QStringLiteral("В файле только строка заголовка, строк данных нет");
        return read;
    }
    for (const QString& cell : lines.front().cells) {
        read.sheet.header << cell.trimmed();
    }
    read.sheet.lines.assign(std::make_move_iterator(lines.begin() + 1), std::make_move_iterator(lines.end()));
    return read;
}
