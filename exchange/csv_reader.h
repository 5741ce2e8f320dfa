// Reading CSV text as office programs write it: fields separated by ";" (a header that holds more
// "," or tab separators than ";" switches to that one), fields in double quotes may hold separators,
// line breaks and doubled quotes, lines end in CR LF, LF or CR, and empty lines are skipped.
//
// The reader takes any bytes: UTF-8 with or without its byte-order mark, UTF-16 with its mark, and
// otherwise Windows-1251, the code page of the operators' office programs. Bytes that are no text
// (NUL or other control characters), a quote left open, an empty file, a file with a header only and
// anything beyond the limits of sheet.h give an error naming what is wrong and where. Stateless.
#pragma once

#include <QByteArrayView>

#include "exchange/sheet.h"

SheetRead ReadCsv(QByteArrayView bytes);
