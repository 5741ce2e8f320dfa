#include "demo_data.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QStringList>

#include "infra/codepage.h"
#include "storage.h"

namespace {

const QStringList kSurnames = {
    QStringLiteral("Иванов"),   QStringLiteral("Смирнов"),  QStringLiteral("Кузнецов"),
    QStringLiteral("Попов"),    QStringLiteral("Васильев"), QStringLiteral("Петров"),
    QStringLiteral("Соколов"),  QStringLiteral("Михайлов"), QStringLiteral("Новиков"),
    QStringLiteral("Фёдоров"),  QStringLiteral("Морозов"),  QStringLiteral("Волков"),
    QStringLiteral("Алексеев"), QStringLiteral("Лебедев"),  QStringLiteral("Семёнов"),
    QStringLiteral("Егоров")};
const QStringList kNames = {QStringLiteral("Александр"), QStringLiteral("Сергей"),  QStringLiteral("Дмитрий"),
                            QStringLiteral("Андрей"),    QStringLiteral("Алексей"), QStringLiteral("Максим"),
                            QStringLiteral("Евгений"),   QStringLiteral("Иван"),    QStringLiteral("Михаил"),
                            QStringLiteral("Николай")};
const QStringList kPatronymics = {QStringLiteral("Александрович"), QStringLiteral("Сергеевич"),
                                  QStringLiteral("Дмитриевич"),    QStringLiteral("Андреевич"),
                                  QStringLiteral("Иванович"),      QStringLiteral("Петрович"),
                                  QStringLiteral("Николаевич"),    QStringLiteral("Викторович")};
const QStringList kStreets = {QStringLiteral("ул. Ленина"),     QStringLiteral("ул. Гагарина"),
                              QStringLiteral("пр. Мира"),       QStringLiteral("ул. Советская"),
                              QStringLiteral("ул. Садовая"),    QStringLiteral("ул. Пушкина"),
                              QStringLiteral("ул. Молодёжная"), QStringLiteral("ул. Лесная"),
                              QStringLiteral("пр. Победы"),     QStringLiteral("ул. Школьная")};
const QStringList kCities = {QStringLiteral("г. Екатеринбург"), QStringLiteral("г. Пермь"),
                             QStringLiteral("г. Тюмень"), QStringLiteral("г. Челябинск")};
const QStringList kModels = {QStringLiteral("ГАЗель Next"),   QStringLiteral("УАЗ Патриот"),
                             QStringLiteral("Лада Веста"),    QStringLiteral("Лада Ларгус"),
                             QStringLiteral("КАМАЗ 43118"),   QStringLiteral("Шкода Октавия"),
                             QStringLiteral("Хёндай Солярис")};
const QStringList kColours = {QStringLiteral("белый"),   QStringLiteral("серебристый"),
                              QStringLiteral("синий"),   QStringLiteral("чёрный"),
                              QStringLiteral("красный"), QStringLiteral("зелёный")};
const QStringList kVehicleKinds = {QStringLiteral("Экипаж ГБР"), QStringLiteral("Техническая служба"),
                                   QStringLiteral("Инкассация"), QStringLiteral("Патруль"),
                                   QStringLiteral("Дежурный автомобиль")};
const QStringList kObjects = {QStringLiteral("Магазин «Продукты»"), QStringLiteral("Аптека №12"),
                              QStringLiteral("Офис ООО «Вектор»"),  QStringLiteral("Склад стройматериалов"),
                              QStringLiteral("Школа №5"),           QStringLiteral("Детский сад «Солнышко»"),
                              QStringLiteral("Кафе «Уют»"),         QStringLiteral("Гаражный кооператив"),
                              QStringLiteral("Банк, отделение 7"),  QStringLiteral("Автосервис «Мотор»")};
const QStringList kDepartments = {QStringLiteral("Центральный"), QStringLiteral("Северный"),
                                  QStringLiteral("Южный"), QStringLiteral("Восточный")};
const QStringList kGroups = {QStringLiteral("ГБР Центр"), QStringLiteral("ГБР Север"),
                             QStringLiteral("Техслужба"), QStringLiteral("Инкассация")};
const QStringList kTemplateKinds = {QStringLiteral("Ежедневный"), QStringLiteral("Еженедельный"),
                                    QStringLiteral("Ночной")};
// Letters that read alike in both alphabets, as on registration plates.
const QString kPlateLetters = QStringLiteral("АВЕКМНОРСТУХ");

class Generator {
  public:
    Generator(Storage& storage, uint32_t seed) : storage_(storage), rnd_(seed) {}

    bool fill(int32_t records) {
        const bool small = records == 0;
        storage_.begin();
        fillObjects(small ? 10 : records);
        fillVehicles(small ? 12 : records);
        fillPeople(small ? 10 : records);
        fillGroups(small ? 4 : records);
        fillMembers(small ? 12 : records);
        fillTemplates(small ? 3 : records);
        if (!storage_.hasUsers()) {
            storage_.setUser(QStringLiteral("admin"), QStringLiteral("admin"));
        }
        return storage_.commit();
    }

  private:
    int pick(int n) { return int(rnd_.bounded(n)); }
    const QString& pick(const QStringList& l) { return l[pick(int(l.size()))]; }
    QString digits(int n) {
        QString s;
        for (int i = 0; i < n; ++i) {
            s += QChar(u'0' + pick(10));
        }
        return s;
    }
    QString phone() { return QStringLiteral("+79") + digits(9); }
    QString person() {
        return pick(kSurnames) + QLatin1Char(' ') + pick(kNames) + QLatin1Char(' ') + pick(kPatronymics);
    }
    QString address() {
        return pick(kCities) + QStringLiteral(", ") + pick(kStreets) + QStringLiteral(", д. ") +
               QString::number(1 + pick(120));
    }
    QString plate() {
        auto letter = [&] { return QString(kPlateLetters[pick(int(kPlateLetters.size()))]); };
        return letter() + digits(3) + letter() + letter() + QStringLiteral("96");
    }

    // The table while it is still empty; null once it holds records.
    TableData* begin(const char* name) {
        TableData* t = storage_.table(QString::fromLatin1(name));
        return t && t->count() == 0 ? t : nullptr;
    }
    int32_t add(TableData& t) {
        const int32_t row = t.appendRecord();
        const int ago = pick(86400 * 30);
        t.stamp(row, 1, daysAgo(ago), secondsAgo(ago));
        return row;
    }
    void text(TableData& t, int32_t row, const char* col, const QString& value) {
        t.setBytes(row, t.def().indexOf(QString::fromLatin1(col)), toAnsi(value));
    }
    void integer(TableData& t, int32_t row, const char* col, int64_t value) {
        t.setInt(row, t.def().indexOf(QString::fromLatin1(col)), value);
    }
    void real(TableData& t, int32_t row, const char* col, double value) {
        t.setReal(row, t.def().indexOf(QString::fromLatin1(col)), value);
    }
    void finish(TableData& t) {
        for (int32_t r = 0; r < t.count(); ++r) {
            storage_.saveRecord(t, r);
        }
        storage_.saveDictionaries(t);
    }

    void fillObjects(int32_t n) {
        TableData* t = begin("object");
        if (!t) {
            return;
        }
        const int col = t->def().indexOf(QStringLiteral("otdel"));
        for (int32_t i = 0; i < n; ++i) {
            const int32_t r = add(*t);
            integer(*t, r, "number", 1000 + i);
            text(*t, r, "name",
                 kObjects[i % kObjects.size()] +
                     (i >= kObjects.size() ? QStringLiteral(" ") + QString::number(i) : QString()));
            text(*t, r, "address", address());
            t->setDictionaryText(r, col, toAnsi(pick(kDepartments)));
            text(*t, r, "tel", QStringLiteral("8343") + digits(7));
        }
        finish(*t);
    }

    void fillVehicles(int32_t n) {
        TableData* t = begin("gps");
        if (!t) {
            return;
        }
        for (int32_t i = 0; i < n; ++i) {
            const int32_t r = add(*t);
            text(*t, r, "sim", digits(10));
            text(*t, r, "number", QString::number(101 + i));
            text(*t, r, "name", pick(kVehicleKinds) + QStringLiteral(" ") + QString::number(101 + i));
            real(*t, r, "lat", 56.8 + pick(1000) / 10000.0);
            real(*t, r, "lon", 60.6 + pick(1000) / 10000.0);
            real(*t, r, "speed", pick(90));
            real(*t, r, "dt_last", daysAgo(pick(3600)));
            text(*t, r, "pass", digits(6));
            text(*t, r, "owner", QStringLiteral("ООО «Охрана-Сервис»"));
            text(*t, r, "otv", person());
            text(*t, r, "otv_tel", phone());
            text(*t, r, "model", pick(kModels));
            text(*t, r, "vin", QStringLiteral("XTA") + digits(14));
            text(*t, r, "color", pick(kColours));
            text(*t, r, "prim", i % 3 == 0 ? QStringLiteral("Плановое ТО в следующем месяце") : QString());
            integer(*t, r, "icon", 1 + pick(8));
            integer(*t, r, "imei", 860000000000000LL + int64_t(rnd_.bounded(99999999)));
            text(*t, r, "gosnum", plate());
            integer(*t, r, "dt_reg", secondsAgo(86400 * pick(700)));
            integer(*t, r, "active", 1);
            integer(*t, r, "kurs", pick(360));
            t->setBytes(r, t->def().indexOf(QStringLiteral("sensors")), QByteArray(8, char(pick(2))));
            integer(*t, r, "type", i % 4 == 3 ? -1 : 0);
            integer(*t, r, "mapcolor", rnd_.bounded(0x1000000));
            text(*t, r, "imeiv", digits(15));
            integer(*t, r, "r_dt", nowSeconds_);
            real(*t, r, "fuel", 20 + pick(50));
            real(*t, r, "odometer", 10000 + pick(200000));
            integer(*t, r, "hexid", rnd_.bounded(0x7FFFFFFF));
            text(*t, r, "driver", person());
            text(*t, r, "drv_tel", phone());
            integer(*t, r, "zone", 1 + pick(4));
            integer(*t, r, "coord", pick(2));
        }
        finish(*t);
    }

    void fillPeople(int32_t n) {
        TableData* t = begin("gpeople");
        if (!t) {
            return;
        }
        for (int32_t i = 0; i < n; ++i) {
            const int32_t r = add(*t);
            text(*t, r, "fio", person());
            text(*t, r, "address", address());
            text(*t, r, "tel", phone());
            const bool stationary = i % 4 == 1;
            text(*t, r, "number", stationary ? QString::number(1000 + i % 10) : QString());
            integer(*t, r, "rez", (stationary ? 1 : 0) | (i % 5 == 2 ? 2 : 0));
            const bool registered = i % 3 == 0;
            integer(*t, r, "status", registered ? 1 : 0);
            integer(*t, r, "smsdate", registered || i % 3 == 2 ? 0 : int(nowDays_) - pick(10));
            integer(*t, r, "smssend", registered || i % 3 == 2 ? 0 : 1 + pick(3));
            integer(*t, r, "imei", 350000000000000LL + int64_t(rnd_.bounded(99999999)));
        }
        finish(*t);
    }

    void fillGroups(int32_t n) {
        TableData* t = begin("groupgps");
        if (!t) {
            return;
        }
        for (int32_t i = 0; i < n; ++i) {
            const int32_t r = add(*t);
            text(*t, r, "name",
                 kGroups[i % kGroups.size()] + (i >= kGroups.size() ? QString::number(i) : QString()));
            integer(*t, r, "status", i % 2);
            integer(*t, r, "color", rnd_.bounded(0x1000000));
            text(*t, r, "prim", QString());
        }
        finish(*t);
    }

    void fillMembers(int32_t n) {
        TableData* t = begin("gpsug");
        const TableData* groups = storage_.table(QStringLiteral("groupgps"));
        const TableData* vehicles = storage_.table(QStringLiteral("gps"));
        if (!t || groups->count() == 0 || vehicles->count() == 0) {
            return;
        }
        for (int32_t i = 0; i < n; ++i) {
            const int32_t r = add(*t);
            integer(*t, r, "n_absg", groups->nAbsAt(i % groups->count()));
            integer(*t, r, "n_absu", vehicles->nAbsAt(i % vehicles->count()));
            integer(*t, r, "typeu", 1);
        }
        finish(*t);
    }

    void fillTemplates(int32_t n) {
        TableData* t = begin("gpsshab");
        if (!t) {
            return;
        }
        const int col = t->def().indexOf(QStringLiteral("kind"));
        for (int32_t i = 0; i < n; ++i) {
            const int32_t r = add(*t);
            text(*t, r, "name", QStringLiteral("Шаблон ") + QString::number(i + 1));
            t->setDictionaryText(r, col, toAnsi(kTemplateKinds[i % kTemplateKinds.size()]));
            integer(*t, r, "period", 60 * (1 + pick(10)));
            text(*t, r, "shab", QStringLiteral("Контроль маршрута и стоянок"));
        }
        finish(*t);
    }

    // Times relative to the start, without a local-time conversion per record.
    double daysAgo(int seconds) const { return nowDays_ - seconds / 86400.0; }
    uint32_t secondsAgo(int seconds) const { return nowSeconds_ - uint32_t(seconds); }

    Storage& storage_;
    QRandomGenerator rnd_;
    const QDateTime now_ = QDateTime::currentDateTime();
    const double nowDays_ = TableData::ToDays(now_);
    const uint32_t nowSeconds_ = TableData::ToSeconds2000(now_);
};

}  // namespace

bool FillDemoData(Storage& storage, int32_t records, uint32_t seed) {
    return Generator(storage, seed).fill(records);
}
