// Look-ups that select a record for reading (RecNoTemp), and the searches that move the current
// record of the view.
#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "tables/base_client.h"
#include "tables/regional.h"

FieldGFB* TBaseClient::GetField(const QString& name, int32_t Pos) {
    auto guard = Guard();
    FieldGFB* column = FindColumn(name, true);
    if (Pos > 0 && Pos <= CountRecordFilter && Pos <= int32_t(SortData.size())) {
        RecNoTemp = SortData[size_t(Pos - 1)];
    }
    return column;
}

FieldGFB* TBaseClient::GetFieldNumber(int32_t number, int32_t Pos) {
    auto guard = Guard();
    if (Pos > 0 && Pos <= CountRecordFilter && Pos <= int32_t(SortData.size())) {
        RecNoTemp = SortData[size_t(Pos - 1)];
    }
    return number >= 1 && number <= int32_t(Fields.size()) ? Fields[size_t(number - 1)].get() : nullptr;
}

FieldGFB* TBaseClient::GetFieldCurrent(const QString& name) {
    auto guard = Guard();
    if (CountRecordFilter > 0) {
        RecNoTemp = RecNo;
    }
    return FindColumn(name, true);
}

FieldGFB* TBaseClient::GetFieldNumberCurrent(int32_t number) {
    auto guard = Guard();
    if (CountRecordFilter > 0) {
        RecNoTemp = RecNo;
    }
    return number >= 1 && number <= int32_t(Fields.size()) ? Fields[size_t(number - 1)].get() : nullptr;
}

// Only records with no flag set at all are found, as a record being deleted must not be edited.
FieldGFB* TBaseClient::GetFieldInAbs(const QString& name, int32_t n_abs) {
    auto guard = Guard();
    FieldGFB* column = FindColumn(name, true);
    RecNoTemp = 0;
    if (Fields.size() < 2) {
        return column;
    }
    const ColumnArray<int32_t>& ids = Fields[0]->Data.DataInteger;
    const ColumnArray<uint8_t>& flags = Fields[1]->Data.DataByte;
    const int32_t records =
        int32_t(std::min({int64_t(std::max(CountRecord, 0)), int64_t(ids.size()), int64_t(flags.size())}));
    for (int32_t r = 0; r < records; ++r) {
        if (flags[size_t(r)] == 0 && ids[size_t(r)] == n_abs) {
            RecNoTemp = r + 1;
            break;
        }
    }
    return column;
}

int32_t TBaseClient::GetFieldCurrentAsInteger(const QString& name) {
    auto guard = Guard();
    if (CountRecordFilter > 0) {
        RecNoTemp = RecNo;
    }
    const FieldGFB* column = FindColumn(name, true);
    if (column == nullptr || RecNoTemp < 1) {
        return 0;
    }
    const int64_t i = RecNoTemp - 1;
    const Stru_Data& d = column->Data;
    switch (column->TypeField) {
        case FieldCode::Integer:
            return At(d.DataInteger, i);
        case FieldCode::Byte:
            return At(d.DataByte, i);
        case FieldCode::Boolean:
            return At(d.DataBoolean, i) != 0 ? 1 : 0;
        case FieldCode::Word:
            return At(d.DataWord, i);
        case FieldCode::Cardinal:
            return int32_t(At(d.DataCardinal, i));
        case FieldCode::Float:
            return TruncToInt32(At(d.DataFloat, i));
        case FieldCode::Double:
            return TruncToInt32(At(d.DataDouble, i));
        case FieldCode::DateTime:
            return TruncToInt32(At(d.DataDateTime, i));
        default:
            return 0;
    }
}

int32_t TBaseClient::FindData(const QString& Field, const QString& Data) {
    auto guard = Guard();
    if (Fields.size() < 2) {
        return -1;
    }
    const ColumnArray<uint8_t>& flags = Fields[1]->Data.DataByte;
    const int32_t visible = std::min(CountRecordFilter, int32_t(SortData.size()));
    for (const auto& column : Fields) {
        if (column->name != Field) {
            continue;
        }
        for (int32_t pos = 0; pos < visible; ++pos) {
            const int32_t r = SortData[size_t(pos)];
            if (GetBit(At(flags, r - 1), 1)) {
                continue;
            }
            RecNoTemp = r;
            if (column->AsString().contains(Data)) {
                return r;
            }
        }
    }
    return -1;
}

bool TBaseClient::GotoAbs(int32_t n_abs) {
    auto guard = Guard();
    if (Fields.empty()) {
        return false;
    }
    const ColumnArray<int32_t>& ids = Fields[0]->Data.DataInteger;
    for (First(); !eof(); Next()) {
        if (At(ids, RecNo - 1) == n_abs) {
            return true;
        }
    }
    return false;
}

int32_t TBaseClient::GetPosInAbs(int32_t n_abs) {
    auto guard = Guard();
    if (Fields.empty()) {
        return -1;
    }
    const ColumnArray<int32_t>& ids = Fields[0]->Data.DataInteger;
    const int32_t records = std::min(CountRecordFilter, int32_t(ids.size()));
    for (int32_t i = 0; i < records; ++i) {
        if (ids[size_t(i)] == n_abs) {
            return i + 1;
        }
    }
    return -1;
}

int32_t TBaseClient::GetSortPos(int32_t FullPos) {
    auto guard = Guard();
    const int32_t visible = std::min(CountRecordFilter, int32_t(SortData.size()));
    for (int32_t pos = 0; pos < visible; ++pos) {
        if (SortData[size_t(pos)] == FullPos) {
            return pos + 1;
        }
    }
    return -1;
}
