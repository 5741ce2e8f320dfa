#include "edit_fields.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <limits>

#include "infra/codepage.h"
#include "table_data.h"

namespace {

// A string value, unescaped as the system's JSON reader does: a backslash before a quote,
// backslash or slash yields that character; before anything else it stays.
bool readString(const QString& s, qsizetype& i, QString& out) {
    ++i;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c == u'"') {
            ++i;
            return true;
        }
        if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'"' || s[i + 1] == u'\\' || s[i + 1] == u'/')) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return false;
}

bool toInteger(const QString& v, int64_t lo, int64_t hi, int64_t& out) {
    bool ok = false;
    const qlonglong n = v.trimmed().toLongLong(&ok);
    if (!ok || n < lo || n > hi) {
        return false;
    }
    out = n;
    return true;
}

}  // namespace

bool SplitFields(const QString& inner, std::vector<RawField>& out) {
    qsizetype i = 0;
    const qsizetype n = inner.size();
    while (true) {
        while (i < n && (inner[i] == u',' || inner[i] == u' ')) {
            ++i;
        }
        if (i >= n) {
            return true;
        }
        if (inner[i] != u'"') {
            return false;
        }
        RawField f;
        if (!readString(inner, i, f.name) || i >= n || inner[i] != u':') {
            return false;
        }
        ++i;
        if (i >= n) {
            return false;
        }
        if (inner[i] == u'"') {
            if (!readString(inner, i, f.value)) {
                return false;
            }
        } else if (inner[i] == u'[') {
            const qsizetype close = inner.indexOf(u']', i);
            if (close < 0) {
                return false;
            }
            f.value = inner.mid(i + 1, close - i - 1);
            i = close + 1;
        } else if (inner[i] == u'{') {
            return false;
        } else {
            // A bare value runs to the comma that starts the next pair: a decimal comma is no end.
            qsizetype end = inner.indexOf(QStringLiteral(",\""), i);
            if (end < 0) {
                end = n;
            }
            f.value = inner.mid(i, end - i).trimmed();
            // The last value may be followed by a comma before the closing brace.
            while (end == n && f.value.endsWith(u',')) {
                f.value.chop(1);
            }
            i = end;
        }
        out.push_back(std::move(f));
    }
}

bool ParseDateTime(const QString& text, double& days) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        days = 0;
        return true;
    }
    static const QStringList formats = {
        QStringLiteral("dd.MM.yyyy HH:mm:ss"), QStringLiteral("dd.MM.yyyy H:mm:ss"),
        QStringLiteral("dd.MM.yyyy"),          QStringLiteral("dd.MM.yy HH:mm:ss"),
        QStringLiteral("d.M.yyyy H:mm:ss"),    QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd"),
        QStringLiteral("M/d/yyyy h:mm:ss AP"), QStringLiteral("M/d/yy h:mm:ss AP"),
        QStringLiteral("M/d/yyyy H:mm:ss"),    QStringLiteral("dd/MM/yyyy HH:mm:ss")};
    for (const QString& f : formats) {
        QDateTime d = QDateTime::fromString(t, f);
        if (d.isValid()) {
            if (d.date().year() < 1950 && f.contains(QLatin1String("yy")) &&
                !f.contains(QLatin1String("yyyy"))) {
                d = d.addYears(100);
            }
            days = TableData::ToDays(d);
            return true;
        }
    }
    return false;
}

bool ConvertField(const ColumnDef& column, const QString& value, FieldValue& out, QString& error) {
    const QString v = value.trimmed();
    bool ok = true;
    switch (column.code) {
        case FieldCode::Integer:
        case FieldCode::Color:
            ok = toInteger(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<uint32_t>::max(),
                           out.integer);
            out.integer = int32_t(uint32_t(out.integer));
            break;
        case FieldCode::Byte:
            ok = toInteger(v, 0, 255, out.integer);
            break;
        case FieldCode::Word:
            ok = toInteger(v, 0, 65535, out.integer);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            ok = toInteger(v, 0, std::numeric_limits<uint32_t>::max(), out.integer);
            break;
        case FieldCode::Int64:
            ok = toInteger(v, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                           out.integer);
            break;
        case FieldCode::Boolean:
            if (v == QLatin1String("T") || v == QLatin1String("true") || v == QLatin1String("1")) {
                out.integer = 1;
            } else if (v == QLatin1String("F") || v == QLatin1String("false") || v == QLatin1String("0")) {
                out.integer = 0;
            } else {
                ok = false;
            }
            break;
        case FieldCode::Float:
        case FieldCode::Double: {
            QString t = v;
            t.replace(u',', u'.');
            out.real = t.toDouble(&ok);
            ok = ok && qIsFinite(out.real);
            break;
        }
        case FieldCode::DateTime:
            ok = ParseDateTime(v, out.real);
            break;
        case FieldCode::FixedText:
        case FieldCode::VarText:
            out.bytes = toAnsi(value);
            break;
        case FieldCode::ByteArray: {
            for (const QString& item : v.split(u',', Qt::SkipEmptyParts)) {
                int64_t b = 0;
                if (!toInteger(item, 0, 255, b)) {
                    ok = false;
                    break;
                }
                out.bytes.append(char(uint8_t(b)));
            }
            break;
        }
        case FieldCode::Dict16:
        case FieldCode::Dict8: {
            // "key@text", a bare key, or a text looked up in (or added to) the dictionary. Key 0 stands
            // for no value and names no text; the largest number of the key's width stands for an
            // invalid value. A text pinned to either would make later texts land on key 0.
            const int64_t width = column.code == FieldCode::Dict8 ? 255 : 65535;
            const int64_t largest = TableData::LargestDictionaryKey(column.code);
            const qsizetype at = value.indexOf(u'@');
            int64_t key = 0;
            if (at > 0 && toInteger(value.left(at), 0, width, key)) {
                out.hasKey = true;
                out.integer = key;
                out.bytes = toAnsi(value.mid(at + 1));
                ok = key <= largest && (key > 0 || out.bytes.isEmpty());
            } else if (toInteger(v, 0, width, key)) {
                out.hasKey = true;
                out.integer = key;
                ok = key <= largest;
            } else {
                out.bytes = toAnsi(value);
            }
            break;
        }
        default:
            ok = false;
            break;
    }
    if (!ok) {
        error = QStringLiteral("bad value for %1: %2").arg(column.name, value.left(40));
    }
    return ok;
}
