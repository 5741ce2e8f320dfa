#include "tables/regional.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

// Constant-initialised, so readers in other files' static initialisers see it already set.
constexpr QDate kEpoch = QDate::fromJulianDay(2415019);  // 30 December 1899
constexpr int64_t kMsPerDay = 86'400'000;

// The long time format names the time zone in some locales; a stored date-time has none. Kept per
// thread for the locale last asked about, since a table's texts ask for it once per value.
QString LongTimeFormat(const QLocale& loc) {
    thread_local QString locale;
    thread_local QString format;
    const QString raw = loc.timeFormat(QLocale::LongFormat);
    if (locale != raw) {
        static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
        locale = raw;
        format = QString(raw).remove(zone).trimmed();
    }
    return format;
}

}  // namespace

TDateTime WholeDays(TDateTime value) {
    return std::isfinite(value) ? std::trunc(value) : 0;
}

TDateTime DayFraction(TDateTime value) {
    return std::isfinite(value) ? std::fabs(value - std::trunc(value)) : 0;
}

int64_t MillisecondsOfDay(TDateTime value) {
    const int64_t ms = std::llround(DayFraction(value) * double(kMsPerDay));
    return ms >= kMsPerDay ? kMsPerDay - 1 : ms;
}

QDateTime DateTimeFromDays(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > 3e6) {
        return QDateTime(kEpoch, QTime(0, 0));
    }
    const int64_t days = int64_t(WholeDays(value));
    return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(int(MillisecondsOfDay(value))));
}

TDateTime DaysFromDateTime(const QDateTime& value) {
    const double days = double(kEpoch.daysTo(value.date()));
    const double frac = double(value.time().msecsSinceStartOfDay()) / double(kMsPerDay);
    return days >= 0 ? days + frac : days - frac;
}

TDateTime Stamp2000ToDateTime(uint32_t seconds) {
    return kDays2000 + double(seconds / 86400) + double(seconds % 86400) / 86400.0;
}

uint32_t DateTimeToStamp2000(TDateTime value) {
    const int64_t days = int64_t(WholeDays(value)) - kDays2000;
    return uint32_t(days * 86400 + MillisecondsOfDay(value) / 1000);
}

QString RegionalDateTimeText(TDateTime value) {
    const QLocale loc;
    // The date and the time of day as stored, without a detour through a local QDateTime: that costs
    // a look at the system's time zone for every value.
    QDate date = kEpoch;
    QTime time(0, 0);
    if (std::isfinite(value) && std::fabs(value) <= 3e6) {
        date = kEpoch.addDays(int64_t(WholeDays(value)));
        time = QTime::fromMSecsSinceStartOfDay(int(MillisecondsOfDay(value)));
    }
    return loc.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
           loc.toString(time, LongTimeFormat(loc));
}

bool ParseRegionalDateTime(const QString& text, TDateTime& value) {
    const QLocale loc;
    const QString t = text.trimmed();
    const QString date = loc.dateFormat(QLocale::ShortFormat);
    for (const QString& fmt : {date + QLatin1Char(' ') + LongTimeFormat(loc),
                               date + QLatin1Char(' ') + loc.timeFormat(QLocale::ShortFormat)}) {
        const QDateTime dt = loc.toDateTime(t, fmt);
        if (dt.isValid()) {
            value = DaysFromDateTime(dt);
            return true;
        }
    }
    const QDate d = loc.toDate(t, date);
    if (!d.isValid()) {
        return false;
    }
    value = double(kEpoch.daysTo(d));
    return true;
}

QString RegionalFloatText(double value) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(value, 'g', 15);
}

bool ParseRegionalFloat(const QString& text, double& value) {
    bool ok = false;
    const double v = QLocale().toDouble(text.trimmed(), &ok);
    if (ok) {
        value = v;
    }
    return ok;
}

int32_t TruncToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= double(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= double(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return int32_t(value);
}

int64_t TruncToInt64(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9.2e18) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value <= -9.2e18) {
        return std::numeric_limits<int64_t>::min();
    }
    return int64_t(value);
}

int32_t IntegerOfText(const QString& text) {
    bool ok = false;
    const int32_t v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}
