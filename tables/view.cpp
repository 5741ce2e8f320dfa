// The record view: which stored records are visible, in which order (the sort is view_sort.cpp's),
// and which one is current; navigation and search.
//
// A rebuild runs after every record update, so on a large table it must stay one pass over the flag
// column when nothing is filtered or sorted.
#include <algorithm>
#include <cstring>
#include <optional>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "tables/base_client.h"
#include "tables/regional.h"
#include "tables/table_error.h"
#include "tables/view_sort.h"

namespace {

bool Deleted(uint8_t flags) {
    return GetBit(flags, 1);
}

// Writes the storage numbers of the records whose deleted bit (the lowest) is clear; returns how
// many. Deletions are rare, so eight flag bytes are tested at once.
int32_t ListUndeleted(const uint8_t* flags, int32_t records, int32_t* out) {
    constexpr uint64_t kDeletedBits = 0x0101010101010101;
    int32_t made = 0;
    int32_t r = 0;
    for (; r + 8 <= records; r += 8) {
        uint64_t word;
        std::memcpy(&word, flags + r, sizeof word);
        if ((word & kDeletedBits) == 0) {
            for (int32_t k = 0; k < 8; ++k) {
                out[made + k] = r + k + 1;
            }
            made += 8;
            continue;
        }
        for (int32_t k = r; k < r + 8; ++k) {
            out[made] = k + 1;
            made += flags[k] & 1 ? 0 : 1;
        }
    }
    for (; r < records; ++r) {
        out[made] = r + 1;
        made += flags[r] & 1 ? 0 : 1;
    }
    return made;
}

// Compares by the filter operator; an unknown operator is never satisfied.
template <typename T>
bool Satisfies(const T& v, const T& o, uint8_t u) {
    switch (u) {
        case 0:
            return v == o;
        case 1:
            return !(v == o);
        case 2:
            return v < o;
        case 3:
            return o < v;
        case 4:
            return !(o < v);
        case 5:
            return !(v < o);
        default:
            return false;
    }
}

enum class FilterVerdict { None, Match, Mismatch };

FilterVerdict TextFilter(const FieldGFB& f, int32_t rec) {
    const QString t = f.FixedTextOf(rec).toLower();
    const QString& o = f.FFilterO;
    if ((f.FFilterZ == 1 || f.FFilterZ == 2) && t.size() < o.size()) {
        return FilterVerdict::Mismatch;
    }
    bool ok;
    if (f.FFilterU <= 1) {
        bool matches;
        switch (f.FFilterZ) {
            case 0:
                matches = t.contains(o);
                break;
            case 1:
                matches = t.endsWith(o);
                break;
            case 2:
                matches = t.startsWith(o);
                break;
            default:
                matches = t == o;
                break;
        }
        ok = f.FFilterU == 0 ? matches : !matches;
    } else {
        ok = Satisfies(QStringView(t).compare(o), 0, f.FFilterU);
    }
    return ok ? FilterVerdict::Match : FilterVerdict::Mismatch;
}

FilterVerdict ColumnFilter(const FieldGFB& f, int32_t rec) {
    switch (f.TypeField) {
        case FieldCode::Integer:
            return Satisfies(At(f.Data.DataInteger, rec - 1), f.FFilterI, f.FFilterU)
                       ? FilterVerdict::Match
                       : FilterVerdict::Mismatch;
        case FieldCode::Byte:
            return Satisfies(At(f.Data.DataByte, rec - 1), f.FFilterB, f.FFilterU) ? FilterVerdict::Match
                                                                                   : FilterVerdict::Mismatch;
        case FieldCode::FixedText:
            return TextFilter(f, rec);
        default:
            return FilterVerdict::None;
    }
}

bool PassesFilters(const std::vector<const FieldGFB*>& filters, uint8_t oper, int32_t rec) {
    int matches = 0;
    int mismatches = 0;
    for (const FieldGFB* f : filters) {
        switch (ColumnFilter(*f, rec)) {
            case FilterVerdict::Match:
                ++matches;
                break;
            case FilterVerdict::Mismatch:
                ++mismatches;
                break;
            case FilterVerdict::None:
                break;
        }
    }
    if (matches + mismatches == 0) {
        return true;
    }
    if (oper == 0) {
        return mismatches == 0 && matches > 0;
    }
    if (oper == 1) {
        return matches > 0;
    }
    return true;
}

// The master's current value of its link column, read under the master's own lock only.
std::optional<int32_t> MasterValue(TBaseClient* master, const QString& field) {
    if (master == nullptr) {
        return std::nullopt;
    }
    auto guard = master->Guard();
    FieldGFB* column = master->GetFieldCurrent(field);
    if (column == nullptr) {
        return std::nullopt;
    }
    try {
        return column->AsInteger();
    } catch (const TableConversionError&) {
        return 0;
    }
}

}  // namespace

void TBaseClient::RefreshData() {
    TBaseClient* master;
    QString masterField;
    {
        auto guard = Guard();
        master = FMasterTable;
        masterField = FMasterField;
    }
    const std::optional<int32_t> masterValue = MasterValue(master, masterField);

    TNotifyEvent onRefresh;
    {
        auto guard = Guard();
        if (Fields.size() < 2 || Fields[1]->Data.DataByte.empty()) {
            return;
        }
        const ColumnArray<uint8_t>& flags = Fields[1]->Data.DataByte;
        const int32_t records = int32_t(std::min<int64_t>(std::max(CountRecord, 0), int64_t(flags.size())));

        FieldGFB* sortColumn = FindColumn(FSort, false);
        if (sortColumn == nullptr) {
            FSorted = false;
        }
        FieldGFB* slave = FindColumn(FSlaveField, false);
        const bool linked = master != nullptr && masterValue.has_value() && slave != nullptr;
        if (linked && CountRecordFilter > 0) {
            RecNoTemp = RecNo;
        }
        std::vector<const FieldGFB*> filters;
        if (FFiltered) {
            for (const auto& f : Fields) {
                if (f->FilterYes) {
                    filters.push_back(f.get());
                }
            }
        }

        SortData.resize(size_t(records));
        int32_t made = 0;
        if (filters.empty() && !linked) {
            made = ListUndeleted(flags.data(), records, SortData.data());
        } else {
            for (int32_t r = 1; r <= records; ++r) {
                if (Deleted(flags[size_t(r - 1)]) || !PassesFilters(filters, FFilterOper, r)) {
                    continue;
                }
                if (linked && At(slave->Data.DataInteger, r - 1) != *masterValue) {
                    continue;
                }
                SortData[size_t(made++)] = r;
            }
        }
        SortData.resize(size_t(made));
        if (FSorted && made > 1) {
            if (!FSortCache) {
                FSortCache = std::make_shared<ViewSortCache>();
            }
            SortView(*FSortCache, *sortColumn, SortData, RecNoTemp);
        }
        CountRecordFilter = made;
        if (made == 0) {
            RecNoTemp = -1;
        }
        onRefresh = OnRefresh;
    }
    if (onRefresh) {
        onRefresh(this);
    }
}

void TBaseClient::First() {
    auto guard = Guard();
    if (CountRecordFilter > 0 && !SortData.empty()) {
        RecNoI = 1;
        RecNo = SortData.front();
        RecNoTemp = RecNo;
    }
}

void TBaseClient::Next() {
    auto guard = Guard();
    if (RecNoI <= CountRecordFilter) {
        ++RecNoI;
    }
    if (RecNoI >= 1 && RecNoI <= CountRecordFilter) {
        RecNo = At(SortData, RecNoI - 1);
    }
}

void TBaseClient::Prior() {
    auto guard = Guard();
    if (RecNoI > 1) {
        --RecNoI;
    }
    if (RecNoI >= 1 && RecNoI <= CountRecordFilter) {
        RecNo = At(SortData, RecNoI - 1);
    }
}

void TBaseClient::Last() {
    auto guard = Guard();
    if (CountRecordFilter > 0) {
        RecNoI = CountRecordFilter;
        RecNo = At(SortData, RecNoI - 1);
    }
}

bool TBaseClient::eof() {
    auto guard = Guard();
    return CountRecordFilter < 1 || RecNoI > CountRecordFilter;
}

int32_t TBaseClient::RecordIndex() {
    auto guard = Guard();
    if (RecNoI == 0) {
        RecNoI = 1;
    }
    return RecNoI;
}

// A position beyond the view selects the last record rather than reading past the list.
void TBaseClient::SetRecordIndex(int32_t Value) {
    auto guard = Guard();
    if (RecordNE || CountRecordFilter < 1) {
        return;
    }
    RecNoI = std::clamp(Value, 1, CountRecordFilter);
    RecNo = At(SortData, RecNoI - 1);
    RecNoTemp = RecNo;
}

int32_t TBaseClient::Count() {
    auto guard = Guard();
    return CountRecordFilter;
}

void TBaseClient::SetCount(int32_t Value) {
    auto guard = Guard();
    CountRecord = std::clamp(Value, 0, kMaxRecordCount);
    CountRecordFilter = CountRecord;
}

void TBaseClient::SetFlagRefresh(bool Value) {
    if (RefreshYes) {
        FFlagRefresh = Value;
    }
}

bool TBaseClient::Sorted() {
    auto guard = Guard();
    return FSorted;
}

void TBaseClient::SetSorted(bool Value) {
    {
        auto guard = Guard();
        FSorted = Value;
    }
    RefreshData();
}

QString TBaseClient::Sort() {
    auto guard = Guard();
    return FSort;
}

void TBaseClient::SetSort(const QString& Value) {
    auto guard = Guard();
    FSort = Value;
}

bool TBaseClient::Filtered() {
    auto guard = Guard();
    return FFiltered;
}

void TBaseClient::SetFiltered(bool Value) {
    {
        auto guard = Guard();
        FFiltered = Value;
    }
    RefreshData();
}

uint8_t TBaseClient::FilterOper() {
    auto guard = Guard();
    return FFilterOper;
}

void TBaseClient::SetFilterOper(uint8_t Value) {
    auto guard = Guard();
    FFilterOper = Value;
}

TBaseClient* TBaseClient::MasterTable() {
    auto guard = Guard();
    return FMasterTable;
}

void TBaseClient::SetMasterTable(TBaseClient* Value) {
    {
        auto guard = Guard();
        FMasterTable = Value;
    }
    RefreshData();
}

QString TBaseClient::MasterField() {
    auto guard = Guard();
    return FMasterField;
}

void TBaseClient::SetMasterField(const QString& Value) {
    {
        auto guard = Guard();
        FMasterField = Value;
    }
    RefreshData();
}

QString TBaseClient::SlaveField() {
    auto guard = Guard();
    return FSlaveField;
}

void TBaseClient::SetSlaveField(const QString& Value) {
    {
        auto guard = Guard();
        FSlaveField = Value;
    }
    RefreshData();
}

void TBaseClient::SetFilter(const QString& name, const QString& filter, uint8_t u) {
    auto guard = Guard();
    FieldGFB* column = FindColumn(name, false);
    if (column == nullptr) {
        return;
    }
    switch (column->TypeField) {
        case FieldCode::Integer:
            column->FFilterU = u;
            column->FFilterI = filter.toInt();
            column->FilterYes = true;
            break;
        case FieldCode::FixedText:
            column->FFilter = filter;
            column->FilterYes = !filter.isEmpty();
            column->FFilterU = u;
            if (!filter.isEmpty()) {
                const bool leading = filter.startsWith(u'*');
                const bool further = filter.indexOf(u'*', leading ? 1 : 0) >= 0;
                column->FFilterZ = leading ? (further ? 0 : 1) : (further ? 2 : 3);
                column->FFilterO = filter.toLower().remove(u'*');
            }
            break;
        case FieldCode::Byte:
            column->FFilterU = u;
            column->FFilterB = uint8_t(filter.toInt());
            column->FilterYes = true;
            break;
        case FieldCode::Boolean:
            column->FFilterU = u;
            column->FFilterBo = filter == QStringLiteral("T");
            column->FilterYes = true;
            break;
        default:
            break;
    }
}

void TBaseClient::ClearAllFilter() {
    {
        auto guard = Guard();
        for (const auto& f : Fields) {
            f->FFilter.clear();
            f->FFilterI = 0;
            f->FFilterB = 0;
            f->FFilterBo = false;
            f->FilterYes = false;
        }
    }
    SetFiltered(false);
}

void TBaseClient::FindByField(const QString& name, const QString& FindS, uint8_t u) {
    auto guard = Guard();
    const QString f = FindS.toLower();
    for (const auto& column : Fields) {
        if (column->name != name || column->TypeField != FieldCode::FixedText) {
            continue;
        }
        const int32_t visible = std::min(CountRecordFilter, int32_t(SortData.size()));
        for (int32_t pos = 1; pos <= visible; ++pos) {
            const QString t = column->FixedTextOf(SortData[size_t(pos - 1)]).toLower();
            bool hit;
            switch (u) {
                case 0:
                case 1:
                    hit = t.contains(f);
                    break;
                default:
                    hit = Satisfies(QStringView(t).compare(f), 0, u);
                    break;
            }
            if (hit) {
                SetRecordIndex(pos);
                break;
            }
        }
    }
}
