#include "tables/base_set.h"

#include <QDir>

TBaseClient* TBaseC::At(int32_t index) const {
    return index >= 0 && index < Count() ? FTables[size_t(index)].get() : nullptr;
}

int32_t TBaseC::IndexOf(const QString& name) const {
    for (int32_t i = 0; i < Count(); ++i) {
        if (FTables[size_t(i)]->NameTableS == name) {
            return i;
        }
    }
    return -1;
}

TBaseClient* TBaseC::Find(const QString& name) const {
    return At(IndexOf(name));
}

int32_t TBaseC::Append() {
    auto table = std::make_unique<TBaseClient>();
    table->ComponentName = QStringLiteral("base") + QString::number(Count());
    FTables.push_back(std::move(table));
    return Count() - 1;
}

namespace {

// {"n_abs":"1","p_d":"1",<the listed names>}: the identifier and the flags are always requested.
QString LoadFieldsOf(const QString& fields) {
    if (fields.isEmpty() || fields == QLatin1String("*")) {
        return {};
    }
    QString pairs;
    for (const QString& name : fields.split(u',')) {
        if (!pairs.isEmpty()) {
            pairs += u',';
        }
        pairs += u'"' + name + QStringLiteral("\":\"1\"");
    }
    if (!pairs.contains(QLatin1String("\"p_d\":"))) {
        pairs.prepend(QStringLiteral("\"p_d\":\"1\","));
    }
    if (!pairs.contains(QLatin1String("\"n_abs\":"))) {
        pairs.prepend(QStringLiteral("\"n_abs\":\"1\","));
    }
    return u'{' + pairs + u'}';
}

}  // namespace

int32_t AddTable(TBaseC& set, const QString& Name, const QString& Fields, const QString& Filter, bool Cache,
                 bool Arh) {
    int32_t index = set.IndexOf(Name);
    if (index < 0) {
        index = set.Append();
    }
    TBaseClient& t = *set.At(index);
    const auto guard = t.Guard();
    t.NameTableS = Name;
    t.FlagLoadData = false;
    t.LoadFileName.clear();
    t.Cache = Cache;
    t.Arh = Arh;
    if (Cache) {
        QDir().mkpath(QStringLiteral("temp/") + Name);
    }
    if (Arh) {
        QDir().mkpath(QStringLiteral("arh/") + Name);
    }
    t.LoadFields = LoadFieldsOf(Fields);
    t.LoadFilter = u'{' + Filter + u'}';
    t.SendLoadData = false;
    return index;
}
