#include "table_words.h"

#include "session/table_registration.h"

QString CheckTableName(const QString& name) {
    for (const char* known : kConfigTableNames) {
        if (name == QLatin1StringView(known)) {
            return {};
        }
    }
    return QStringLiteral("unknown table \"%1\" (one of object, gps, gpeople, groupgps, gpsug, gpsshab)")
        .arg(name);
}

std::optional<int32_t> ParseRecordId(const QString& text) {
    bool ok = false;
    const int32_t value = text.toInt(&ok, 10);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}
