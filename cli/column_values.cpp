#include "column_values.h"

#include "tables/base_client.h"
#include "tables/table_error.h"

QString ParseColumnValues(const QStringList& words, ColumnValues& values) {
    values.clear();
    if (words.isEmpty()) {
        return QStringLiteral("give at least one COL=VALUE");
    }
    for (const QString& word : words) {
        const qsizetype equals = word.indexOf(u'=');
        if (equals <= 0) {
            return QStringLiteral("\"%1\" is not COL=VALUE").arg(word);
        }
        values.emplace_back(word.left(equals), word.mid(equals + 1));
    }
    return {};
}

QString WriteColumnValues(TBaseClient& table, const ColumnValues& values) {
    for (const auto& [name, value] : values) {
        if (name == QStringLiteral("n_abs")) {
            return QStringLiteral("n_abs is given by the server and cannot be written");
        }
        FieldGFB* column = table.FindColumn(name, /*usable=*/true);
        if (column == nullptr) {
            return QStringLiteral("table %1 has no column %2").arg(table.NameTableS, name);
        }
        try {
            column->SetAsString(value);
        } catch (const TableConversionError&) {
            return QStringLiteral("\"%1\" is not a valid value for column %2").arg(value, name);
        }
    }
    return {};
}
