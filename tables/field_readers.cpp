// The typed readers of a column: the selected record's value in each type (field.h).
#include <algorithm>
#include <cmath>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "infra/codepage.h"
#include "tables/base_client.h"
#include "tables/field.h"
#include "tables/regional.h"
#include "tables/table_error.h"

namespace {

const QString kNoRecord = QStringLiteral("Запись не найдена");

}  // namespace

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

bool FieldGFB::StoredNumber(double& value) {
    const auto guard = GFBase->Guard();
    value = 0;
    const int32_t rec = GFBase->RecNoTemp;
    if (rec < 1 || GFBase->CountRecord < 1) {
        return false;
    }
    const int64_t i = rec - 1;
    switch (TypeField) {
        case FieldCode::Integer:
            value = At(Data.DataInteger, i);
            return true;
        case FieldCode::Byte:
            value = At(Data.DataByte, i);
            return true;
        case FieldCode::Word:
            value = At(Data.DataWord, i);
            return true;
        case FieldCode::Float:
            value = At(Data.DataFloat, i);
            return true;
        case FieldCode::Double:
            value = At(Data.DataDouble, i);
            return true;
        case FieldCode::Cardinal:
            value = At(Data.DataCardinal, i);
            return true;
        case FieldCode::DateTime:
            value = At(Data.DataDateTime, i);
            return true;
        case FieldCode::Stamp2000:
            value = Stamp2000ToDateTime(At(Data.DataCardinal, i));
            return true;
        default:
            return false;
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
            return IntegerOfText(FixedTextOf(rec));
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
            return IntegerOfText(FixedTextOf(rec));
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
            return IntegerOfText(FixedTextOf(rec));
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
