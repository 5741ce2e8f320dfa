// The record view: which stored records are visible, in which order, and which one is current.
//
// A rebuild runs after every record update, so on a large table it must stay one pass over the flag
// column when nothing is filtered or sorted. A sorted view keeps, between rebuilds, the collation key
// of every record's sort text and the order it produced: computing a key costs as much as sorting by
// it, so only keys whose value changed are recomputed, and when few changed, those records are
// merged into the previous order instead of sorting everything again.
#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <algorithm>
#include <cstring>
#include <optional>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "tables/base_client.h"
#include "tables/regional.h"
#include "tables/table_error.h"

struct ViewSortCache {
    QString localeName;
    std::optional<QCollator> collator;
    // What the keys were made for; a change of any of these makes every key stale.
    const FieldGFB* column = nullptr;
    QString columnName;
    uint8_t code = 0;
    int32_t size = 0;
    int32_t width = -1;
    // Per storage record: whether the key is current, the value it was made from (the record's
    // value bytes when the code has a fixed layout, else its text), and the key.
    std::vector<uint8_t> valid;
    std::vector<uint8_t> raw;
    std::vector<QString> text;
    std::vector<QCollatorSortKey> keys;
    // The order the keys gave at the last sort, and the records it lists in storage order; the order
    // is empty when it must be made from scratch.
    std::vector<int32_t> order;
    std::vector<int32_t> listed;
    // Working space of a patch, kept so that a record update allocates nothing (marks stay zero
    // between patches).
    std::vector<uint8_t> marks;
    std::vector<int32_t> kept;
    std::vector<int32_t> added;

    void Reset(const FieldGFB& sortColumn, int32_t padWidth) {
        column = &sortColumn;
        columnName = sortColumn.name;
        code = sortColumn.TypeField;
        size = sortColumn.Size;
        width = padWidth;
        std::fill(valid.begin(), valid.end(), 0);
        order.clear();
        listed.clear();
    }

    bool Matches(const FieldGFB& sortColumn, int32_t padWidth) const {
        return column == &sortColumn && columnName == sortColumn.name && code == sortColumn.TypeField &&
               size == sortColumn.Size && width == padWidth;
    }

    void Grow(size_t records, size_t stride) {
        if (valid.size() < records) {
            valid.resize(records, 0);
            text.resize(records);
            keys.resize(records, collator->sortKey(QString()));
        }
        raw.resize(valid.size() * stride);
    }
};

namespace {

constexpr int32_t kPadLow = 1048575;
constexpr int32_t kPadHigh = -1048575;

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

int32_t DecimalWidth(int32_t value) {
    return int32_t(QString::number(value).size());
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

// Where a fixed-layout code keeps its record values: the key text is a function of these bytes
// alone (and of the locale, which resets the cache). Dictionary and variable texts have none.
struct RecordBytes {
    const uint8_t* base = nullptr;
    size_t stride = 0;
    size_t count = 0;
};

template <typename T>
RecordBytes BytesOf(const std::vector<T>& values) {
    return {reinterpret_cast<const uint8_t*>(values.data()), sizeof(T), values.size()};
}

RecordBytes ValueBytes(const FieldGFB& f) {
    const Stru_Data& d = f.Data;
    switch (f.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            return BytesOf(d.DataInteger);
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            return f.Size < 1
                       ? RecordBytes{}
                       : RecordBytes{d.DataByte.data(), size_t(f.Size), d.DataByte.size() / size_t(f.Size)};
        case FieldCode::Byte:
            return BytesOf(d.DataByte);
        case FieldCode::Boolean:
            return BytesOf(d.DataBoolean);
        case FieldCode::Word:
            return BytesOf(d.DataWord);
        case FieldCode::Float:
            return BytesOf(d.DataFloat);
        case FieldCode::Double:
            return BytesOf(d.DataDouble);
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            return BytesOf(d.DataCardinal);
        case FieldCode::DateTime:
            return BytesOf(d.DataDateTime);
        case FieldCode::Int64:
            return BytesOf(d.DataInt64);
        default:
            return {};
    }
}

// The records whose key was made anew, in storage order, with the keys they had before (when all had
// one).
struct KeyChanges {
    std::vector<int32_t> records;
    std::vector<QCollatorSortKey> before;
    bool allHadKeys = true;
};

// Recomputes the keys of the listed records whose value changed since their key was made. RecNoTemp
// is moved to read each text and put back afterwards.
KeyChanges RefreshKeys(ViewSortCache& cache, FieldGFB& column, const std::vector<int32_t>& records,
                       bool padded, int32_t& RecNoTemp) {
    const RecordBytes bytes = ValueBytes(column);
    const int32_t selected = RecNoTemp;
    KeyChanges changes;
    for (int32_t r : records) {
        const size_t i = size_t(r - 1);
        QString text;
        const bool hadKey = cache.valid[i] != 0;
        if (bytes.stride > 0) {
            // A record beyond the stored values has no bytes to compare: its key is always made anew.
            const bool held = i < bytes.count;
            uint8_t* cached = cache.raw.data() + i * bytes.stride;
            const uint8_t* current = held ? bytes.base + i * bytes.stride : nullptr;
            if (held && cache.valid[i] && std::memcmp(cached, current, bytes.stride) == 0) {
                continue;
            }
            if (held) {
                std::memcpy(cached, current, bytes.stride);
            }
            cache.valid[i] = held ? 1 : 0;
            RecNoTemp = r;
            if (column.TypeField == FieldCode::Integer) {
                text = QString::number(At(column.Data.DataInteger, int64_t(i)));
            } else if (column.TypeField == FieldCode::FixedText) {
                text = column.FixedTextOf(r);
            } else {
                text = column.AsString();
            }
        } else {
            RecNoTemp = r;
            text = column.AsString();
            if (cache.valid[i] && cache.text[i] == text) {
                continue;
            }
            cache.text[i] = text;
            cache.valid[i] = 1;
        }
        if (hadKey) {
            changes.before.push_back(cache.keys[i]);
        } else {
            changes.allHadKeys = false;
        }
        cache.keys[i] = cache.collator->sortKey(padded ? text.rightJustified(cache.width, u'0') : text);
        changes.records.push_back(r);
    }
    RecNoTemp = selected;
    return changes;
}

// Merges the sorted `added` into the sorted `kept`: a binary search per added record.
template <typename Less>
void InsertSorted(const std::vector<int32_t>& kept, const std::vector<int32_t>& added, Less less,
                  std::vector<int32_t>& out) {
    out.clear();
    auto from = kept.cbegin();
    for (int32_t r : added) {
        const auto at = std::upper_bound(from, kept.cend(), r, less);
        out.insert(out.end(), from, at);
        out.push_back(r);
        from = at;
    }
    out.insert(out.end(), from, kept.cend());
}

// The common record update: the same records are listed and a few changed their key. Each is found
// in the previous order by its key from before, taken out and put back by its new key. False (with
// SortData untouched) when a record is not where its old key says.
template <typename Less>
bool MoveChangedRecords(ViewSortCache& cache, const KeyChanges& changes, Less less,
                        std::vector<int32_t>& SortData) {
    const std::vector<QCollatorSortKey>& keys = cache.keys;
    const auto keyBefore = [&](int32_t r) -> const QCollatorSortKey& {
        const auto it = std::lower_bound(changes.records.begin(), changes.records.end(), r);
        return it != changes.records.end() && *it == r ? changes.before[size_t(it - changes.records.begin())]
                                                       : keys[size_t(r - 1)];
    };
    const auto lessBefore = [&](int32_t a, int32_t b) {
        const int c = keyBefore(a).compare(keyBefore(b));
        return c < 0 || (c == 0 && a < b);
    };
    std::vector<size_t> positions;
    for (int32_t r : changes.records) {
        const auto it = std::lower_bound(cache.order.begin(), cache.order.end(), r, lessBefore);
        if (it == cache.order.end() || *it != r) {
            return false;
        }
        positions.push_back(size_t(it - cache.order.begin()));
    }
    std::sort(positions.begin(), positions.end());
    std::vector<int32_t>& kept = cache.kept;
    kept.clear();
    size_t from = 0;
    for (size_t at : positions) {
        kept.insert(kept.end(), cache.order.begin() + ptrdiff_t(from), cache.order.begin() + ptrdiff_t(at));
        from = at + 1;
    }
    kept.insert(kept.end(), cache.order.begin() + ptrdiff_t(from), cache.order.end());
    std::vector<int32_t>& added = cache.added;
    added = changes.records;
    std::sort(added.begin(), added.end(), less);
    InsertSorted(kept, added, less, SortData);
    return true;
}

// Puts the changed and newly listed records into the previous order, which still holds for every
// other record: a binary search per such record instead of a sort of them all.
template <typename Less>
void MergeIntoPrevious(ViewSortCache& cache, std::vector<int32_t>& SortData,
                       const std::vector<int32_t>& changed, Less less) {
    enum : uint8_t { kListed = 1, kChanged = 2, kWasListed = 4 };
    std::vector<uint8_t>& marks = cache.marks;
    marks.resize(cache.valid.size() + 1, 0);
    for (int32_t r : SortData) {
        marks[size_t(r)] |= kListed;
    }
    for (int32_t r : changed) {
        marks[size_t(r)] |= kChanged;
    }
    std::vector<int32_t>& kept = cache.kept;
    kept.clear();
    for (int32_t r : cache.order) {
        if (size_t(r) < marks.size()) {
            marks[size_t(r)] |= kWasListed;
            if (marks[size_t(r)] == (kListed | kWasListed)) {
                kept.push_back(r);
            }
        }
    }
    std::vector<int32_t>& added = cache.added;
    added.clear();
    for (int32_t r : SortData) {
        if (marks[size_t(r)] != (kListed | kWasListed)) {
            added.push_back(r);
        }
        marks[size_t(r)] = 0;
    }
    for (int32_t r : cache.order) {
        if (size_t(r) < marks.size()) {
            marks[size_t(r)] = 0;
        }
    }
    std::sort(added.begin(), added.end(), less);
    InsertSorted(kept, added, less, SortData);
}

// Orders SortData by the sort column's text, padded to a common width unless the column holds text
// or dictionary values, with the locale's case-insensitive collation; equal keys keep storage order.
void SortView(ViewSortCache& cache, FieldGFB& column, std::vector<int32_t>& SortData, int32_t& RecNoTemp) {
    const QString localeName = QLocale().bcp47Name();
    if (!cache.collator || cache.localeName != localeName) {
        cache.collator.emplace(QLocale());
        cache.collator->setCaseSensitivity(Qt::CaseInsensitive);
        cache.localeName = localeName;
        cache.column = nullptr;
    }

    const uint8_t code = column.TypeField;
    const bool padded = code != FieldCode::FixedText && code != FieldCode::Dict16;
    int32_t least = kPadLow;
    int32_t greatest = kPadHigh;
    if (code == FieldCode::Integer) {
        for (int32_t r : SortData) {
            const int32_t v = At(column.Data.DataInteger, r - 1);
            least = std::min(least, v);
            greatest = std::max(greatest, v);
        }
    }
    const int32_t width = padded ? std::max(DecimalWidth(least), DecimalWidth(greatest)) : 0;
    if (!cache.Matches(column, width)) {
        cache.Reset(column, width);
    }
    // SortData still lists storage numbers in ascending order here.
    cache.Grow(size_t(SortData.back()), ValueBytes(column).stride);
    const KeyChanges changes = RefreshKeys(cache, column, SortData, padded, RecNoTemp);
    const bool sameRecords = cache.listed == SortData;
    cache.listed = SortData;

    const std::vector<QCollatorSortKey>& keys = cache.keys;
    const auto less = [&keys](int32_t a, int32_t b) {
        const int c = keys[size_t(a - 1)].compare(keys[size_t(b - 1)]);
        return c < 0 || (c == 0 && a < b);
    };
    if (cache.order.empty() || changes.records.size() * 2 > SortData.size()) {
        std::sort(SortData.begin(), SortData.end(), less);
    } else if (!sameRecords || !changes.allHadKeys || !MoveChangedRecords(cache, changes, less, SortData)) {
        MergeIntoPrevious(cache, SortData, changes.records, less);
    }
    cache.order = SortData;
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
        const std::vector<uint8_t>& flags = Fields[1]->Data.DataByte;
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
    const std::vector<int32_t>& ids = Fields[0]->Data.DataInteger;
    const std::vector<uint8_t>& flags = Fields[1]->Data.DataByte;
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

int32_t TBaseClient::FindData(const QString& Field, const QString& Data) {
    auto guard = Guard();
    if (Fields.size() < 2) {
        return -1;
    }
    const std::vector<uint8_t>& flags = Fields[1]->Data.DataByte;
    const int32_t visible = std::min(CountRecordFilter, int32_t(SortData.size()));
    for (const auto& column : Fields) {
        if (column->name != Field) {
            continue;
        }
        for (int32_t pos = 0; pos < visible; ++pos) {
            const int32_t r = SortData[size_t(pos)];
            if (Deleted(At(flags, r - 1))) {
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
    const std::vector<int32_t>& ids = Fields[0]->Data.DataInteger;
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
    const std::vector<int32_t>& ids = Fields[0]->Data.DataInteger;
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
