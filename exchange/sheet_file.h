// Reading an import file whatever its name: a zip archive is read as an XLSX workbook, anything else
// as CSV. A file beyond the size limit of sheet.h is refused before it is read.
#pragma once

#include <QString>

#include "exchange/sheet.h"

SheetRead ReadSheetFile(const QString& path);
