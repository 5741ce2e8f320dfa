// The network data path: record updates and dictionary changes distributed by the server, and the
// helpers that hand binary records to a host.
//
// Updates come from the network, so every length is checked against the bytes present before it is
// read, and a count or size beyond the tables' caps is refused like any other malformed message.
// An entry is applied only once all of its bytes are known to be there; a short or inconsistent
// entry ends the update, leaving what the complete entries before it changed.
#include <algorithm>
#include <cstring>

#include "infra/byte_codec.h"
#include "tables/base_client.h"
#include "tables/record_message.h"

namespace {

// Keys are at most 16 bits wide; more entries than keys can only come from a faulty peer.
constexpr size_t kMaxSprEntries = 65536;

template <typename T>
void StoreAt(ColumnArray<T>& values, int32_t pos, const uint8_t* bytes) {
    if (pos >= 0 && size_t(pos) < values.size()) {
        std::memcpy(&values[size_t(pos)], bytes, sizeof(T));
    }
}

// Stores a fixed-width value whose bytes have the code's element width.
void StoreFixed(FieldGFB& f, int32_t pos, const uint8_t* bytes) {
    Stru_Data& d = f.Data;
    switch (f.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            StoreAt(d.DataInteger, pos, bytes);
            break;
        case FieldCode::Byte:
            StoreAt(d.DataByte, pos, bytes);
            break;
        case FieldCode::Boolean: {
            const uint8_t b = bytes[0] != 0 ? 1 : 0;
            StoreAt(d.DataBoolean, pos, &b);
            break;
        }
        case FieldCode::Word:
            StoreAt(d.DataWord, pos, bytes);
            break;
        case FieldCode::Float:
            StoreAt(d.DataFloat, pos, bytes);
            break;
        case FieldCode::Double:
            StoreAt(d.DataDouble, pos, bytes);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            StoreAt(d.DataCardinal, pos, bytes);
            break;
        case FieldCode::DateTime:
            StoreAt(d.DataDateTime, pos, bytes);
            break;
        case FieldCode::Int64:
            StoreAt(d.DataInt64, pos, bytes);
            break;
        default:
            break;
    }
}

// Dictionary keys of a code-15 column are 32-bit, of a code-16 column 16-bit.
size_t SprCount(const FieldGFB& f) {
    return f.TypeField == FieldCode::Dict16 ? f.Data.DataCardinal.size() : f.Data.DataWord.size();
}

void AppendSprEntry(FieldGFB& f, uint32_t key, const QString& text) {
    const size_t n = SprCount(f);
    if (n >= kMaxSprEntries) {
        return;
    }
    f.Data.DataStringN.resize(n);
    if (f.TypeField == FieldCode::Dict16) {
        f.Data.DataCardinal.push_back(key);
    } else {
        f.Data.DataWord.push_back(uint16_t(key));
    }
    f.Data.DataStringN.push_back(text);
}

void SetSprText(FieldGFB& f, int32_t index, const QString& text) {
    if (index < 0 || size_t(index) >= SprCount(f)) {
        return;
    }
    if (f.Data.DataStringN.size() <= size_t(index)) {
        f.Data.DataStringN.resize(SprCount(f));
    }
    f.Data.DataStringN[size_t(index)] = text;
}

void RemoveSprEntry(FieldGFB& f, int32_t index) {
    if (index < 0 || size_t(index) >= SprCount(f)) {
        return;
    }
    if (f.TypeField == FieldCode::Dict16) {
        f.Data.DataCardinal.erase(f.Data.DataCardinal.begin() + index);
    } else {
        f.Data.DataWord.erase(f.Data.DataWord.begin() + index);
    }
    if (size_t(index) < f.Data.DataStringN.size()) {
        f.Data.DataStringN.erase(f.Data.DataStringN.begin() + index);
    }
}

// Usage counters exist only where a loader sized them; keys beyond them are not counted.
void RecountUsage(FieldGFB& f) {
    ColumnArray<int32_t>& counters = f.Data.DataInteger;
    if (counters.empty()) {
        return;
    }
    std::fill(counters.begin(), counters.end(), 0);
    auto count = [&counters](const auto& keys) {
        for (const auto key : keys) {
            if (size_t(key) < counters.size()) {
                ++counters[size_t(key)];
            }
        }
    };
    if (f.TypeField == FieldCode::Dict16) {
        count(f.Data.DataWord);
    } else {
        count(f.Data.DataByte);
    }
}

void ApplySprValue(FieldGFB& f, int32_t pos, uint32_t key, const QString& text) {
    if (f.TypeField == FieldCode::Dict16) {
        if (pos < int32_t(f.Data.DataWord.size())) {
            f.Data.DataWord[size_t(pos)] = uint16_t(key);
        }
    } else if (pos < int32_t(f.Data.DataByte.size())) {
        f.Data.DataByte[size_t(pos)] = uint8_t(key);
    }
    const int32_t index = f.SprIndexOfKey(key);
    if (index >= 0) {
        SetSprText(f, index, text);
    } else if (key != 0) {
        AppendSprEntry(f, key, text);
    }
    RecountUsage(f);
}

// text: the length byte and the characters, or empty.
void ApplyVarText(FieldGFB& f, int32_t pos, int32_t blobLength, int32_t offset, QByteArrayView text) {
    f.Data.DataByte.resize(size_t(blobLength));
    if (pos < int32_t(f.Data.DataInteger.size())) {
        f.Data.DataInteger[size_t(pos)] = offset;
    }
    if (!text.isEmpty() && offset >= 0 && int64_t(offset) + text.size() <= int64_t(f.Data.DataByte.size())) {
        std::memcpy(f.Data.DataByte.data() + offset, text.data(), size_t(text.size()));
    }
}

// Reads and (when the column holds data) applies one column's value; false when the entry is short
// or inconsistent, which ends the update.
bool ApplyEntry(FieldGFB& f, int32_t pos, ByteReader& in) {
    const uint8_t code = f.TypeField;
    const int32_t size = f.Size;
    RecordEntryValue value;
    if (!ReadEntryValue(in, code, size, f.SprSize, value)) {
        return false;
    }
    if (!f.Load) {
        return true;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(value.bytes.data());
    switch (code) {
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            if ((int64_t(pos) + 1) * size <= int64_t(f.Data.DataByte.size()) && size > 0) {
                std::memcpy(f.Data.DataByte.data() + int64_t(pos) * size, bytes, size_t(size));
            }
            break;
        case FieldCode::Dict16:
        case FieldCode::Dict8:
            if (size == FieldElementWidth(code)) {
                const uint32_t key = size == 2 ? GetLE<uint16_t>(value.bytes.data()) : bytes[0];
                ApplySprValue(f, pos, key, value.slotText);
            }
            break;
        case FieldCode::VarText:
            ApplyVarText(f, pos, value.blobLength, value.offset, value.text);
            break;
        default:
            if (FieldHasStorage(code) && size == FieldElementWidth(code)) {
                StoreFixed(f, pos, bytes);
            }
            break;
    }
    return true;
}

// Grows every column to `count` records; arrays never shrink, so a smaller count keeps the values
// stored beyond it. New records hold zeros, except that a new text of code 24 has no offset (-1):
// offset 0 would show the first text of the blob. False, with nothing changed, when a column would
// pass the size cap.
bool GrowColumns(const std::vector<std::unique_ptr<FieldGFB>>& fields, int32_t count) {
    for (const auto& f : fields) {
        const int64_t width = (f->TypeField == FieldCode::FixedText || f->TypeField == FieldCode::ByteArray)
                                  ? int64_t(std::max(f->Size, 0))
                                  : 8;
        if (width * count > kMaxColumnBytes) {
            return false;
        }
    }
    for (const auto& f : fields) {
        const int64_t held = std::max(f->RecordArrayLength(), int64_t(f->Data.DataSelected.size()));
        if (held < count || f->RecordArrayLength() != int64_t(f->Data.DataSelected.size())) {
            const size_t offsets = f->Data.DataInteger.size();
            f->ResizeRecords(int32_t(std::max<int64_t>(count, held)));
            if (f->TypeField == FieldCode::VarText && f->Data.DataInteger.size() > offsets) {
                std::fill(f->Data.DataInteger.begin() + ptrdiff_t(offsets), f->Data.DataInteger.end(), -1);
            }
        }
    }
    return true;
}

}  // namespace

// The count must cover Pos: an update naming a record beyond the count it announces is inconsistent
// and is refused as a whole.
void TBaseClient::PutDataFieldPos(int32_t Pos, const QByteArray& data) {
    auto guard = Guard();
    FieldRefresh.clear();
    ByteReader in(data);
    int32_t count = 0;
    if (!ReadUpdateHead(in, count) || count < 0 || count > kMaxRecordCount || Pos < 0 || Pos >= count) {
        return;
    }
    if (!GrowColumns(Fields, count)) {
        return;
    }
    CountRecord = count;
    while (in.Remaining() >= 2) {
        QString name;
        if (!ReadColumnName(in, name)) {
            return;
        }
        FieldGFB* column = FindColumn(name, false);
        if (column == nullptr) {
            continue;
        }
        if (FieldRefreshEvent.contains(name)) {
            FieldRefresh.append(name);
        }
        if (!ApplyEntry(*column, Pos, in)) {
            return;
        }
    }
}

void TBaseClient::NetData(const QByteArray& Data, int32_t Size) {
    auto guard = Guard();
    DictionaryChange change;
    if (!ReadDictionaryChange(QByteArrayView(Data).first(std::clamp<qsizetype>(Size, 0, Data.size())),
                              change)) {
        return;
    }
    FieldGFB* column = FindColumn(change.column, false);
    if (column == nullptr ||
        (column->TypeField != FieldCode::Dict16 && column->TypeField != FieldCode::Dict8)) {
        return;
    }
    const uint32_t key = column->TypeField == FieldCode::Dict16 ? change.key : uint8_t(change.key);
    if (change.action == SprAction::Delete) {
        RemoveSprEntry(*column, column->SprIndexOfKey(key));
    } else if (change.action == SprAction::Add && change.hasText) {
        AppendSprEntry(*column, key, change.text);
    } else if (change.action == SprAction::Change && change.hasText) {
        SetSprText(*column, column->SprIndexOfKey(key), change.text);
    }
}

void TBaseClient::SendToNet(uint32_t Command, const QByteArray& data) {
    TNetDataSend handler;
    {
        auto guard = Guard();
        handler = OnNetDataSend;
    }
    if (handler) {
        handler(this, Command, data, int32_t(data.size()));
    }
}

void TBaseClient::GetClientPort(stru_ia& list) {
    auto guard = Guard();
    list.clear();
    for (const QString& line : NetClient) {
        list.push_back(line.toInt());
    }
}
