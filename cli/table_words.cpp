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

QString ParseTableAndRecord(const QStringList& words, QString& table, int32_t& n_abs) {
    table = words[0];
    const QString error = CheckTableName(table);
    if (!error.isEmpty()) {
        return error;
    }
    const auto id = ParseRecordId(words[1]);
    if (!id) {
        return QStringLiteral("\"%1\" is not a record number").arg(words[1]);
    }
    n_abs = *id;
    return {};
}
