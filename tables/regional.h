// Date-time arithmetic of the tables' values and their regional text forms.
//
// Date-times are days since 1899-12-30 with the time of day as the fraction (TDateTime). Time stamps
// count seconds since 2000-01-01 00:00:00 local time without any time-zone conversion. Regional
// texts follow the default QLocale (the system's unless a test pinned another with
// QLocale::setDefault). Stateless; any thread.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

#include "tables/field.h"

// Days from 1899-12-30 to 2000-01-01.
inline constexpr int32_t kDays2000 = 36526;

QDateTime DateTimeFromDays(TDateTime value);
TDateTime DaysFromDateTime(const QDateTime& value);
TDateTime Stamp2000ToDateTime(uint32_t seconds);
uint32_t DateTimeToStamp2000(TDateTime value);
// Whole days and fraction of a date-time.
TDateTime WholeDays(TDateTime value);
TDateTime DayFraction(TDateTime value);
// Milliseconds since midnight of the value's time of day.
int64_t MillisecondsOfDay(TDateTime value);

// The regional short date, a blank and the regional long time (without a time-zone name).
QString RegionalDateTimeText(TDateTime value);
// Reads a text in the regional date-time (or date) format; false when it is none.
bool ParseRegionalDateTime(const QString& text, TDateTime& value);

// General format with up to 15 significant digits, the regional decimal separator, no grouping.
QString RegionalFloatText(double value);
// Reads a number in the regional format; false when it is none.
bool ParseRegionalFloat(const QString& text, double& value);

// A decimal integer, blanks around it ignored; 0 when the text is none.
int32_t IntegerOfText(const QString& text);

// Truncation toward zero that saturates instead of overflowing (NaN gives 0).
int32_t TruncToInt32(double value);
int64_t TruncToInt64(double value);
