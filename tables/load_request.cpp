// The load request a table sends for itself, and the two JSON forms of table data it accepts.
#include <algorithm>
#include <cstring>

#include "infra/byte_codec.h"
#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "tables/base_client.h"
#include "tables/regional.h"
#include "tables/table_error.h"

namespace {

int64_t ToInteger(const QString& text, int64_t fallback) {
    bool ok = false;
    const int64_t v = text.trimmed().toLongLong(&ok);
    return ok ? v : fallback;
}

int32_t ToInt32(const QString& text) {
    bool ok = false;
    const int32_t v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}

// One column descriptor of a JSON table text: "n_abs,code,Size,SprSize".
Stru_NetFields ParseDescriptor(const QString& name, const QString& value) {
    const QStringList parts = value.split(u',');
    int32_t numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = i < parts.size();
        if (ok) {
            numbers[i] = parts[i].trimmed().toInt(&ok);
        }
        if (!ok) {
            throw TableConversionError("column descriptor is not four integers: " + value.toStdString());
        }
    }
    Stru_NetFields fi;
    fi.n_abs = numbers[0];
    fi.name = name.left(15);
    fi.TypeField = uint8_t(numbers[1]);
    fi.Size = numbers[2];
    fi.SprSize = numbers[3];
    return fi;
}

QString StripOneQuote(QString s) {
    if (s.startsWith(u'"')) {
        s.remove(0, 1);
    }
    if (s.endsWith(u'"')) {
        s.chop(1);
    }
    return s;
}

}  // namespace

QString TBaseClient::GetJSONLoad() {
    const auto guard = Guard();
    if (FlagLoadData || SendLoadData) {
        return {};
    }
    if (!CacheReadAhead) {
        Clear();
        CacheLoad();
    }
    CacheReadAhead = false;
    QStringList digests;
    if (LoadFields.isEmpty()) {
        for (const auto& f : Fields) {
            if (!f->MD5.isEmpty()) {
                digests << u'"' + f->name + QStringLiteral("\":\"") + f->MD5 + u'"';
            }
        }
    } else {
        QString rest = GetJSONValue(QStringLiteral("{\"f\":") + LoadFields + u'}', QStringLiteral("f"));
        QString key;
        QString value;
        while (!rest.isEmpty()) {
            const bool taken = GetJSONPair(rest, key, value);
            if (taken && value == QLatin1String("1")) {
                for (const auto& f : Fields) {
                    if (f->name == key) {
                        digests << u'"' + key + QStringLiteral("\":\"") + f->MD5 + u'"';
                    }
                }
            }
            if (!taken && key.isEmpty()) {
                break;
            }
        }
    }
    // The digest list travels in the code page, like every text of the system.
    const QString md5 = fromAnsi(toAnsi(digests.join(u',')));
    QString request = DatabaseCommandHead(TableCmd::GetTableRaw) +
                      QStringLiteral(",\"refresh\":1,\"name\":\"") + NameTableS + u'"';
    if (!LoadFields.isEmpty()) {
        request += QStringLiteral(",\"fields\":") + LoadFields;
    }
    request += QStringLiteral(",\"md5\":{") + md5 + u'}';
    if (!LoadFilter.isEmpty()) {
        request += QStringLiteral(",\"filter\":") + LoadFilter;
    }
    request += u'}';
    SendLoadData = true;
    return request;
}

void TBaseClient::ReadCacheAhead() {
    const auto guard = Guard();
    if (FlagLoadData || SendLoadData || CacheReadAhead) {
        return;
    }
    Clear();
    CacheLoad();
    CacheReadAhead = true;
}

void TBaseClient::LoadFromJSON(const QString& Data) {
    const auto guard = Guard();
    if (CommandOf(Data) == Cmd::TableData) {
        QString tablefields = GetJSONValue(Data, QStringLiteral("tablefields"));
        int64_t count = ToInteger(GetJSONValue(Data, QStringLiteral("count")), 0);
        if (count < 0 || count > kMaxRecordCount) {
            count = 0;
        }
        CountRecord = CountRecordFilter = int32_t(count);
        QString key;
        QString value;
        while (!tablefields.isEmpty()) {
            if (!GetJSONPair(tablefields, key, value)) {
                break;
            }
            AddField(ParseDescriptor(key, value));
        }
        QString fields = GetJSONValue(Data, QStringLiteral("fields"));
        while (!fields.isEmpty()) {
            if (!GetJSONPair(fields, key, value)) {
                break;
            }
            FieldGFB* f = FindColumn(key, false);
            if (!f || (f->TypeField != FieldCode::Integer && f->TypeField != FieldCode::VarText)) {
                continue;
            }
            const QStringList items = value.split(u',');
            const qsizetype n = std::min<qsizetype>(items.size(), count);
            if (f->TypeField == FieldCode::Integer) {
                f->Data.DataInteger.assign(size_t(count), 0);
                for (qsizetype i = 0; i < n; ++i) {
                    f->Data.DataInteger[size_t(i)] = ToInt32(items[i]);
                }
            } else {
                f->Data.DataStringN.assign(size_t(count), QString());
                for (qsizetype i = 0; i < n; ++i) {
                    f->Data.DataStringN[size_t(i)] = StripOneQuote(items[i]);
                }
            }
            f->Data.DataSelected.assign(size_t(count), false);
            f->Load = true;
        }
    }
    LoadFileName.clear();
    FlagLoadData = true;
    RefreshYes = true;
    RefreshData();
}

namespace {

// A dictionary value "key@text": the record's key, and the entry of that key gets the text (or is
// appended when the key is new and not 0).
void StoreDictValue(FieldGFB& f, size_t rec, const QString& value) {
    const qsizetype at = value.indexOf(u'@');
    const uint32_t key = uint32_t(ToInt32(at < 0 ? value : value.left(at)));
    const bool wide = f.TypeField == FieldCode::Dict16;
    if (wide && rec < f.Data.DataWord.size()) {
        f.Data.DataWord[rec] = uint16_t(key);
    } else if (!wide && rec < f.Data.DataByte.size()) {
        f.Data.DataByte[rec] = uint8_t(key);
    }
    if (at < 0) {
        return;
    }
    const uint32_t stored = wide ? uint16_t(key) : uint8_t(key);
    const QString text = value.mid(at + 1);
    const int32_t entry = f.SprIndexOfKey(stored);
    if (entry >= 0 && size_t(entry) < f.Data.DataStringN.size()) {
        f.Data.DataStringN[size_t(entry)] = text;
    } else if (entry < 0 && stored != 0) {
        if (wide) {
            f.Data.DataCardinal.push_back(stored);
        } else {
            f.Data.DataWord.push_back(uint16_t(stored));
        }
        f.Data.DataStringN.resize(wide ? f.Data.DataCardinal.size() : f.Data.DataWord.size());
        f.Data.DataStringN.back() = text;
    }
}

// A code-24 value: a per-record text, or a new text appended to the blob.
void StoreVarText(FieldGFB& f, size_t rec, const QString& value) {
    if (rec < f.Data.DataStringN.size()) {
        f.Data.DataStringN[rec] = value;
        return;
    }
    if (rec >= f.Data.DataInteger.size() || f.Data.DataByte.size() > size_t(kMaxColumnBytes)) {
        return;
    }
    const QByteArray ansi = toAnsi(value.left(255));
    f.Data.DataInteger[rec] = int32_t(f.Data.DataByte.size());
    f.Data.DataByte.push_back(uint8_t(ansi.size()));
    f.Data.DataByte.insert(f.Data.DataByte.end(), ansi.begin(), ansi.end());
}

template <typename T>
void Put(ColumnArray<T>& array, size_t rec, T value) {
    if (rec < array.size()) {
        array[rec] = value;
    }
}

void StoreValue(FieldGFB& f, size_t rec, const QString& value) {
    const int64_t whole = ToInteger(value, 0);
    double real = 0;
    switch (f.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            Put(f.Data.DataInteger, rec, int32_t(whole));
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            Put(f.Data.DataCardinal, rec, uint32_t(whole));
            break;
        case FieldCode::Byte:
            Put(f.Data.DataByte, rec, uint8_t(whole));
            break;
        case FieldCode::Boolean:
            Put(f.Data.DataBoolean, rec, uint8_t(whole != 0));
            break;
        case FieldCode::Word:
            Put(f.Data.DataWord, rec, uint16_t(whole));
            break;
        case FieldCode::Int64:
            Put(f.Data.DataInt64, rec, whole);
            break;
        case FieldCode::FixedText:
        case FieldCode::ByteArray: {
            if (f.Size < 1 || (rec + 1) * size_t(f.Size) > f.Data.DataByte.size()) {
                break;
            }
            uint8_t* slot = f.Data.DataByte.data() + rec * size_t(f.Size);
            if (f.TypeField == FieldCode::FixedText) {
                const QByteArray bytes = TextSlot(value, f.Size);
                std::memcpy(slot, bytes.constData(), size_t(f.Size));
            } else {
                const QStringList items = value.split(u',');
                for (qsizetype i = 0; i < items.size() && i < f.Size; ++i) {
                    slot[i] = uint8_t(ToInt32(items[i]));
                }
            }
            break;
        }
        case FieldCode::Float:
            Put(f.Data.DataFloat, rec, ParseRegionalFloat(value, real) ? float(real) : 0.0f);
            break;
        case FieldCode::Double:
            Put(f.Data.DataDouble, rec, ParseRegionalFloat(value, real) ? real : 0.0);
            break;
        case FieldCode::DateTime:
            Put(f.Data.DataDateTime, rec, ParseRegionalDateTime(value, real) ? real : 0.0);
            break;
        case FieldCode::Dict16:
        case FieldCode::Dict8:
            StoreDictValue(f, rec, value);
            break;
        case FieldCode::VarText:
            StoreVarText(f, rec, value);
            break;
        default:
            break;
    }
}

}  // namespace

bool TBaseClient::RefreshFromJSON(const QString& data) {
    const auto guard = Guard();
    const int64_t n = ToInteger(GetJSONValue(data, QStringLiteral("n_abs")), -1);
    if (n == -1 || Fields.empty()) {
        return false;
    }
    const auto& ids = Fields.front()->Data.DataInteger;
    const size_t limit = std::min(ids.size(), size_t(std::max(CountRecordFilter, 0)));
    const auto found = std::find(ids.begin(), ids.begin() + qsizetype(limit), n);
    if (found == ids.begin() + qsizetype(limit)) {
        return false;
    }
    const size_t rec = size_t(found - ids.begin());
    QString fields = GetJSONValue(data, QStringLiteral("fields"));
    QString key;
    QString value;
    while (!fields.isEmpty()) {
        const bool taken = GetJSONPair(fields, key, value);
        if (!taken && key.isEmpty()) {
            break;
        }
        FieldGFB* f = taken ? FindColumn(key, false) : nullptr;
        if (f) {
            StoreValue(*f, rec, value);
        }
    }
    return true;
}
