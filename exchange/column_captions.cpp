#include "column_captions.h"

#include <map>
#include <utility>

#include "tables/base_client.h"

namespace {

using Captions = std::map<QString, QString>;

const std::map<QString, Captions>& AllCaptions() {
    static const std::map<QString, Captions> captions = {
        {QStringLiteral("gps"),
         {{"sim", "Номер SIM"},
          {"number", "Номер"},
          {"name", "Наименование"},
          {"pass", "Пароль"},
          {"owner", "Владелец"},
          {"otv", "Ответственный"},
          {"otv_tel", "Телефон ответственного"},
          {"model", "Модель"},
          {"vin", "VIN"},
          {"color", "Цвет"},
          {"prim", "Примечание"},
          {"imei", "IMEI"},
          {"gosnum", "Гос. номер"},
          {"type", "Тип"},
          {"mapcolor", "Цвет на карте"},
          {"imeiv", "IMEI Велта"},
          {"coord", "Брать координаты"}}},
        {QStringLiteral("gpeople"),
         {{"fio", "ФИО"},
          {"address", "Адрес"},
          {"tel", "Телефон"},
          {"number", "Номер объекта"},
          {"foto", "Фотография"}}},
        {QStringLiteral("groupgps"), {{"name", "Наименование"}}}};
    return captions;
}

}  // namespace

QString ColumnCaption(const QString& table, const QString& column) {
    const auto t = AllCaptions().find(table);
    if (t != AllCaptions().end()) {
        const auto c = t->second.find(column);
        if (c != t->second.end()) {
            return c->second;
        }
    }
    return column;
}

bool ServerKeptColumn(const QString& column) {
    for (const char* name : {"n_abs", "p_d", "dt_c", "dt_m", "n_user", "ver"}) {
        if (column == QLatin1StringView(name)) {
            return true;
        }
    }
    return false;
}

QString ColumnOfHeader(const TBaseClient& table, const QString& header) {
    const QString h = header.trimmed();
    if (h.isEmpty()) {
        return {};
    }
    for (const auto& column : table.Fields) {
        if (column->name.isEmpty() || !FieldHasStorage(column->TypeField) || ServerKeptColumn(column->name)) {
            continue;
        }
        if (h.compare(column->name, Qt::CaseInsensitive) == 0 ||
            h.compare(ColumnCaption(table.NameTableS, column->name), Qt::CaseInsensitive) == 0) {
            return column->name;
        }
    }
    return {};
}

QString TitleColumn(const QString& table) {
    if (table == QLatin1StringView("gps") || table == QLatin1StringView("groupgps")) {
        return QStringLiteral("name");
    }
    return table == QLatin1StringView("gpeople") ? QStringLiteral("fio") : QString();
}

QString RecordNoun(const QString& table) {
    if (table == QLatin1StringView("gps")) {
        return QStringLiteral("ТС");
    }
    if (table == QLatin1StringView("gpeople")) {
        return QStringLiteral("МТК");
    }
    return table == QLatin1StringView("groupgps") ? QStringLiteral("группа") : QStringLiteral("запись");
}
