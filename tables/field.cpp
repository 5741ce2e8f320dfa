#include "tables/field.h"

#include <algorithm>
#include <cmath>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "infra/codepage.h"
#include "tables/base_client.h"
#include "tables/regional.h"
#include "tables/table_error.h"

int32_t FieldElementWidth(uint8_t code) {
    switch (code) {
        case FieldCode::Byte:
        case FieldCode::Boolean:
        case FieldCode::Dict8:
            return 1;
        case FieldCode::Word:
        case FieldCode::Dict16:
            return 2;
        case FieldCode::Integer:
        case FieldCode::Float:
        case FieldCode::Cardinal:
        case FieldCode::Color:
        case FieldCode::VarText:
        case FieldCode::Stamp2000:
            return 4;
        case FieldCode::Double:
        case FieldCode::DateTime:
        case FieldCode::Int64:
            return 8;
        default:
            return 0;
    }
}

bool FieldHasStorage(uint8_t code) {
    return FieldElementWidth(code) > 0 || code == FieldCode::FixedText || code == FieldCode::ByteArray;
}

bool FieldIsDictionary(uint8_t code) {
    return code == FieldCode::Dict16 || code == FieldCode::Dict8;
}

FieldGFB::FieldGFB(TBaseClient* owner) : GFBase(owner) {}

// --- helpers for the table's units ---

QString FieldGFB::BlobText(int64_t at, int64_t limit) const {
    const int64_t size = int64_t(Data.DataByte.size());
    if (at < 0 || at >= size) {
        return {};
    }
    const int64_t len = std::min({int64_t(Data.DataByte[size_t(at)]), limit, size - at - 1});
    return fromAnsi(QByteArrayView(reinterpret_cast<const char*>(Data.DataByte.data()) + at + 1, len));
}

QString FieldGFB::FixedTextOf(int32_t rec) const {
    if (Size < 1 || rec < 1) {
        return {};
    }
    return BlobText(int64_t(rec - 1) * Size, Size - 1);
}

QString FieldGFB::VarTextOf(int32_t rec) const {
    const int64_t i = rec - 1;
    if (!Data.DataInteger.empty() && !Data.DataByte.empty()) {
        return i >= 0 && i < int64_t(Data.DataInteger.size()) ? BlobText(Data.DataInteger[size_t(i)], 255)
                                                              : QString();
    }
    return At(Data.DataStringN, i);
}

int32_t FieldGFB::SprIndexOfKey(uint32_t key) const {
    if (TypeField == FieldCode::Dict16) {
        const auto it = std::find(Data.DataCardinal.begin(), Data.DataCardinal.end(), key);
        return it == Data.DataCardinal.end() ? -1 : int32_t(it - Data.DataCardinal.begin());
    }
    if (TypeField == FieldCode::Dict8) {
        for (size_t i = 0; i < Data.DataWord.size(); ++i) {
            if (Data.DataWord[i] == key) {
                return int32_t(i);
            }
        }
    }
    return -1;
}

int64_t FieldGFB::RecordArrayLength() const {
    switch (TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
        case FieldCode::VarText:
            return int64_t(Data.DataInteger.size());
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            return Size > 0 ? int64_t(Data.DataByte.size()) / Size : 0;
        case FieldCode::Byte:
        case FieldCode::Dict8:
            return int64_t(Data.DataByte.size());
        case FieldCode::Boolean:
            return int64_t(Data.DataBoolean.size());
        case FieldCode::Word:
        case FieldCode::Dict16:
            return int64_t(Data.DataWord.size());
        case FieldCode::Float:
            return int64_t(Data.DataFloat.size());
        case FieldCode::Double:
            return int64_t(Data.DataDouble.size());
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            return int64_t(Data.DataCardinal.size());
        case FieldCode::DateTime:
            return int64_t(Data.DataDateTime.size());
        case FieldCode::Int64:
            return int64_t(Data.DataInt64.size());
        default:
            return 0;
    }
}

void FieldGFB::ResizeRecords(int32_t count) {
    const size_t n = size_t(std::max(count, 0));
    Data.DataSelected.resize(n);
    switch (TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
        case FieldCode::VarText:
            Data.DataInteger.resize(n);
            break;
        case FieldCode::FixedText:
        case FieldCode::ByteArray:
            Data.DataByte.resize(n * size_t(std::max(Size, 0)));
            break;
        case FieldCode::Byte:
        case FieldCode::Dict8:
            Data.DataByte.resize(n);
            break;
        case FieldCode::Boolean:
            Data.DataBoolean.resize(n);
            break;
        case FieldCode::Word:
        case FieldCode::Dict16:
            Data.DataWord.resize(n);
            break;
        case FieldCode::Float:
            Data.DataFloat.resize(n);
            break;
        case FieldCode::Double:
            Data.DataDouble.resize(n);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            Data.DataCardinal.resize(n);
            break;
        case FieldCode::DateTime:
            Data.DataDateTime.resize(n);
            break;
        case FieldCode::Int64:
            Data.DataInt64.resize(n);
            break;
        default:
            break;
    }
}

int32_t FieldGFB::ReadRecord(bool needLoad) const {
    if (needLoad && !Load) {
        return 0;
    }
    return std::max(GFBase->RecNoTemp, 0);
}

bool FieldGFB::InEditMode() const {
    return GFBase->RecordNE;
}

void FieldGFB::ClearStalePending() {
    if (!InEditMode()) {
        Temp.TypeField = 0;
    }
}

bool FieldGFB::BeginWrite() {
    if (!InEditMode()) {
        return false;
    }
    Temp.TypeField = TypeField;
    return true;
}

// --- dictionaries ---

int32_t FieldGFB::GetSprCount() {
    const auto guard = GFBase->Guard();
    if (TypeField == FieldCode::Dict16) {
        return int32_t(Data.DataCardinal.size());
    }
    if (TypeField == FieldCode::Dict8) {
        return int32_t(Data.DataWord.size());
    }
    return -1;
}

QString FieldGFB::GetSprString(int32_t pos) {
    const auto guard = GFBase->Guard();
    if (TypeField != FieldCode::Dict16 && TypeField != FieldCode::Dict8) {
        return {};
    }
    return At(Data.DataStringN, int64_t(pos) - 1);
}

int32_t FieldGFB::GetSprNumber(int32_t pos) {
    const auto guard = GFBase->Guard();
    const int64_t i = int64_t(pos) - 1;
    if (TypeField == FieldCode::Dict16) {
        return i >= 0 && i < int64_t(Data.DataCardinal.size()) ? int32_t(Data.DataCardinal[size_t(i)]) : -1;
    }
    if (TypeField == FieldCode::Dict8) {
        return i >= 0 && i < int64_t(Data.DataWord.size()) ? Data.DataWord[size_t(i)] : -1;
    }
    return -1;
}

int32_t FieldGFB::GetSprValueNumber() {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    const int64_t i = rec - 1;
    if (rec < 1) {
        return -1;
    }
    if (TypeField == FieldCode::Dict16 && i < int64_t(Data.DataWord.size())) {
        const uint16_t key = Data.DataWord[size_t(i)];
        return key == 65535 ? -1 : key;
    }
    if (TypeField == FieldCode::Dict8 && i < int64_t(Data.DataByte.size())) {
        const uint8_t key = Data.DataByte[size_t(i)];
        return key == 255 ? -1 : key;
    }
    return -1;
}

// --- byte arrays ---

bool FieldGFB::GetByteArrayAsBitBool(int32_t bpos, int32_t numb) {
    const auto guard = GFBase->Guard();
    if (TypeField != FieldCode::ByteArray || bpos < 0 || numb < 1 || numb > 8) {
        return false;
    }
    if (Temp.TypeField != 0) {
        return bpos < Temp.DataArrayByte.size() && GetBit(uint8_t(Temp.DataArrayByte[bpos]), uint8_t(numb));
    }
    const int32_t rec = ReadRecord(true);
    if (rec < 1 || Data.DataByte.empty() || bpos > 255 || bpos >= Size) {
        return false;
    }
    const int64_t at = int64_t(rec - 1) * Size + bpos;
    return at < int64_t(Data.DataByte.size()) && GetBit(Data.DataByte[size_t(at)], uint8_t(numb));
}

void FieldGFB::GetAsArrayByte(QByteArray& bytes) {
    const auto guard = GFBase->Guard();
    ClearStalePending();
    const int32_t n = std::clamp(Size, 0, 65535);
    bytes = QByteArray(n, '\0');
    const int32_t rec = GFBase->RecNoTemp;
    if (TypeField != FieldCode::ByteArray || rec < 1 || GFBase->CountRecord < 1 || n == 0) {
        return;
    }
    if (Temp.TypeField != 0) {
        const QByteArray head = Temp.DataArrayByte.left(n);
        bytes.replace(0, head.size(), head);
        return;
    }
    const int64_t at = int64_t(rec - 1) * n;
    if (at + n <= int64_t(Data.DataByte.size())) {
        bytes = QByteArray(reinterpret_cast<const char*>(Data.DataByte.data()) + at, n);
    }
}

void FieldGFB::SetAsArrayByte(const QByteArray& bytes) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite() || TypeField != FieldCode::ByteArray || Size <= 0) {
        return;
    }
    QByteArray buffer(std::min(Size, 65535), '\0');
    const QByteArray head = bytes.left(buffer.size());
    buffer.replace(0, head.size(), head);
    Temp.DataArrayByte = buffer;
}

void FieldGFB::WriteTempbyteArray(const QByteArray& bytes) {
    const auto guard = GFBase->Guard();
    if (InEditMode()) {
        Temp.DataArrayByte = bytes;
    }
}

void FieldGFB::WriteTempStringArray(const QStringList& texts) {
    const auto guard = GFBase->Guard();
    if (InEditMode()) {
        Temp.DataArrayString = texts;
    }
}
