// AddFieldData: one column's values from a byte buffer laid out column by column (record values,
// then the dictionary with fixed-size text slots, or the offsets and the blob of a code-24 column).
#include <algorithm>
#include <cstring>

#include "infra/byte_codec.h"
#include "tables/base_client.h"

namespace {

// Usage counters: how many records hold each key.
template <typename K>
void CountKeys(ColumnArray<int32_t>& counters, size_t keys, const ColumnArray<K>& records) {
    counters.assign(keys, 0);
    for (const K key : records) {
        ++counters[size_t(key)];
    }
}

// N entries of a key of KeyT and a text slot of `slot` bytes.
template <typename KeyT, typename StoreT>
bool ReadSlotDictionary(ByteReader& in, int32_t slot, ColumnArray<StoreT>& keys,
                        std::vector<QString>& texts) {
    int32_t count = 0;
    if (!in.Read(count) || count < 0 || slot < 0 ||
        int64_t(count) * (qsizetype(sizeof(KeyT)) + slot) > in.Remaining()) {
        return false;
    }
    keys.assign(size_t(count), StoreT{});
    texts.assign(size_t(count), QString());
    for (int32_t i = 0; i < count; ++i) {
        KeyT key{};
        QByteArrayView text;
        in.Read(key);
        in.Take(slot, text);
        keys[size_t(i)] = StoreT(key);
        texts[size_t(i)] = SlotText(text);
    }
    return true;
}

}  // namespace

bool TBaseClient::AddFieldData(const Stru_NetFields& Fi, const QByteArray& p, int32_t nf1, int64_t& xx2) {
    const auto guard = Guard();
    const int32_t records = CountRecordFilter;
    if (nf1 < 0 || nf1 >= int32_t(Fields.size()) || records < 0 || records > kMaxRecordCount || xx2 < 0 ||
        xx2 > p.size()) {
        return false;
    }
    FieldGFB& f = *Fields[size_t(nf1)];
    const auto r = size_t(records);
    f.Data.DataSelected.assign(r, false);
    if (records == 0) {
        CountRecord = CountRecordFilter = 0;
        return true;
    }
    ByteReader in(QByteArrayView(p).sliced(qsizetype(xx2)));
    bool ok = true;
    switch (Fi.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            ok = in.ReadArray(f.Data.DataInteger, r);
            break;
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            ok = Fi.Size >= 1 && int64_t(Fi.Size) * records <= kMaxColumnBytes &&
                 in.ReadArray(f.Data.DataByte, r * size_t(Fi.Size));
            break;
        case FieldCode::Byte:
            ok = in.ReadArray(f.Data.DataByte, r);
            break;
        case FieldCode::Boolean:
            ok = in.ReadArray(f.Data.DataBoolean, r);
            break;
        case FieldCode::Word:
            ok = in.ReadArray(f.Data.DataWord, r);
            break;
        case FieldCode::Float:
            ok = in.ReadArray(f.Data.DataFloat, r);
            break;
        case FieldCode::Double:
            ok = in.ReadArray(f.Data.DataDouble, r);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            ok = in.ReadArray(f.Data.DataCardinal, r);
            break;
        case FieldCode::DateTime:
            ok = in.ReadArray(f.Data.DataDateTime, r);
            break;
        case FieldCode::Int64:
            ok = in.ReadArray(f.Data.DataInt64, r);
            break;
        case FieldCode::Dict16:
            ok = in.ReadArray(f.Data.DataWord, r);
            if (ok) {
                CountKeys(f.Data.DataInteger, 65536, f.Data.DataWord);
                ok = ReadSlotDictionary<uint32_t>(in, Fi.SprSize, f.Data.DataCardinal, f.Data.DataStringN);
            }
            break;
        case FieldCode::Dict8:
            ok = in.ReadArray(f.Data.DataByte, r);
            if (ok) {
                CountKeys(f.Data.DataInteger, 256, f.Data.DataByte);
                ok = ReadSlotDictionary<uint16_t>(in, Fi.SprSize, f.Data.DataWord, f.Data.DataStringN);
            }
            break;
        case FieldCode::VarText: {
            int32_t blob = 0;
            ok = in.ReadArray(f.Data.DataInteger, r) && in.Read(blob) && blob >= 0 &&
                 in.ReadArray(f.Data.DataByte, size_t(blob));
            if (ok && blob == 0) {
                f.Data.DataByte.assign(1, 0);
            }
            break;
        }
        default:
            break;
    }
    if (ok) {
        f.Load = true;
        xx2 += in.Pos();
    }
    return ok;
}
