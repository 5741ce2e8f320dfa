#include "tables/base_client.h"

#include <QDir>

namespace {
const QString kTempDir = QStringLiteral("temp");
}

TBaseClient::TBaseClient() {
    QDir().mkpath(kTempDir);
}

TBaseClient::~TBaseClient() = default;

void TBaseClient::Clear() {
    const auto guard = Guard();
    CountRecord = 0;
    CountRecordFilter = 0;
    Fields.clear();
    CacheReadAhead = false;
}

FieldGFB* TBaseClient::FindColumn(const QString& name, bool usable) const {
    for (const auto& f : Fields) {
        if (f->name == name && (!usable || f->TypeField != 0)) {
            return f.get();
        }
    }
    return nullptr;
}

int32_t TBaseClient::AddField(const Stru_NetFields& Fi) {
    const auto guard = Guard();
    const QString name = Fi.name.left(15);
    for (size_t i = 0; i < Fields.size(); ++i) {
        if (Fields[i]->name == name) {
            return int32_t(i);
        }
    }
    auto f = std::make_unique<FieldGFB>(this);
    f->n_abs = Fi.n_abs;
    f->name = name;
    f->TypeField = Fi.TypeField;
    f->Size = Fi.Size;
    f->SprSize = Fi.SprSize;
    Fields.push_back(std::move(f));
    return int32_t(Fields.size() - 1);
}

void TBaseClient::GetFieldN(int32_t idx, Stru_NetFields& Fi) {
    const auto guard = Guard();
    if (idx < 1 || idx > int32_t(Fields.size())) {
        return;
    }
    const FieldGFB& f = *Fields[size_t(idx - 1)];
    Fi.n_abs = f.n_abs;
    Fi.name = f.name;
    Fi.TypeField = f.TypeField;
    Fi.Size = f.Size;
    Fi.SprSize = f.SprSize;
}

FieldGFB* TBaseClient::GetFieldIndex(int32_t IndexF) {
    const auto guard = Guard();
    return IndexF >= 0 && IndexF < int32_t(Fields.size()) ? Fields[size_t(IndexF)].get() : nullptr;
}

uint8_t TBaseClient::GetFieldType(const QString& name) {
    const auto guard = Guard();
    const FieldGFB* f = FindColumn(name, false);
    return f ? f->TypeField : 0;
}

int32_t TBaseClient::GetFieldSize(const QString& name) {
    const auto guard = Guard();
    const FieldGFB* f = FindColumn(name, true);
    return f ? f->Size : 0;
}

int32_t TBaseClient::GetFieldSprSize(const QString& name) {
    const auto guard = Guard();
    const FieldGFB* f = FindColumn(name, true);
    return f ? f->SprSize : 0;
}

int32_t TBaseClient::GetNumberField(const QString& name) {
    const auto guard = Guard();
    for (size_t i = 0; i < Fields.size(); ++i) {
        if (Fields[i]->name == name && Fields[i]->TypeField != 0) {
            return int32_t(i + 1);
        }
    }
    return 0;
}

bool TBaseClient::FieldYes(const QString& name) {
    const auto guard = Guard();
    return FindColumn(name, true) != nullptr;
}

int32_t TBaseClient::GetCountFields() {
    const auto guard = Guard();
    return int32_t(Fields.size());
}

int64_t TBaseClient::GetAllSize() {
    const auto guard = Guard();
    int64_t total = 0;
    for (const auto& f : Fields) {
        const uint8_t code = f->TypeField;
        if (FieldHasStorage(code)) {
            total += int64_t(f->Size) * CountRecordFilter;
        }
        if (code == FieldCode::VarText) {
            total += int64_t(f->Data.DataByte.size());
        }
    }
    return total;
}

void TBaseClient::GetFieldSpr(const QString& name, std::vector<SprItem>& list) {
    const auto guard = Guard();
    list.clear();
    const FieldGFB* f = FindColumn(name, true);
    if (!f) {
        return;
    }
    const auto& texts = f->Data.DataStringN;
    if (f->TypeField == FieldCode::Dict16) {
        for (size_t i = 0; i < texts.size() && i < f->Data.DataCardinal.size(); ++i) {
            list.push_back({texts[i], f->Data.DataCardinal[i]});
        }
    } else if (f->TypeField == FieldCode::Dict8) {
        for (size_t i = 0; i < texts.size() && i < f->Data.DataWord.size(); ++i) {
            list.push_back({texts[i], f->Data.DataWord[i]});
        }
    }
}
