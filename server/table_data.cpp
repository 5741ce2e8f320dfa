#include "table_data.h"

#include <algorithm>

#include "infra/byte_codec.h"
#include "tables/record_message.h"
#include "tables/table_file_layout.h"

namespace {

// Bytes one record's element of the column takes in a data block and a record update: the code's
// width, or the column's own size for fixed texts and raw bytes.
int elementWidth(const ColumnDef& d) {
    return d.code == FieldCode::FixedText || d.code == FieldCode::ByteArray ? std::max(d.size, 0)
                                                                            : FieldElementWidth(d.code);
}

// Appends one record's element (elementWidth bytes).
void appendElement(QByteArray& out, const ColumnDef& d, const ColumnValues& v, size_t i) {
    switch (d.code) {
        case FieldCode::Integer:
        case FieldCode::Color:
        case FieldCode::VarText:
            AppendLE(out, int32_t(v.ints[i]));
            break;
        case FieldCode::Byte:
        case FieldCode::Boolean:
        case FieldCode::Dict8:
            AppendLE(out, uint8_t(v.ints[i]));
            break;
        case FieldCode::Word:
        case FieldCode::Dict16:
            AppendLE(out, uint16_t(v.ints[i]));
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            AppendLE(out, uint32_t(v.ints[i]));
            break;
        case FieldCode::Int64:
            AppendLE(out, v.ints[i]);
            break;
        case FieldCode::Float:
            AppendLE(out, float(v.reals[i]));
            break;
        case FieldCode::Double:
        case FieldCode::DateTime:
            AppendLE(out, v.reals[i]);
            break;
        case FieldCode::FixedText:
            AppendTextSlot(out, v.bytes[i], d.size);
            break;
        case FieldCode::ByteArray: {
            // Raw bytes, zero-filled when the record has fewer (a record added without them).
            const QByteArray& raw = v.bytes[i];
            const qsizetype n = std::min<qsizetype>(raw.size(), std::max(d.size, 0));
            out.append(raw.first(n));
            out.append(std::max(d.size, 0) - n, '\0');
            break;
        }
        default:
            break;
    }
}

}  // namespace

TableData::TableData(const TableDef& def)
    : def_(&def),
      columns_(def.columns.size()),
      colCreated_(def.indexOf(QStringLiteral("dt_c"))),
      colChanged_(def.indexOf(QStringLiteral("dt_m"))),
      colUser_(def.indexOf(QStringLiteral("n_user"))),
      colVersion_(def.indexOf(QStringLiteral("ver"))),
      columnVersions_(def.columns.size(), 0) {
    for (size_t c = 0; c < def.columns.size(); ++c) {
        if (def.columns[c].code == FieldCode::VarText) {
            // Offset 0 holds the empty text that every record without text points at.
            columns_[c].blob = QByteArray(1, '\0');
        }
    }
}

int32_t TableData::appendRecord() {
    return appendRecordWithId(maxId_ + 1);
}

int32_t TableData::appendRecordWithId(int32_t nAbs) {
    for (size_t c = 0; c < columns_.size(); ++c) {
        const uint8_t code = def_->columns[c].code;
        ColumnValues& v = columns_[c];
        if (IsRealCode(code)) {
            v.reals.push_back(0);
        } else if (code == FieldCode::FixedText || code == FieldCode::ByteArray) {
            v.bytes.emplace_back();
        } else if (code == FieldCode::VarText) {
            v.bytes.emplace_back();
            v.ints.push_back(0);
        } else {
            v.ints.push_back(0);
        }
    }
    columns_[0].ints.back() = nAbs;
    maxId_ = std::max(maxId_, nAbs);
    ++version_;
    std::fill(columnVersions_.begin(), columnVersions_.end(), version_);
    return count_++;
}

int32_t TableData::rowOf(int32_t nAbs) const {
    const std::vector<int64_t>& ids = columns_[0].ints;
    const auto it = std::lower_bound(ids.begin(), ids.end(), int64_t(nAbs));
    if (it == ids.end() || *it != nAbs) {
        return -1;
    }
    return int32_t(it - ids.begin());
}

bool TableData::isDeleted(int32_t row) const {
    return (columns_[1].ints[size_t(row)] & 1) != 0;
}

void TableData::setInt(int32_t row, int col, int64_t value) {
    columns_[size_t(col)].ints[size_t(row)] = value;
    changed(col);
}

void TableData::setReal(int32_t row, int col, double value) {
    columns_[size_t(col)].reals[size_t(row)] = value;
    changed(col);
}

void TableData::setBytes(int32_t row, int col, const QByteArray& value) {
    const ColumnDef& d = def_->columns[size_t(col)];
    ColumnValues& v = columns_[size_t(col)];
    if (d.code == FieldCode::FixedText) {
        v.bytes[size_t(row)] = value.left(std::min(d.size - 1, 255));
    } else if (d.code == FieldCode::ByteArray) {
        QByteArray raw = value.left(d.size);
        raw.append(QByteArray(d.size - raw.size(), '\0'));
        v.bytes[size_t(row)] = raw;
    } else if (d.code == FieldCode::VarText) {
        appendText24(row, col, value.left(255));
    }
    changed(col);
}

void TableData::changed(int col) {
    columnVersions_[size_t(col)] = ++version_;
}

void TableData::appendText24(int32_t row, int col, const QByteArray& text) {
    ColumnValues& v = columns_[size_t(col)];
    if (v.bytes[size_t(row)] == text && (!text.isEmpty() || v.ints[size_t(row)] == 0)) {
        return;
    }
    v.bytes[size_t(row)] = text;
    if (text.isEmpty()) {
        v.ints[size_t(row)] = 0;
        return;
    }
    v.ints[size_t(row)] = v.blob.size();
    AppendShortText(v.blob, text);
}

uint32_t TableData::LargestDictionaryKey(uint8_t code) {
    return code == FieldCode::Dict8 ? 254 : 65534;
}

bool TableData::setDictionaryText(int32_t row, int col, const QByteArray& text, size_t maxEntries) {
    ColumnValues& v = columns_[size_t(col)];
    const ColumnDef& d = def_->columns[size_t(col)];
    const QByteArray t = text.left(std::max(d.sprSize - 1, 0));
    const uint32_t limit = LargestDictionaryKey(d.code);
    uint32_t key = 0;
    if (!t.isEmpty()) {
        uint32_t largest = 0;
        for (const DictionaryEntry& e : v.dict) {
            largest = std::max(largest, e.key);
            if (e.text == t) {
                key = e.key;
            }
        }
        if (key == 0) {
            key = largest < limit ? largest + 1 : freeDictionaryKey(col);
            if (key == 0 || v.dict.size() >= maxEntries) {
                return false;
            }
            v.dict.push_back({key, t});
        }
    }
    v.ints[size_t(row)] = key;
    changed(col);
    return true;
}

uint32_t TableData::freeDictionaryKey(int col) const {
    std::vector<uint32_t> keys;
    for (const DictionaryEntry& e : columns_[size_t(col)].dict) {
        keys.push_back(e.key);
    }
    std::sort(keys.begin(), keys.end());
    uint32_t candidate = 1;
    for (uint32_t k : keys) {
        if (k > candidate) {
            break;
        }
        candidate = std::max(candidate, k + 1);
    }
    return candidate <= LargestDictionaryKey(def_->columns[size_t(col)].code) ? candidate : 0;
}

bool TableData::putDictionaryEntry(int col, uint32_t key, const QByteArray& value, size_t maxEntries) {
    ColumnValues& v = columns_[size_t(col)];
    const ColumnDef& d = def_->columns[size_t(col)];
    if (key == 0 || key > LargestDictionaryKey(d.code)) {
        return false;
    }
    // Record updates carry the text in a slot of SprSize bytes: keep it as short everywhere.
    const QByteArray text = value.left(std::max(d.sprSize - 1, 0));
    for (DictionaryEntry& e : v.dict) {
        if (e.key == key) {
            e.text = text;
            changed(col);
            return true;
        }
    }
    if (v.dict.size() >= maxEntries) {
        return false;
    }
    v.dict.push_back({key, text});
    changed(col);
    return true;
}

QByteArray TableData::dictionaryTextAt(int32_t row, int col) const {
    const ColumnValues& v = columns_[size_t(col)];
    const int64_t key = v.ints[size_t(row)];
    for (const DictionaryEntry& e : v.dict) {
        if (e.key == key) {
            return key == 0 ? QByteArray() : e.text;
        }
    }
    return {};
}

TableData::Savepoint TableData::savepoint(int32_t row) const {
    Savepoint p = savepointBeforeAppend();
    p.row = row;
    for (size_t c = 0; c < columns_.size(); ++c) {
        const ColumnValues& from = columns_[c];
        ColumnValues& to = p.values[c];
        if (!from.ints.empty()) {
            to.ints.push_back(from.ints[size_t(row)]);
        }
        if (!from.reals.empty()) {
            to.reals.push_back(from.reals[size_t(row)]);
        }
        if (!from.bytes.empty()) {
            to.bytes.push_back(from.bytes[size_t(row)]);
        }
    }
    return p;
}

TableData::Savepoint TableData::savepointBeforeAppend() const {
    Savepoint p;
    p.count = count_;
    p.maxId = maxId_;
    p.values.resize(columns_.size());
    for (size_t c = 0; c < columns_.size(); ++c) {
        p.values[c].dict = columns_[c].dict;
    }
    return p;
}

void TableData::rollBack(const Savepoint& point) {
    for (size_t c = 0; c < columns_.size(); ++c) {
        ColumnValues& v = columns_[c];
        const ColumnValues& was = point.values[c];
        if (point.row < 0) {
            v.ints.resize(std::min(v.ints.size(), size_t(point.count)));
            v.reals.resize(std::min(v.reals.size(), size_t(point.count)));
            v.bytes.resize(std::min(v.bytes.size(), size_t(point.count)));
        } else {
            const auto r = size_t(point.row);
            if (!was.ints.empty()) {
                v.ints[r] = was.ints[0];
            }
            if (!was.reals.empty()) {
                v.reals[r] = was.reals[0];
            }
            if (!was.bytes.empty()) {
                v.bytes[r] = was.bytes[0];
            }
        }
        v.dict = was.dict;
        changed(int(c));
    }
    count_ = point.count;
    maxId_ = point.maxId;
}

TableFileBlock TableData::fileBlock(int col) const {
    const ColumnDef& d = def_->columns[size_t(col)];
    const ColumnValues& v = columns_[size_t(col)];
    QByteArray entries;
    for (const DictionaryEntry& e : v.dict) {
        AppendDictionaryEntry(entries, d.code, e.key, e.text);
    }
    QByteArray values;
    values.reserve(qsizetype(elementWidth(d)) * count_);
    for (int32_t r = 0; r < count_; ++r) {
        appendElement(values, d, v, size_t(r));
    }
    return MakeTableFileBlock(d.code, count_, int32_t(v.dict.size()), entries, values, v.blob);
}

QByteArray TableData::updateValue(int32_t row, int col) const {
    const ColumnDef& d = def_->columns[size_t(col)];
    const ColumnValues& v = columns_[size_t(col)];
    const size_t i = size_t(row);
    QByteArray out;
    switch (d.code) {
        case FieldCode::Dict16:
        case FieldCode::Dict8:
            AppendDictionaryValue(out, d.code, uint32_t(v.ints[i]), dictionaryTextAt(row, col), d.sprSize);
            return out;
        case FieldCode::VarText: {
            const int32_t offset = int32_t(v.ints[i]);
            const QByteArrayView text = QByteArrayView(v.blob).sliced(offset + 1, uint8_t(v.blob.at(offset)));
            AppendVarTextValue(out, int32_t(v.blob.size()), offset, text);
            return out;
        }
        default:
            appendElement(out, d, v, i);
            return out;
    }
}

double TableData::ToDays(const QDateTime& t) {
    return double(QDate(1899, 12, 30).daysTo(t.date())) + t.time().msecsSinceStartOfDay() / 86400000.0;
}

uint32_t TableData::ToSeconds2000(const QDateTime& t) {
    const qint64 s = QDateTime(QDate(2000, 1, 1), QTime(0, 0)).secsTo(t);
    return s < 0 ? 0 : uint32_t(std::min<qint64>(s, UINT32_MAX));
}

void TableData::stamp(int32_t row, int32_t user, const QDateTime& now) {
    stamp(row, user, ToDays(now), ToSeconds2000(now));
}

void TableData::stamp(int32_t row, int32_t user, double days, uint32_t seconds2000) {
    if (colCreated_ >= 0 && intAt(row, colCreated_) == 0) {
        setInt(row, colCreated_, seconds2000);
    }
    if (colChanged_ >= 0) {
        setReal(row, colChanged_, days);
    }
    if (colUser_ >= 0) {
        setInt(row, colUser_, user);
    }
    if (colVersion_ >= 0) {
        setInt(row, colVersion_, uint16_t(intAt(row, colVersion_) + 1));
    }
}
