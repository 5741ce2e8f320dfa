#include "cell_values.h"

#include <QDateTime>
#include <QLocale>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "tables/field.h"
#include "tables/regional.h"

namespace {

// A whole number in decimal, or in a form office programs write numbers in ("12.0", "8.6E+14").
bool ParseWhole(const QString& text, int64_t& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    if (ok) {
        return true;
    }
    QString t = text;
    const double d = t.replace(u',', u'.').toDouble(&ok);
    // Beyond 2^53 a double no longer holds every whole number.
    if (!ok || !std::isfinite(d) || std::fabs(d) > 9007199254740992.0 || d != std::trunc(d)) {
        return false;
    }
    value = int64_t(d);
    return true;
}

// A number as the grids show it (RegionalFloatText: 15 significant digits), so that a workbook holds
// what the operator saw.
double AsShown(double value) {
    std::array<char, 32> text{};
    const auto written =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::general, 15);
    double shown = value;
    std::from_chars(text.data(), written.ptr, shown);
    return shown;
}

bool ParseReal(const QString& text, double& value) {
    QString t = text;
    t.remove(u' ').remove(QChar(0x00A0)).replace(u',', u'.');
    bool ok = false;
    value = t.toDouble(&ok);
    return ok && std::isfinite(value);
}

// A date-time in the regional format, in the usual written forms, or as a workbook's day number.
bool ParseDays(const QString& text, double& days) {
    if (ParseRegionalDateTime(text, days)) {
        return true;
    }
    for (const char* format : {"dd.MM.yyyy HH:mm:ss", "dd.MM.yyyy H:mm:ss", "dd.MM.yyyy HH:mm", "dd.MM.yyyy",
                               "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd"}) {
        const QDateTime d = QDateTime::fromString(text, QLatin1StringView(format));
        if (d.isValid()) {
            days = DaysFromDateTime(d);
            return true;
        }
    }
    return ParseReal(text, days) && days >= 0 && days < 2958466;
}

bool ParseFlag(const QString& text, bool& flag) {
    const QString t = text.toLower();
    for (const char* yes : {"t", "1", "true", "да", "истина"}) {
        if (t == QString::fromUtf8(yes)) {
            flag = true;
            return true;
        }
    }
    for (const char* no : {"f", "0", "false", "нет", "ложь"}) {
        if (t == QString::fromUtf8(no)) {
            flag = false;
            return true;
        }
    }
    return false;
}

QString NotA(const QString& what, const FieldGFB& column, const QString& cell) {
    return QStringLiteral("«%1» — не %2 (%3)").arg(cell.left(40), what, column.name);
}

QString OutOfRange(const FieldGFB& column, const QString& cell) {
    return QStringLiteral("«%1» — вне допустимых пределов (%2)").arg(cell.left(40), column.name);
}

QString WholeIn(const FieldGFB& column, const QString& cell, int64_t low, int64_t high, CellValue& value) {
    if (!ParseWhole(cell, value.integer)) {
        return NotA(QStringLiteral("число"), column, cell);
    }
    if (value.integer < low || value.integer > high) {
        return OutOfRange(column, cell);
    }
    value.kind = CellValue::Kind::Integer;
    return {};
}

QString TextUpTo(const FieldGFB& column, const QString& cell, qsizetype limit, CellValue& value) {
    if (cell.size() > limit) {
        return QStringLiteral("Значение длиннее %1 символов (%2)").arg(limit).arg(column.name);
    }
    value.kind = CellValue::Kind::Text;
    value.text = cell;
    return {};
}

}  // namespace

ExportCell CellOf(FieldGFB& column, bool texts) {
    ExportCell cell;
    double stored = 0;
    if (column.StoredNumber(stored)) {
        switch (column.TypeField) {
            case FieldCode::Float:
            case FieldCode::Double:
                if (std::isfinite(stored)) {
                    cell.kind = ExportCell::Kind::Number;
                    cell.number = AsShown(stored);
                }
                break;
            case FieldCode::Cardinal:
                if (column.name == QLatin1StringView("r_dt")) {
                    cell.kind = ExportCell::Kind::DateTime;
                    cell.number = Stamp2000ToDateTime(uint32_t(stored));
                } else {
                    cell.kind = ExportCell::Kind::Number;
                    cell.number = stored;
                }
                break;
            case FieldCode::DateTime:
                // No date shows as an empty cell, as in the grids.
                if (std::isfinite(stored) && stored > 0) {
                    cell.kind = ExportCell::Kind::DateTime;
                    cell.number = stored;
                }
                break;
            case FieldCode::Stamp2000:
                cell.kind = ExportCell::Kind::DateTime;
                cell.number = stored;
                break;
            default:
                cell.kind = ExportCell::Kind::Number;
                cell.number = stored;
                break;
        }
    }
    if (texts || cell.kind == ExportCell::Kind::Text) {
        cell.text = column.AsString();
    }
    return cell;
}

QString ParseCell(const FieldGFB& column, const QString& cell, CellValue& value) {
    value = CellValue();
    const QString t = cell.trimmed();
    if (t.isEmpty()) {
        return {};
    }
    switch (column.TypeField) {
        case FieldCode::Integer:
            return WholeIn(column, t, std::numeric_limits<int32_t>::min(),
                           std::numeric_limits<int32_t>::max(), value);
        case FieldCode::Byte:
            return WholeIn(column, t, 0, 255, value);
        case FieldCode::Word:
            return WholeIn(column, t, 0, 65535, value);
        case FieldCode::Int64:
            return WholeIn(column, t, std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::max(), value);
        case FieldCode::Cardinal:
            if (ParseWhole(t, value.integer)) {
                return WholeIn(column, t, 0, std::numeric_limits<uint32_t>::max(), value);
            }
            if (column.name == QLatin1StringView("r_dt") && ParseDays(t, value.real)) {
                value.kind = CellValue::Kind::Integer;
                value.integer = DateTimeToStamp2000(value.real);
                return {};
            }
            return NotA(QStringLiteral("число"), column, t);
        case FieldCode::Color: {
            bool ok = false;
            const qulonglong v =
                QString(t).remove(QStringLiteral("0x"), Qt::CaseInsensitive).toULongLong(&ok, 16);
            if (!ok) {
                return NotA(QStringLiteral("шестнадцатеричное число"), column, t);
            }
            if (v > std::numeric_limits<uint32_t>::max()) {
                return OutOfRange(column, t);
            }
            value.kind = CellValue::Kind::Integer;
            value.integer = int64_t(v);
            return {};
        }
        case FieldCode::Boolean: {
            bool flag = false;
            if (!ParseFlag(t, flag)) {
                return NotA(QStringLiteral("«да» или «нет»"), column, t);
            }
            value.kind = CellValue::Kind::Integer;
            value.integer = flag ? 1 : 0;
            return {};
        }
        case FieldCode::Float:
        case FieldCode::Double:
            if (!ParseReal(t, value.real)) {
                return NotA(QStringLiteral("число"), column, t);
            }
            value.kind = CellValue::Kind::Real;
            return {};
        case FieldCode::DateTime:
        case FieldCode::Stamp2000:
            if (!ParseDays(t, value.real)) {
                return NotA(QStringLiteral("дата"), column, t);
            }
            value.kind = CellValue::Kind::Days;
            return {};
        case FieldCode::ByteArray: {
            const QStringList items = QString(t).replace(u',', u' ').split(u' ', Qt::SkipEmptyParts);
            if (items.size() > column.Size) {
                return QStringLiteral("Больше %1 чисел (%2)").arg(column.Size).arg(column.name);
            }
            for (const QString& item : items) {
                bool ok = false;
                const uint v = item.toUInt(&ok);
                if (!ok || v > 255) {
                    return NotA(QStringLiteral("ряд чисел от 0 до 255"), column, t);
                }
                value.bytes.append(char(v));
            }
            value.kind = CellValue::Kind::Bytes;
            return {};
        }
        case FieldCode::FixedText:
            return TextUpTo(column, cell, std::max(column.Size - 1, 0), value);
        case FieldCode::VarText:
        case FieldCode::Dict16:
        case FieldCode::Dict8:
            return TextUpTo(column, cell, 255, value);
        default:
            return QStringLiteral("Столбец %1 не загружается из файла").arg(column.name);
    }
}

void WriteCell(FieldGFB& column, const CellValue& value) {
    switch (value.kind) {
        case CellValue::Kind::None:
            return;
        case CellValue::Kind::Integer:
            if (column.TypeField == FieldCode::Int64) {
                column.SetAsInt64(value.integer);
            } else if (column.TypeField == FieldCode::Cardinal) {
                column.SetAsCardinal(uint32_t(value.integer));
            } else if (column.TypeField == FieldCode::Color) {
                column.SetAsColor(int32_t(uint32_t(value.integer)));
            } else if (column.TypeField == FieldCode::Boolean) {
                column.SetAsBoolean(value.integer != 0);
            } else {
                column.SetAsInteger(int32_t(value.integer));
            }
            return;
        case CellValue::Kind::Real:
            // The edit buffer takes a double only through the regional text.
            column.SetAsString(RegionalFloatText(value.real));
            return;
        case CellValue::Kind::Days:
            column.SetAsDateTime(value.real);
            return;
        case CellValue::Kind::Text:
            column.SetAsString(value.text);
            return;
        case CellValue::Kind::Bytes:
            column.SetAsArrayByte(value.bytes);
            return;
    }
}
