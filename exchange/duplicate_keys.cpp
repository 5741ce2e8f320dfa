#include "duplicate_keys.h"

#include <functional>

#include "exchange/column_captions.h"
#include "tables/base_client.h"

namespace {

QString Digits(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit()) {
            digits += c;
        }
    }
    return digits;
}

// Upper-case letters and digits, Latin letters that look like Cyrillic ones read as those.
QString Plate(const QString& text) {
    static const QString latin = QStringLiteral("ABEKMHOPCTYX");
    static const QString cyrillic = QStringLiteral("АВЕКМНОРСТУХ");
    QString key;
    for (const QChar c : text.toUpper()) {
        if (!c.isLetterOrNumber()) {
            continue;
        }
        const qsizetype at = latin.indexOf(c);
        key += at >= 0 ? cyrillic[at] : c;
    }
    return key;
}

// Walks the visible records with the column's key and the record's identifier and title, until
// `visit` returns false.
void EachKey(TBaseClient& table, const QString& column,
             const std::function<bool(const QString& key, int32_t n_abs, int32_t position)>& visit) {
    const auto guard = table.Guard();
    FieldGFB* values = table.FindColumn(column, true);
    FieldGFB* ids = table.GetFieldIndex(0);
    if (values == nullptr || ids == nullptr) {
        return;
    }
    for (int32_t p = 1; p <= table.CountRecordFilter; ++p) {
        table.GetFieldNumber(1, p);
        const QString key = DuplicateKey(column, values->AsString());
        if (!key.isEmpty() && !visit(key, ids->AsInteger(), p)) {
            return;
        }
    }
}

QString TitleAt(TBaseClient& table, int32_t position) {
    const QString column = TitleColumn(table.NameTableS);
    FieldGFB* title = column.isEmpty() ? nullptr : table.GetField(column, position);
    return title != nullptr ? title->AsString() : QString();
}

}  // namespace

QString DuplicateKey(const QString& column, const QString& text) {
    const QString t = text.trimmed();
    if (column == QLatin1StringView("imei")) {
        bool ok = false;
        const qlonglong number = t.toLongLong(&ok);
        return ok && number != 0 ? QString::number(number) : QString();
    }
    if (column == QLatin1StringView("gosnum")) {
        return Plate(t);
    }
    if (column == QLatin1StringView("sim") || column == QLatin1StringView("tel")) {
        return Digits(t);
    }
    return t.toCaseFolded();
}

QHash<QString, KeyHolder> KeyHolders(TBaseClient& table, const QString& column) {
    QHash<QString, KeyHolder> holders;
    const auto guard = table.Guard();
    EachKey(table, column, [&](const QString& key, int32_t n_abs, int32_t position) {
        if (!holders.contains(key)) {
            holders.insert(key, {n_abs, TitleAt(table, position)});
        }
        return true;
    });
    return holders;
}

KeyHolder FindKeyHolder(TBaseClient& table, const QString& column, const QString& key, int32_t except) {
    KeyHolder found;
    if (key.isEmpty()) {
        return found;
    }
    const auto guard = table.Guard();
    EachKey(table, column, [&](const QString& k, int32_t n_abs, int32_t position) {
        if (k != key || n_abs == except) {
            return true;
        }
        found = {n_abs, TitleAt(table, position)};
        return false;
    });
    return found;
}
