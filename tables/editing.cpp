// Editing: the replica never changes here. Add or Edit open the edit buffers, Post turns the
// pending values into a command for the server (a JSON text, and a binary record for hosts that
// attach a handler), and the stored values change only when the server's record update comes back.
// CopyFromRecord fills the edit buffers from a stored record, as a template for a new one.
//
// The JSON text is read by servers that know nothing of this machine's regional settings: numbers
// always carry a full stop and date-times one fixed form. Everything else of the text (the bare T/F
// of a Boolean, the quoted "n_abs" and trailing comma of a delete) stays as servers expect it.
#include <algorithm>
#include <cmath>

#include "infra/byte_codec.h"
#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "tables/base_client.h"
#include "tables/record_message.h"
#include "tables/regional.h"
#include "tables/table_error.h"

namespace {

// A column Size beyond this is not a real value width; the binary record never grows past it.
constexpr int32_t kMaxValueBytes = 1 << 16;

const QString kIdColumn = QStringLiteral("n_abs");
const QString kFlagsColumn = QStringLiteral("p_d");

// The value's bytes cut or zero-filled to the column's Size.
void AppendSized(QByteArray& out, const QByteArray& value, int32_t size) {
    const qsizetype n = std::clamp(size, 0, kMaxValueBytes);
    out.append(value.left(n));
    out.append(n - std::min(n, value.size()), '\0');
}

template <typename T>
void AppendSizedLE(QByteArray& out, T value, int32_t size) {
    QByteArray bytes;
    AppendLE(bytes, value);
    AppendSized(out, bytes, size);
}

// A text slot of the column's size (at most kMaxValueBytes).
void AppendSlotText(QByteArray& out, const QString& text, int32_t slot) {
    AppendTextSlot(out, toAnsi(text), std::clamp(slot, 0, kMaxValueBytes));
}

QString Quoted(const QString& text) {
    return QLatin1Char('"') + StrToJSONStr(text) + QLatin1Char('"');
}

// General format, up to 15 significant digits, always a full stop. JSON has no form for NaN or an
// infinity; they go out as 0.
QString JsonNumber(double value) {
    return std::isfinite(value) ? QString::number(value, 'g', 15) : QStringLiteral("0");
}

QString JsonDateTime(TDateTime value) {
    const QDateTime dt = DateTimeFromDays(value);
    return dt.date().toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
           dt.time().toString(QStringLiteral("hh:mm:ss"));
}

// The JSON value of a pending column; empty for codes that are not sent.
QString JsonValue(const FieldGFB& f) {
    const Stru_Temp& t = f.Temp;
    switch (f.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            return QString::number(t.DataInteger);
        case FieldCode::FixedText:
        case FieldCode::Dict16:
        case FieldCode::Dict8:
        case FieldCode::VarText:
            return Quoted(t.DataString);
        case FieldCode::Byte:
            return QString::number(t.DataByte);
        case FieldCode::Boolean:
            return t.DataBoolean ? QStringLiteral("T") : QStringLiteral("F");
        case FieldCode::Word:
            return QString::number(t.DataWord);
        case FieldCode::Float:
            return JsonNumber(double(t.DataFloat));
        case FieldCode::Double:
            return JsonNumber(t.DataDouble);
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            return QString::number(t.DataCardinal);
        case FieldCode::DateTime:
            return Quoted(JsonDateTime(t.DataDateTime));
        case FieldCode::ByteArray: {
            QString items;
            for (char b : t.DataArrayByte) {
                if (!items.isEmpty()) {
                    items += QLatin1Char(',');
                }
                items += QString::number(uint8_t(b));
            }
            return QLatin1Char('[') + items + QLatin1Char(']');
        }
        case FieldCode::Int64:
            return QString::number(t.DataInt64);
        default:
            return {};
    }
}

void AppendBinaryValue(QByteArray& out, const FieldGFB& f, int32_t size, int32_t sprSize) {
    const Stru_Temp& t = f.Temp;
    switch (f.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            AppendSizedLE(out, t.DataInteger, size);
            break;
        case FieldCode::FixedText:
            AppendSlotText(out, t.DataString, size);
            break;
        case FieldCode::Byte:
            AppendSizedLE(out, t.DataByte, size);
            break;
        case FieldCode::Boolean:
            AppendSizedLE(out, uint8_t(t.DataBoolean ? 1 : 0), size);
            break;
        case FieldCode::Word:
            AppendSizedLE(out, t.DataWord, size);
            break;
        case FieldCode::Float:
            AppendSizedLE(out, t.DataFloat, size);
            break;
        case FieldCode::Double:
            AppendSizedLE(out, t.DataDouble, size);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            AppendSizedLE(out, t.DataCardinal, size);
            break;
        case FieldCode::DateTime:
            AppendSizedLE(out, t.DataDateTime, size);
            break;
        case FieldCode::ByteArray:
            AppendSized(out, t.DataArrayByte, size);
            break;
        case FieldCode::Int64:
            AppendSizedLE(out, t.DataInt64, size);
            break;
        case FieldCode::Dict16:
        case FieldCode::Dict8:
            AppendSlotText(out, t.DataString, sprSize);
            break;
        case FieldCode::VarText:
            AppendShortText(out, toAnsi(t.DataString));
            break;
        default:
            break;
    }
}

int32_t IntegerOf(FieldGFB* column) {
    if (column == nullptr) {
        return 0;
    }
    try {
        return column->AsInteger();
    } catch (const TableConversionError&) {
        return 0;
    }
}

// The master's current value of its link column, read under the master's lock only; 0 without one.
int32_t MasterValue(TBaseClient* master, const QString& field) {
    if (master == nullptr) {
        return 0;
    }
    auto guard = master->Guard();
    return IntegerOf(master->GetFieldCurrent(field));
}

void ClearPending(const std::vector<std::unique_ptr<FieldGFB>>& fields) {
    for (const auto& f : fields) {
        f->Temp.TypeField = 0;
    }
}

}  // namespace

void TBaseClient::Add() {
    auto guard = Guard();
    RecordNE = true;
    EditRecord = false;
    RefreshYes = false;
}

// Pending marks are cleared before the identifier is read, so that a mark left on "n_abs" cannot
// stand in for the record's own identifier.
bool TBaseClient::Edit() {
    auto guard = Guard();
    RecordNE = true;
    RefreshYes = false;
    EditRecord = true;
    ClearPending(Fields);
    BEdit = IntegerOf(GetFieldCurrent(kIdColumn));
    for (const auto& f : Fields) {
        if (f->TypeField == FieldCode::DateTime) {
            const TDateTime value = f->AsDateTime();
            f->Temp.DataDate = WholeDays(value);
            f->Temp.DataTime = DayFraction(value);
        }
    }
    return true;
}

void TBaseClient::Cancel() {
    auto guard = Guard();
    RefreshYes = true;
    RecordNE = false;
    ClearPending(Fields);
}

int32_t TBaseClient::Post() {
    TBaseClient* master;
    QString masterField;
    {
        auto guard = Guard();
        master = FMasterTable;
        masterField = FMasterField;
    }
    const int32_t masterValue = MasterValue(master, masterField);

    QString command;
    QByteArray record;
    uint32_t recordCommand = 0;
    TNetDataSend9 onJson;
    TNetDataSend onBinary;
    {
        auto guard = Guard();
        if (!RecordNE) {
            RefreshYes = true;
            return -1;
        }
        RecordNE = false;
        if (FieldGFB* slave = FSlaveField.isEmpty() ? nullptr : FindColumn(FSlaveField, false);
            slave != nullptr && slave->TypeField == FieldCode::Integer) {
            slave->Temp.DataInteger = masterValue;
            slave->Temp.TypeField = slave->TypeField;
        }

        onJson = OnNetDataSend9;
        onBinary = OnNetDataSend;
        AppendTableName(record, NameTableS);
        if (EditRecord) {
            AppendLE(record, BEdit);
        }
        QString fields;
        for (const auto& f : Fields) {
            if (f->Temp.TypeField == 0) {
                continue;
            }
            const QString value = JsonValue(*f);
            if (!value.isEmpty()) {
                if (!fields.isEmpty()) {
                    fields += QLatin1Char(',');
                }
                fields += QLatin1Char('"') + f->name + QStringLiteral("\":") + value;
                if (onBinary) {
                    AppendColumnName(record, f->name);
                    AppendBinaryValue(record, *f, GetFieldSize(f->name), GetFieldSprSize(f->name));
                }
            }
            f->Temp.TypeField = 0;
        }
        command =
            DatabaseCommandHead(EditRecord ? TableCmd::NetEditDataDatabase : TableCmd::NetAddDataDatabase) +
            QStringLiteral(",\"nametable\":\"") + NameTableS + QStringLiteral("\",");
        if (EditRecord) {
            command += QStringLiteral("\"n_abs\":") + QString::number(BEdit) + QLatin1Char(',');
        }
        command += QStringLiteral("\"fields\":{") + fields + QStringLiteral("}}");
        AppendColumnName(record, QStringLiteral("SYSUSER"));
        AppendShortText(record, toAnsi(UserLoc));
        recordCommand = EditRecord ? NetCommand::EditRecord : NetCommand::AddRecord;
    }
    if (onJson) {
        onJson(this, command);
    }
    if (onBinary) {
        onBinary(this, recordCommand, record, int32_t(record.size()));
    }
    RefreshYes = true;
    return -1;
}

// Without a current record there is nothing the user could have meant to delete, so nothing is sent
// (a stale selection must not name another record to the server).
void TBaseClient::DeleteRecordCurrent() {
    QString command;
    QByteArray record;
    TNetDataSend9 onJson;
    TNetDataSend onBinary;
    {
        auto guard = Guard();
        if (CountRecordFilter < 1 || RecNo < 1 || RecNo > CountRecord) {
            return;
        }
        const int32_t n = IntegerOf(GetFieldCurrent(kIdColumn));
        onJson = OnNetDataSend9;
        onBinary = OnNetDataSend;
        AppendTableName(record, NameTableS);
        AppendLE(record, n);
        AppendShortText(record, toAnsi(UserLoc));
        command = DatabaseCommandHead(TableCmd::NetDeleteDataDatabase) + QStringLiteral(",\"nametable\":\"") +
                  NameTableS + QStringLiteral("\",\"n_abs\":\"") + QString::number(n) +
                  QStringLiteral("\",}");
    }
    if (onBinary) {
        onBinary(this, NetCommand::DeleteRecord, record, int32_t(record.size()));
    }
    if (onJson) {
        onJson(this, command);
    }
}

namespace {

bool MarkDeleted(TBaseClient& table, int32_t n_abs, bool markUpdate) {
    FieldGFB* ids = table.FindColumn(kIdColumn, false);
    if (ids == nullptr) {
        return false;
    }
    const ColumnArray<int32_t>& values = ids->Data.DataInteger;
    const int64_t records = std::min<int64_t>(std::max(table.CountRecord, 0), int64_t(values.size()));
    int64_t index = -1;
    for (int64_t r = 0; r < records; ++r) {
        if (values[size_t(r)] == n_abs) {
            index = r;
            break;
        }
    }
    if (index < 0) {
        return false;
    }
    bool flagged = false;
    for (const auto& f : table.Fields) {
        if (f->name != kFlagsColumn) {
            continue;
        }
        flagged = true;
        if (index < int64_t(f->Data.DataByte.size())) {
            SetBit(f->Data.DataByte[size_t(index)], 1, 1);
        }
        if (markUpdate) {
            f->Update = true;
        }
    }
    return flagged;
}

}  // namespace

bool TBaseClient::DeletedRecordL(int32_t n_abs) {
    auto guard = Guard();
    return MarkDeleted(*this, n_abs, false);
}

bool TBaseClient::DeletedRecord(int32_t n_abs) {
    auto guard = Guard();
    return MarkDeleted(*this, n_abs, true);
}

void TBaseClient::DeleteSprRecord(const QString& NameField, int32_t NumberRecord) {
    QByteArray record;
    {
        auto guard = Guard();
        record = DictionaryChangeRecord(NameTableS, NameField, GetFieldType(NameField),
                                        uint8_t(GetFieldSprSize(NameField)), SprAction::Delete,
                                        uint32_t(NumberRecord));
    }
    SendToNet(NetCommand::DeleteSprEntry, record);
}

namespace {

QString SprTextOf(const FieldGFB& f, uint32_t key) {
    if (key == 0) {
        return {};
    }
    return At(f.Data.DataStringN, f.SprIndexOfKey(key));
}

void CopyValue(FieldGFB& f, int32_t rec) {
    const int64_t i = rec - 1;
    const Stru_Data& d = f.Data;
    Stru_Temp& t = f.Temp;
    switch (f.TypeField) {
        case FieldCode::Integer:
        case FieldCode::Color:
            t.DataInteger = At(d.DataInteger, i);
            break;
        case FieldCode::FixedText:
            t.DataString = f.FixedTextOf(rec);
            break;
        case FieldCode::Byte:
            t.DataByte = At(d.DataByte, i);
            break;
        case FieldCode::Boolean:
            t.DataBoolean = At(d.DataBoolean, i) != 0;
            break;
        case FieldCode::Word:
            t.DataWord = At(d.DataWord, i);
            break;
        case FieldCode::Float:
            t.DataFloat = At(d.DataFloat, i);
            break;
        case FieldCode::Double:
            t.DataDouble = At(d.DataDouble, i);
            break;
        case FieldCode::Cardinal:
        case FieldCode::Stamp2000:
            t.DataCardinal = At(d.DataCardinal, i);
            break;
        case FieldCode::DateTime:
            t.DataDateTime = At(d.DataDateTime, i);
            break;
        case FieldCode::Int64:
            t.DataInt64 = At(d.DataInt64, i);
            break;
        case FieldCode::ByteArray: {
            const int64_t size = std::max(f.Size, 0);
            t.DataArrayByte = QByteArray(qsizetype(size), '\0');
            if ((i + 1) * size <= int64_t(d.DataByte.size())) {
                std::memcpy(t.DataArrayByte.data(), d.DataByte.data() + i * size, size_t(size));
            }
            break;
        }
        case FieldCode::Dict16:
            t.DataWord = At(d.DataWord, i);
            t.DataString = SprTextOf(f, t.DataWord);
            break;
        case FieldCode::Dict8:
            t.DataByte = At(d.DataByte, i);
            t.DataString = SprTextOf(f, t.DataByte);
            break;
        case FieldCode::VarText:
            t.DataInteger = At(d.DataInteger, i);
            t.DataString = f.VarTextOf(rec).left(255);
            break;
        default:
            break;
    }
}

}  // namespace

// The identifier column, the flags and the four columns after them describe the record itself and
// are never copied into a new one.
void TBaseClient::CopyFromRecord(int32_t n_abs) {
    constexpr size_t kFirstCopied = 6;
    auto guard = Guard();
    if (Fields.empty()) {
        return;
    }
    const ColumnArray<int32_t>& ids = Fields[0]->Data.DataInteger;
    const int64_t records = std::min<int64_t>(std::max(CountRecord, 0), int64_t(ids.size()));
    int32_t rec = 0;
    for (int64_t r = 0; r < records; ++r) {
        if (ids[size_t(r)] == n_abs) {
            rec = int32_t(r + 1);
            break;
        }
    }
    if (rec == 0) {
        return;
    }
    for (size_t c = kFirstCopied; c < Fields.size(); ++c) {
        FieldGFB& f = *Fields[c];
        f.Temp.TypeField = f.TypeField;
        CopyValue(f, rec);
    }
}
