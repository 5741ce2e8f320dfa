// The typed writers of a column: into the edit buffer of the record being added or edited
// (field.h).
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

int64_t ClampToRange(int64_t v, int64_t lo, int64_t hi, int64_t below, int64_t above) {
    return v < lo ? below : (v > hi ? above : v);
}

}  // namespace

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
            Temp.DataInteger = IntegerOfText(value);
            break;
        case FieldCode::Cardinal:
            Temp.DataCardinal = uint32_t(IntegerOfText(value));
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
