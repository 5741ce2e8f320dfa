#include "table_access.h"

#include <exception>

#include "infra/bytes.h"
#include "tables/base_client.h"

namespace {

bool ValidPosition(const TBaseClient& table, int32_t position) {
    return position >= 1 && position <= table.CountRecordFilter && position <= int32_t(table.SortData.size());
}

FieldGFB* AtPosition(TBaseClient& table, FieldGFB* column, int32_t position) {
    if (column == nullptr || !ValidPosition(table, position)) {
        return nullptr;
    }
    table.RecNoTemp = table.SortData[size_t(position - 1)];
    return column;
}

FieldGFB* Current(TBaseClient& table, FieldGFB* column) {
    return table.CountRecordFilter > 0 && table.RecNo >= 1 ? column : nullptr;
}

QString Text(FieldGFB* column) {
    return column != nullptr ? column->AsString() : QString();
}

int32_t Integer(FieldGFB* column) {
    if (column == nullptr) {
        return 0;
    }
    try {
        return column->AsInteger();
    } catch (const std::exception&) {
        return 0;
    }
}

// The column to write into, or null when the table is not being edited.
FieldGFB* Writable(TBaseClient& table, FieldGFB* column) {
    return table.RecordNE ? column : nullptr;
}

}  // namespace

QString TextAt(TBaseClient* table, int32_t column, int32_t position) {
    if (table == nullptr) {
        return {};
    }
    auto guard = table->Guard();
    return Text(AtPosition(*table, table->GetFieldIndex(column - 1), position));
}

std::vector<QString> TextsAt(TBaseClient* table, int32_t column, const std::vector<int32_t>& positions) {
    std::vector<QString> texts(positions.size());
    if (table == nullptr) {
        return texts;
    }
    auto guard = table->Guard();
    FieldGFB* field = table->GetFieldIndex(column - 1);
    for (size_t i = 0; i < positions.size(); ++i) {
        texts[i] = Text(AtPosition(*table, field, positions[i]));
    }
    return texts;
}

QString TextAt(TBaseClient* table, const QString& column, int32_t position) {
    if (table == nullptr) {
        return {};
    }
    auto guard = table->Guard();
    return Text(AtPosition(*table, table->FindColumn(column, true), position));
}

int32_t IntegerAt(TBaseClient* table, int32_t column, int32_t position) {
    if (table == nullptr) {
        return 0;
    }
    auto guard = table->Guard();
    return Integer(AtPosition(*table, table->GetFieldIndex(column - 1), position));
}

int32_t IntegerAt(TBaseClient* table, const QString& column, int32_t position) {
    if (table == nullptr) {
        return 0;
    }
    auto guard = table->Guard();
    return Integer(AtPosition(*table, table->FindColumn(column, true), position));
}

QString CurrentText(TBaseClient* table, int32_t column) {
    if (table == nullptr) {
        return {};
    }
    auto guard = table->Guard();
    return Text(Current(*table, table->GetFieldNumberCurrent(column)));
}

int32_t CurrentInteger(TBaseClient* table, int32_t column) {
    if (table == nullptr) {
        return 0;
    }
    auto guard = table->Guard();
    return Integer(Current(*table, table->GetFieldNumberCurrent(column)));
}

int32_t CurrentInteger(TBaseClient* table, const QString& column) {
    if (table == nullptr) {
        return 0;
    }
    auto guard = table->Guard();
    return Integer(Current(*table, table->GetFieldCurrent(column)));
}

uint32_t CurrentCardinal(TBaseClient* table, int32_t column) {
    if (table == nullptr) {
        return 0;
    }
    auto guard = table->Guard();
    FieldGFB* field = Current(*table, table->GetFieldNumberCurrent(column));
    return field != nullptr ? field->AsCardinal() : 0;
}

QString TextOfRecord(TBaseClient* table, const QString& column, int32_t n_abs) {
    if (table == nullptr) {
        return {};
    }
    auto guard = table->Guard();
    return Text(table->GetFieldInAbs(column, n_abs));
}

bool InAddOrEdit(TBaseClient* table) {
    if (table == nullptr) {
        return false;
    }
    auto guard = table->Guard();
    return table->RecordNE;
}

int32_t EditedRecordId(TBaseClient* table) {
    if (table == nullptr) {
        return -1;
    }
    auto guard = table->Guard();
    return table->RecordNE && table->EditRecord ? table->BEdit : -1;
}

QStringList RecordTexts(TBaseClient* table, int32_t n_abs) {
    if (table == nullptr) {
        return {};
    }
    auto guard = table->Guard();
    if (table->Fields.empty()) {
        return {};
    }
    table->GetFieldInAbs(table->Fields.front()->name, n_abs);
    if (table->RecNoTemp < 1) {
        return {};
    }
    QStringList texts;
    for (const auto& field : table->Fields) {
        texts << field->AsString();
    }
    return texts;
}

void WriteText(TBaseClient* table, int32_t column, const QString& text) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    if (FieldGFB* field = Writable(*table, table->GetFieldNumberCurrent(column))) {
        field->SetAsString(text);
    }
}

void WriteText(TBaseClient* table, const QString& column, const QString& text) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    if (FieldGFB* field = Writable(*table, table->GetFieldCurrent(column))) {
        field->SetAsString(text);
    }
}

void WriteInteger(TBaseClient* table, int32_t column, int32_t value) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    if (FieldGFB* field = Writable(*table, table->GetFieldNumberCurrent(column))) {
        field->SetAsInteger(value);
    }
}

void WriteInteger(TBaseClient* table, const QString& column, int32_t value) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    if (FieldGFB* field = Writable(*table, table->GetFieldCurrent(column))) {
        field->SetAsInteger(value);
    }
}

void WriteCardinal(TBaseClient* table, int32_t column, uint32_t value) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    if (FieldGFB* field = Writable(*table, table->GetFieldNumberCurrent(column))) {
        field->SetAsCardinal(value);
    }
}

void WriteInt64IfChanged(TBaseClient* table, const QString& column, int64_t value) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    FieldGFB* field = Writable(*table, table->GetFieldCurrent(column));
    if (field != nullptr && field->AsInt64() != value) {
        field->SetAsInt64(value);
    }
}

void WriteFlagBits(TBaseClient* table, const QString& column, std::initializer_list<FlagBit> bits) {
    if (table == nullptr) {
        return;
    }
    auto guard = table->Guard();
    FieldGFB* field = Writable(*table, table->GetFieldCurrent(column));
    if (field == nullptr) {
        return;
    }
    auto flags = uint8_t(table->EditRecord ? Integer(Current(*table, field)) : 0);
    for (const auto& [bit, on] : bits) {
        SetBit(flags, bit, on ? 1 : 0);
    }
    field->SetAsInteger(flags);
}
