// Reading the first sheet of an XLSX workbook: the archive through libzip (from memory), the
// workbook, its relations, the shared strings and the sheet through QXmlStreamReader. Cells come
// back as text: a shared or inline string as it is, a number as written in the file ("101",
// "55.75", "45000.5" for a date), a Boolean as "1" or "0", an error cell empty.
//
// Any bytes are safe: an archive that is no workbook, a part that inflates beyond the limit, a broken
// XML text, cell references outside the limits of sheet.h, all give an error with the reason.
// Stateless.
#pragma once

#include <QByteArrayView>

#include "exchange/sheet.h"

// Whether the bytes start like a zip archive (an XLSX file, whatever its name).
bool LooksLikeZip(QByteArrayView bytes);

SheetRead ReadXlsx(QByteArrayView bytes);
