#include "tables/record_message.h"

#include "infra/codepage.h"
#include "tables/field.h"

namespace {

constexpr qsizetype kKindSize = 4;
constexpr int kMaxTableNameChars = kRecordTableName - 1;
constexpr int kMaxColumnNameChars = kRecordColumnName - 1;
// Table name, position (or identifier), record count.
constexpr qsizetype kUpdateHead = kRecordTableName + 8;
constexpr qsizetype kTargetHead = kRecordTableName + 4;
// What a table sends of a dictionary change, and where it starts in the whole message.
constexpr qsizetype kDictionaryRecord = 30;
constexpr qsizetype kDictionaryLead = 17;
constexpr qsizetype kDictionaryCommandAt = 4;
// Offsets in the record: the column name, then its code and the count of text bytes, the action and
// the key; the text follows the record.
constexpr qsizetype kDictionaryColumnAt = kRecordTableName;
constexpr qsizetype kDictionaryActionAt = kDictionaryColumnAt + kRecordColumnName + 2;

}  // namespace

QByteArray RecordMessage(int32_t kind, QByteArrayView body) {
    QByteArray out;
    out.reserve(kKindSize + body.size());
    AppendLE(out, kind);
    out.append(body);
    return out;
}

void AppendTableName(QByteArray& out, const QString& table) {
    out.append(TextSlot(table, kRecordTableName));
}

void AppendColumnName(QByteArray& out, const QString& column) {
    out.append(TextSlot(column, kRecordColumnName));
}

void AppendUpdateHead(QByteArray& out, const QString& table, int32_t position, int32_t count) {
    AppendTableName(out, table);
    AppendLE(out, position);
    AppendLE(out, count);
}

QByteArray DeletedBody(const QString& table, int32_t nAbs) {
    QByteArray out;
    AppendTableName(out, table);
    AppendLE(out, nAbs);
    return out;
}

void AppendDictionaryValue(QByteArray& out, uint8_t code, uint32_t key, QByteArrayView text,
                           int32_t sprSize) {
    if (code == FieldCode::Dict16) {
        AppendLE(out, uint16_t(key));
    } else {
        AppendLE(out, uint8_t(key));
    }
    AppendTextSlot(out, text, sprSize);
}

void AppendVarTextValue(QByteArray& out, int32_t blobLength, int32_t offset, QByteArrayView text) {
    AppendLE(out, blobLength);
    AppendLE(out, offset);
    if (offset != -1 && blobLength >= 1) {
        AppendShortText(out, text);
    }
}

QByteArray DictionaryChangeRecord(const QString& table, const QString& column, uint8_t code,
                                  uint8_t textBytes, uint8_t action, uint32_t key) {
    QByteArray out;
    AppendTableName(out, table);
    AppendColumnName(out, column);
    AppendLE(out, code);
    AppendLE(out, textBytes);
    AppendLE(out, action);
    if (code == FieldCode::Dict8) {
        AppendLE(out, uint8_t(key));
    } else if (code == FieldCode::Dict16) {
        AppendLE(out, uint16_t(key));
    }
    out.append(kDictionaryRecord - out.size(), '\0');
    return out;
}

bool ReadRecordMessage(QByteArrayView message, int32_t& kind, QByteArrayView& body) {
    ByteReader in(message);
    if (!in.Read(kind)) {
        return false;
    }
    body = message.sliced(kKindSize);
    return true;
}

bool ReadRecordTarget(QByteArrayView body, QString& table, int32_t& value) {
    if (body.size() < kTargetHead || uint8_t(body[0]) > kMaxTableNameChars) {
        return false;
    }
    table = SlotText(body.first(kRecordTableName));
    value = GetLE<int32_t>(body.data() + kRecordTableName);
    return true;
}

bool ReadUpdateHead(ByteReader& in, int32_t& count) {
    if (!in.Has(kUpdateHead)) {
        return false;
    }
    count = in.Peek<int32_t>(kTargetHead);
    return in.Skip(kUpdateHead);
}

bool ReadColumnName(ByteReader& in, QString& name) {
    QByteArrayView slot;
    if (!in.Has(kRecordColumnName) || uint8_t(in.Peek<uint8_t>(0)) > kMaxColumnNameChars) {
        return false;
    }
    in.Take(kRecordColumnName, slot);
    name = SlotText(slot);
    return true;
}

bool ReadEntryValue(ByteReader& in, uint8_t code, int32_t size, int32_t sprSize, RecordEntryValue& value) {
    if (code == FieldCode::VarText) {
        if (!in.Read(value.blobLength) || !in.Read(value.offset)) {
            return false;
        }
        if (value.blobLength < 0 || value.blobLength > kMaxColumnBytes) {
            return false;
        }
        value.text = {};
        if (value.offset != -1 && value.blobLength >= 1) {
            const qsizetype start = in.Pos();
            QByteArrayView characters;
            if (!in.ReadShortText(characters)) {
                return false;
            }
            value.text = in.data().sliced(start, in.Pos() - start);
        }
        return true;
    }
    if (FieldIsDictionary(code)) {
        if (size < 0 || sprSize < 0 || !in.Has(int64_t(size) + sprSize)) {
            return false;
        }
        QByteArrayView slot;
        const QByteArrayView all = in.data().sliced(in.Pos(), qsizetype(size) + sprSize);
        slot = all.sliced(size);
        if (!slot.isEmpty() && uint8_t(slot[0]) > slot.size() - 1) {
            return false;
        }
        value.bytes = all.first(size);
        value.slotText = SlotText(slot);
        return in.Skip(all.size());
    }
    if (FieldHasStorage(code)) {
        return in.Take(size, value.bytes);
    }
    return true;
}

bool ReadDictionaryChange(QByteArrayView message, DictionaryChange& change) {
    ByteReader in(message);
    if (!in.Has(kDictionaryLead + kDictionaryRecord) ||
        in.Peek<uint32_t>(kDictionaryCommandAt) != NetCommand::SprChange) {
        return false;
    }
    in.Skip(kDictionaryLead + kDictionaryColumnAt);
    if (!ReadColumnName(in, change.column)) {
        return false;
    }
    in.Skip(kDictionaryActionAt - kDictionaryColumnAt - kRecordColumnName);
    in.Read(change.action);
    in.Read(change.key);
    QByteArrayView text;
    change.hasText = in.ReadShortText(text);
    change.text = change.hasText ? fromAnsi(text) : QString();
    return true;
}
