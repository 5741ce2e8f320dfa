#include "tables/view_sort.h"

#include <QLocale>
#include <algorithm>
#include <cstring>

#include "infra/byte_codec.h"

namespace {

constexpr int32_t kPadLow = 1048575;
constexpr int32_t kPadHigh = -1048575;

int32_t DecimalWidth(int32_t value) {
    return int32_t(QString::number(value).size());
}

// Where a fixed-layout code keeps its record values: the key text is a function of these bytes
// alone (and of the locale, which resets the cache). Dictionary and variable texts have none.
struct RecordBytes {
    const uint8_t* base = nullptr;
    size_t stride = 0;
    size_t count = 0;
};

template <typename T>
RecordBytes BytesOf(const ColumnArray<T>& values) {
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

}  // namespace

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
