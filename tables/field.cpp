#include "tables/field.h"

#include <algorithm>
#include <cmath>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "infra/codepage.h"
#include "tables/base_client.h"
#include "tables/regional.h"
#include "tables/table_error.h"

namespace {

const QString kNoRecord = QStringLiteral("Запись не найдена");

int32_t TextToInt(const QString& text) {
    bool ok = false;
    const int32_t v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}

int64_t ClampToRange(int64_t v, int64_t lo, int64_t hi, int64_t below, int64_t above) {
    return v < lo ? below : (v > hi ? above : v);
}

}  // namespace

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

// --- readers ---

QString FieldGFB::AsString() {
    const auto guard = GFBase->Guard();
    const int32_t rec = GFBase->RecNoTemp;
    if (rec < 1 || GFBase->CountRecord < 1) {
        return kNoRecord;
    }
    const int64_t i = rec - 1;
    switch (TypeField) {
        case FieldCode::Integer:
            return QString::number(At(Data.DataInteger, i));
        case FieldCode::Byte:
            return QString::number(At(Data.DataByte, i));
        case FieldCode::Word:
            return QString::number(At(Data.DataWord, i));
        case FieldCode::Int64:
            return QString::number(At(Data.DataInt64, i));
        case FieldCode::FixedText:
            return FixedTextOf(rec);
        case FieldCode::Boolean:
            return At(Data.DataBoolean, i) ? QStringLiteral("T") : QStringLiteral("F");
        case FieldCode::Float:
            return RegionalFloatText(At(Data.DataFloat, i));
        case FieldCode::Double:
            return RegionalFloatText(At(Data.DataDouble, i));
        case FieldCode::Cardinal:
            if (name == QLatin1String("r_dt")) {
                return RegionalDateTimeText(Stamp2000ToDateTime(At(Data.DataCardinal, i)));
            }
            return QString::number(At(Data.DataCardinal, i));
        case FieldCode::DateTime: {
            const TDateTime v = At(Data.DataDateTime, i);
            return v > 0 ? RegionalDateTimeText(v) : QString();
        }
        case FieldCode::ByteArray: {
            if (Size < 1 || int64_t(rec) * Size > int64_t(Data.DataByte.size())) {
                return {};
            }
            QString s;
            for (int64_t k = i * Size; k < int64_t(rec) * Size; ++k) {
                s += QString::number(Data.DataByte[size_t(k)]) + QLatin1Char(' ');
            }
            return s;
        }
        case FieldCode::Dict16:
        case FieldCode::Dict8: {
            const uint32_t key = TypeField == FieldCode::Dict16 ? At(Data.DataWord, i) : At(Data.DataByte, i);
            return key == 0 ? QString() : At(Data.DataStringN, SprIndexOfKey(key));
        }
        case FieldCode::Color:
            return QString::number(uint32_t(At(Data.DataInteger, i)), 16).toUpper().rightJustified(4, u'0');
        case FieldCode::VarText:
            return VarTextOf(rec);
        case FieldCode::Stamp2000:
            return RegionalDateTimeText(Stamp2000ToDateTime(At(Data.DataCardinal, i)));
        default:
            return {};
    }
}

int32_t FieldGFB::AsInteger() {
    const auto guard = GFBase->Guard();
    ClearStalePending();
    const int32_t rec = ReadRecord(true);
    if (rec < 1) {
        return 0;
    }
    const int64_t i = rec - 1;
    const bool pending = Temp.TypeField != 0;
    switch (TypeField) {
        case FieldCode::Integer:
            return pending && GFBase->EditRecord ? Temp.DataInteger : At(Data.DataInteger, i);
        case FieldCode::FixedText:
            return TextToInt(FixedTextOf(rec));
        case FieldCode::Byte:
            return pending ? Temp.DataByte : At(Data.DataByte, i);
        case FieldCode::Boolean:
            return pending ? Temp.DataBoolean : At(Data.DataBoolean, i) != 0;
        case FieldCode::Word:
            return pending ? Temp.DataWord : At(Data.DataWord, i);
        case FieldCode::Cardinal:
            return int32_t(pending ? Temp.DataCardinal : At(Data.DataCardinal, i));
        case FieldCode::Float:
            return TruncToInt32(pending ? Temp.DataFloat : At(Data.DataFloat, i));
        case FieldCode::Double:
            return TruncToInt32(pending ? Temp.DataDouble : At(Data.DataDouble, i));
        case FieldCode::DateTime:
            return TruncToInt32(At(Data.DataDateTime, i));
        case FieldCode::Dict16:
            return At(Data.DataWord, i);
        case FieldCode::Dict8:
            return At(Data.DataByte, i);
        case FieldCode::VarText: {
            const QString text = VarTextOf(rec);
            if (text.isEmpty()) {
                return 0;
            }
            bool ok = false;
            const int32_t v = text.trimmed().toInt(&ok);
            if (!ok) {
                throw TableConversionError("not an integer: " + text.toStdString());
            }
            return v;
        }
        default:
            return 0;
    }
}

int32_t FieldGFB::AsIntegerA() {
    const auto guard = GFBase->Guard();
    ClearStalePending();
    const int32_t rec = ReadRecord(true);
    if (rec < 1) {
        return 0;
    }
    const int64_t i = rec - 1;
    switch (TypeField) {
        case FieldCode::Integer:
            return At(Data.DataInteger, i);
        case FieldCode::FixedText:
            return TextToInt(FixedTextOf(rec));
        case FieldCode::Byte:
        case FieldCode::Dict8:
            return At(Data.DataByte, i);
        case FieldCode::Boolean:
            return At(Data.DataBoolean, i) != 0;
        case FieldCode::Word:
        case FieldCode::Dict16:
            return At(Data.DataWord, i);
        case FieldCode::Cardinal:
            return int32_t(At(Data.DataCardinal, i));
        case FieldCode::Float:
            return TruncToInt32(At(Data.DataFloat, i));
        case FieldCode::Double:
            return TruncToInt32(At(Data.DataDouble, i));
        case FieldCode::DateTime:
            return TruncToInt32(At(Data.DataDateTime, i));
        default:
            return 0;
    }
}

uint32_t FieldGFB::AsCardinal() {
    const auto guard = GFBase->Guard();
    ClearStalePending();
    const int32_t rec = ReadRecord(true);
    if (rec < 1 || TypeField != FieldCode::Cardinal) {
        return 0;
    }
    return Temp.TypeField != 0 ? Temp.DataCardinal : At(Data.DataCardinal, rec - 1);
}

int64_t FieldGFB::AsInt64() {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    if (rec < 1) {
        return 0;
    }
    const int64_t i = rec - 1;
    switch (TypeField) {
        case FieldCode::Integer:
            return At(Data.DataInteger, i);
        case FieldCode::FixedText:
            return TextToInt(FixedTextOf(rec));
        case FieldCode::Byte:
            return At(Data.DataByte, i);
        case FieldCode::Boolean:
            return At(Data.DataBoolean, i) != 0;
        case FieldCode::Word:
            return At(Data.DataWord, i);
        case FieldCode::Cardinal:
            return At(Data.DataCardinal, i);
        case FieldCode::Float:
            return TruncToInt64(At(Data.DataFloat, i));
        case FieldCode::Double:
            return TruncToInt64(At(Data.DataDouble, i));
        case FieldCode::DateTime:
            return TruncToInt64(At(Data.DataDateTime, i));
        case FieldCode::Int64:
            return At(Data.DataInt64, i);
        case FieldCode::VarText: {
            bool ok = false;
            const int64_t v = VarTextOf(rec).trimmed().toLongLong(&ok);
            return ok ? v : 0;
        }
        default:
            return 0;
    }
}

float FieldGFB::AsFloat() {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    if (rec < 1) {
        return 0;
    }
    const int64_t i = rec - 1;
    switch (TypeField) {
        case FieldCode::Integer:
            return float(At(Data.DataInteger, i));
        case FieldCode::Byte:
            return float(At(Data.DataByte, i));
        case FieldCode::Boolean:
            return At(Data.DataBoolean, i) != 0 ? 1.0f : 0.0f;
        case FieldCode::Word:
            return float(At(Data.DataWord, i));
        case FieldCode::Cardinal:
            return float(At(Data.DataCardinal, i));
        case FieldCode::FixedText: {
            const QString text = FixedTextOf(rec);
            double v = 0;
            if (!ParseRegionalFloat(text, v)) {
                throw TableConversionError("not a number: " + text.toStdString());
            }
            return float(v);
        }
        case FieldCode::Float:
            return Temp.TypeField != 0 ? Temp.DataFloat : At(Data.DataFloat, i);
        case FieldCode::Double:
            return float(At(Data.DataDouble, i));
        case FieldCode::DateTime:
            return float(At(Data.DataDateTime, i));
        default:
            return 0;
    }
}

bool FieldGFB::AsBoolean() {
    const auto guard = GFBase->Guard();
    if (TypeField == FieldCode::Boolean) {
        ClearStalePending();
    }
    const int32_t rec = ReadRecord(true);
    if (rec < 1) {
        return false;
    }
    const int64_t i = rec - 1;
    switch (TypeField) {
        case FieldCode::Integer:
            return At(Data.DataInteger, i) == 1;
        case FieldCode::Byte:
            return At(Data.DataByte, i) == 1;
        case FieldCode::Word:
            return At(Data.DataWord, i) == 1;
        case FieldCode::FixedText:
            return FixedTextOf(rec) == QLatin1String("T");
        case FieldCode::Boolean:
            return Temp.TypeField != 0 ? Temp.DataBoolean : At(Data.DataBoolean, i) != 0;
        default:
            return false;
    }
}

TDateTime FieldGFB::AsDateTime() {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    if (rec < 1) {
        return 0;
    }
    const bool pending = Temp.TypeField != 0;
    switch (TypeField) {
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            return Stamp2000ToDateTime(pending ? Temp.DataCardinal : At(Data.DataCardinal, rec - 1));
        case FieldCode::DateTime:
            return pending ? Temp.DataDateTime : At(Data.DataDateTime, rec - 1);
        default:
            return 0;
    }
}

TDateTime FieldGFB::AsDate() {
    const auto guard = GFBase->Guard();
    if (TypeField != FieldCode::DateTime && TypeField != FieldCode::Stamp2000) {
        return 0;
    }
    return WholeDays(AsDateTime());
}

TDateTime FieldGFB::AsTime() {
    const auto guard = GFBase->Guard();
    if (TypeField != FieldCode::DateTime && TypeField != FieldCode::Stamp2000) {
        return 0;
    }
    return DayFraction(AsDateTime());
}

int32_t FieldGFB::AsColor() {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    return rec < 1 || TypeField != FieldCode::Color ? 0 : At(Data.DataInteger, rec - 1);
}

bool FieldGFB::Selected() {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    return rec >= 1 && rec <= int64_t(Data.DataSelected.size()) && Data.DataSelected[size_t(rec - 1)];
}

void FieldGFB::SetSelected(bool value) {
    const auto guard = GFBase->Guard();
    const int32_t rec = ReadRecord(true);
    if (rec >= 1 && rec <= int64_t(Data.DataSelected.size())) {
        Data.DataSelected[size_t(rec - 1)] = value;
    }
}

// --- writers ---

void FieldGFB::SetAsInteger(int32_t value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    switch (TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            Temp.DataInteger = value;
            break;
        case FieldCode::FixedText:
            Temp.DataString = QString::number(value);
            break;
        case FieldCode::Byte:
            Temp.DataByte = uint8_t(ClampToRange(value, 0, 255, 255, 255));
            break;
        case FieldCode::Boolean:
            Temp.DataBoolean = value == 1;
            break;
        case FieldCode::Word:
            Temp.DataWord = uint16_t(ClampToRange(value, 0, 65535, 65535, 65535));
            break;
        case FieldCode::Float:
            Temp.DataFloat = float(value);
            break;
        case FieldCode::Double:
            Temp.DataDouble = value;
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            Temp.DataCardinal = uint32_t(std::max(value, 0));
            break;
        case FieldCode::DateTime:
            Temp.DataDateTime = value;
            break;
        default:
            break;
    }
}

void FieldGFB::SetAsInt64(int64_t value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    switch (TypeField) {
        case FieldCode::Integer:
            Temp.DataInteger = int32_t(uint32_t(uint64_t(value)));
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            Temp.DataCardinal = uint32_t(uint64_t(value));
            break;
        case FieldCode::FixedText:
            Temp.DataString = QString::number(value);
            break;
        case FieldCode::Byte:
            Temp.DataByte = uint8_t(ClampToRange(value, 0, 255, 0, 255));
            break;
        case FieldCode::Boolean:
            Temp.DataBoolean = value == 1;
            break;
        case FieldCode::Word:
            Temp.DataWord = uint16_t(ClampToRange(value, 0, 65535, 0, 65535));
            break;
        case FieldCode::Float:
            Temp.DataFloat = float(value);
            break;
        case FieldCode::Double:
            Temp.DataDouble = double(value);
            break;
        case FieldCode::DateTime:
            Temp.DataDateTime = double(value);
            break;
        case FieldCode::Int64:
            Temp.DataInt64 = value;
            break;
        default:
            break;
    }
}

void FieldGFB::SetAsString(const QString& value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    bool ok = false;
    switch (TypeField) {
        case FieldCode::Integer:
            Temp.DataInteger = TextToInt(value);
            break;
        case FieldCode::Cardinal:
            Temp.DataCardinal = uint32_t(TextToInt(value));
            break;
        case FieldCode::FixedText:
        case FieldCode::VarText:
            Temp.DataString = value.left(255);
            break;
        case FieldCode::Byte: {
            const int64_t v = value.trimmed().toLongLong(&ok);
            Temp.DataByte = ok ? uint8_t(ClampToRange(v, 0, 255, 0, 255)) : 0;
            break;
        }
        case FieldCode::Boolean:
            Temp.DataBoolean = value == QLatin1String("T");
            break;
        case FieldCode::Word: {
            const int64_t v = value.trimmed().toLongLong(&ok);
            Temp.DataWord = ok ? uint16_t(ClampToRange(v, 0, 65535, 0, 65535)) : 0;
            break;
        }
        case FieldCode::Float: {
            double v = 0;
            Temp.DataFloat = ParseRegionalFloat(value, v) ? float(v) : 0.0f;
            break;
        }
        case FieldCode::Double: {
            double v = 0;
            if (ParseRegionalFloat(value, v)) {
                Temp.DataDouble = v;
            } else {
                Temp.TypeField = 0;
            }
            break;
        }
        case FieldCode::DateTime: {
            TDateTime v = 0;
            Temp.DataDateTime = ParseRegionalDateTime(value, v) ? v : 0;
            break;
        }
        case FieldCode::Dict16:
        case FieldCode::Dict8: {
            Temp.DataWord = 0;
            Temp.DataByte = 0;
            Temp.DataString = value.left(255);
            if (value.isEmpty()) {
                break;
            }
            const QString lower = value.toLower();
            for (size_t k = 0; k < Data.DataStringN.size(); ++k) {
                if (Data.DataStringN[k].toLower() != lower) {
                    continue;
                }
                if (TypeField == FieldCode::Dict16) {
                    Temp.DataWord = uint16_t(At(Data.DataCardinal, int64_t(k)));
                } else {
                    Temp.DataByte = uint8_t(At(Data.DataWord, int64_t(k)));
                }
                Temp.DataString = Data.DataStringN[k].left(255);
                break;
            }
            break;
        }
        default:
            break;
    }
}

void FieldGFB::SetAsFloat(float value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    const int64_t whole = TruncToInt64(value);
    switch (TypeField) {
        case FieldCode::Integer:
            Temp.DataInteger = TruncToInt32(value);
            break;
        case FieldCode::Byte:
            Temp.DataByte = uint8_t(uint64_t(whole));
            break;
        case FieldCode::Word:
            Temp.DataWord = uint16_t(uint64_t(whole));
            break;
        case FieldCode::Cardinal:
            Temp.DataCardinal = uint32_t(uint64_t(whole));
            break;
        case FieldCode::FixedText:
            Temp.DataString = RegionalFloatText(value);
            break;
        case FieldCode::Boolean:
            Temp.DataBoolean = value == 1.0f;
            break;
        case FieldCode::Float:
            Temp.DataFloat = value;
            break;
        case FieldCode::Double:
            Temp.DataDouble = value;
            break;
        case FieldCode::DateTime:
            Temp.DataDateTime = value;
            break;
        default:
            break;
    }
}

void FieldGFB::SetAsDateTime(TDateTime value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    if (TypeField == FieldCode::DateTime) {
        Temp.DataDateTime = value;
        Temp.DataDate = WholeDays(value);
        Temp.DataTime = DayFraction(value);
    } else if (TypeField == FieldCode::Stamp2000) {
        Temp.DataCardinal = DateTimeToStamp2000(value);
    }
}

void FieldGFB::SetAsDate(TDateTime value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    if (TypeField == FieldCode::DateTime) {
        Temp.DataDate = value;
        Temp.DataDateTime = WholeDays(value) + DayFraction(Temp.DataTime);
    } else if (TypeField == FieldCode::Stamp2000) {
        Temp.DataCardinal = DateTimeToStamp2000(WholeDays(value));
    }
}

void FieldGFB::SetAsTime(TDateTime value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    if (TypeField == FieldCode::DateTime) {
        Temp.DataTime = value;
        Temp.DataDateTime = WholeDays(Temp.DataDate) + DayFraction(value);
    } else if (TypeField == FieldCode::Stamp2000) {
        Temp.DataCardinal = uint32_t(MillisecondsOfDay(value) / 1000);
    }
}

void FieldGFB::SetAsBoolean(bool value) {
    const auto guard = GFBase->Guard();
    if (!BeginWrite()) {
        return;
    }
    switch (TypeField) {
        case FieldCode::Integer:
            Temp.DataInteger = value ? 1 : 0;
            break;
        case FieldCode::FixedText:
            Temp.DataString = value ? QStringLiteral("T") : QStringLiteral("F");
            break;
        case FieldCode::Byte:
            Temp.DataByte = value ? 1 : 0;
            break;
        case FieldCode::Boolean:
            Temp.DataBoolean = value;
            break;
        default:
            break;
    }
}

void FieldGFB::SetAsCardinal(uint32_t value) {
    const auto guard = GFBase->Guard();
    if (BeginWrite() && TypeField == FieldCode::Cardinal) {
        Temp.DataCardinal = value;
    }
}

void FieldGFB::SetAsColor(int32_t value) {
    const auto guard = GFBase->Guard();
    if (BeginWrite() && TypeField == FieldCode::Color) {
        Temp.DataInteger = value;
    }
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
