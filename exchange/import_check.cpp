#include "import_check.h"

#include <QHash>

#include "exchange/column_captions.h"
#include "exchange/duplicate_keys.h"
#include "infra/bytes.h"
#include "tables/base_client.h"

namespace {

const QString kStationaryWithoutObject = QStringLiteral("Не введен объект в стационарном режиме");

QString Caption(const ImportProfile& profile, const QString& column) {
    return ColumnCaption(profile.table, column);
}

const CellValue* ValueOf(const ImportLine& line, const QString& column) {
    for (const auto& [name, value] : line.values) {
        if (name == column) {
            return &value;
        }
    }
    return nullptr;
}

bool ObjectExists(TBaseClient& objects, int64_t number) {
    const auto guard = objects.Guard();
    FieldGFB* column = objects.GetFieldIndex(6);
    for (int32_t p = 1; column != nullptr && p <= objects.CountRecordFilter; ++p) {
        objects.GetFieldNumber(1, p);
        if (column->AsInteger() == number) {
            return true;
        }
    }
    return false;
}

// The terminals page's rule before it saves: a stationary terminal needs an existing object, and
// its number may not be "0".
void CheckStationary(TBaseClient* objects, ImportLine& line) {
    const CellValue* rez = ValueOf(line, QStringLiteral("rez"));
    if (rez == nullptr || rez->kind != CellValue::Kind::Integer || !GetBit(uint8_t(rez->integer), 1)) {
        return;
    }
    const CellValue* number = ValueOf(line, QStringLiteral("number"));
    bool ok = false;
    const int64_t n = number != nullptr ? number->text.trimmed().toLongLong(&ok) : 0;
    if (!ok || number->text.trimmed() == QLatin1StringView("0") || objects == nullptr ||
        !ObjectExists(*objects, n)) {
        line.errors << kStationaryWithoutObject;
    }
}

}  // namespace

std::optional<ImportProfile> ImportProfileOf(const QString& table) {
    if (table == QLatin1StringView("gps")) {
        return ImportProfile{
            table, {QStringLiteral("name")}, {QStringLiteral("imei"), QStringLiteral("sim")}, false};
    }
    if (table == QLatin1StringView("gpeople")) {
        return ImportProfile{table, {QStringLiteral("fio")}, {QStringLiteral("tel")}, true};
    }
    return std::nullopt;
}

QStringList MapColumns(TBaseClient& table, const QStringList& header) {
    const auto guard = table.Guard();
    QStringList mapping;
    for (const QString& cell : header) {
        const QString column = ColumnOfHeader(table, cell);
        mapping << (mapping.contains(column) ? QString() : column);
    }
    return mapping;
}

QString CheckMapping(const ImportProfile& profile, const QStringList& mapping) {
    QStringList seen;
    for (const QString& column : mapping) {
        if (column.isEmpty()) {
            continue;
        }
        if (seen.contains(column)) {
            return QStringLiteral("Столбец «%1» выбран для двух столбцов файла")
                .arg(Caption(profile, column));
        }
        seen << column;
    }
    if (seen.isEmpty()) {
        return QStringLiteral("Ни один столбец файла не сопоставлен столбцу таблицы");
    }
    for (const QString& column : profile.required) {
        if (!seen.contains(column)) {
            return QStringLiteral("Не выбран обязательный столбец «%1»").arg(Caption(profile, column));
        }
    }
    return {};
}

std::vector<ImportLine> CheckLines(TBaseClient& table, TBaseClient* objects, const ImportProfile& profile,
                                   const Sheet& sheet, const QStringList& mapping) {
    std::vector<ImportLine> lines;
    lines.reserve(sheet.lines.size());
    QHash<QString, QHash<QString, KeyHolder>> inTable;
    for (const QString& column : profile.unique) {
        inTable.insert(column, KeyHolders(table, column));
    }
    // Key of each unique column to the first file line holding it.
    QHash<QString, QHash<QString, int>> inFile;
    const auto guard = table.Guard();
    for (const SheetLine& source : sheet.lines) {
        ImportLine line;
        line.line = source.line;
        for (qsizetype c = 0; c < mapping.size() && c < source.cells.size(); ++c) {
            FieldGFB* column = mapping[c].isEmpty() ? nullptr : table.FindColumn(mapping[c], true);
            if (column == nullptr) {
                continue;
            }
            CellValue value;
            if (const QString error = ParseCell(*column, source.cells[c], value); !error.isEmpty()) {
                line.errors << error;
            } else if (value.kind != CellValue::Kind::None) {
                line.values.emplace_back(mapping[c], std::move(value));
            }
        }
        for (const QString& column : profile.required) {
            if (ValueOf(line, column) == nullptr) {
                line.errors << QStringLiteral("Не заполнено: %1").arg(Caption(profile, column));
            }
        }
        for (const QString& column : profile.unique) {
            const CellValue* value = ValueOf(line, column);
            const QString text = value == nullptr                          ? QString()
                                 : value->kind == CellValue::Kind::Integer ? QString::number(value->integer)
                                                                           : value->text;
            const QString key = DuplicateKey(column, text);
            if (key.isEmpty()) {
                continue;
            }
            const auto holder = inTable[column].constFind(key);
            if (holder != inTable[column].constEnd()) {
                line.errors << QStringLiteral("%1 %2 уже есть у %3 «%4» (запись %5)")
                                   .arg(Caption(profile, column), text.trimmed(), RecordNoun(profile.table),
                                        holder->title)
                                   .arg(holder->n_abs);
            }
            const auto earlier = inFile[column].constFind(key);
            if (earlier != inFile[column].constEnd()) {
                line.errors << QStringLiteral("%1 %2 повторяет строку %3")
                                   .arg(Caption(profile, column), text.trimmed())
                                   .arg(*earlier);
            } else {
                inFile[column].insert(key, line.line);
            }
        }
        if (profile.stationaryNeedsObject) {
            CheckStationary(objects, line);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}
