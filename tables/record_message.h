// The record messages (docs/record-messages.md): how the server's changes to a table reach every
// client that holds it, the dictionary changes a table applies, and the binary records a table hands
// to a host. The server writes them (server/record_messages), the session client routes them by kind
// to their table (session/client_table_loading.cpp), and the table applies them (tables/net_data.cpp); all
// three go through these functions, and nothing else knows the offsets.
//
// Readers check every length before they read; a message that does not fit is refused, never half
// read. Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

#include "infra/byte_codec.h"
#include "infra/message_batch.h"

// The kind that starts every record message (32 bits).
namespace RecordKind {
inline constexpr int32_t History = 1;  // event history, not kept by this tool
inline constexpr int32_t Update = 2;   // one record, whole, with the table's record count
inline constexpr int32_t Deleted = 3;  // one record flagged deleted
inline constexpr int32_t Batch = kBatchKind;
}  // namespace RecordKind

// Binary command values a table hands to its OnNetDataSend handler, and the dictionary change's.
namespace NetCommand {
inline constexpr uint32_t AddRecord = 0x02200007;
inline constexpr uint32_t EditRecord = 0x02200008;
inline constexpr uint32_t DeleteRecord = 0x02200009;
inline constexpr uint32_t DeleteSprEntry = 0x02200049;
inline constexpr uint32_t SprChange = 0x0220004B;
}  // namespace NetCommand

// Actions of a dictionary change.
namespace SprAction {
inline constexpr uint8_t Add = 1;
inline constexpr uint8_t Change = 2;
inline constexpr uint8_t Delete = 3;
}  // namespace SprAction

inline constexpr qsizetype kRecordTableName = 9;    // slot of a table name: up to 8 characters
inline constexpr qsizetype kRecordColumnName = 16;  // slot of a column name: up to 15 characters

// ---- writing ----

// A whole message: its kind, then the body.
QByteArray RecordMessage(int32_t kind, QByteArrayView body);
void AppendTableName(QByteArray& out, const QString& table);
void AppendColumnName(QByteArray& out, const QString& column);
// The head of an update's body; the entries follow it, each a column name and the value bytes.
void AppendUpdateHead(QByteArray& out, const QString& table, int32_t position, int32_t count);
// The body of a deletion.
QByteArray DeletedBody(const QString& table, int32_t nAbs);
// The value of an entry of a dictionary column (code 15: a 16-bit key, 16: an 8-bit key), with the
// key's text in a slot of sprSize bytes.
void AppendDictionaryValue(QByteArray& out, uint8_t code, uint32_t key, QByteArrayView text, int32_t sprSize);
// The value of an entry of a code-24 column: the blob's new length, the record's offset in it and,
// unless the offset is -1 or the blob empty, the record's text as a short text.
void AppendVarTextValue(QByteArray& out, int32_t blobLength, int32_t offset, QByteArrayView text);
// The dictionary change as a table sends it (DeleteSprRecord): the 30 bytes from the table name on.
QByteArray DictionaryChangeRecord(const QString& table, const QString& column, uint8_t code,
                                  uint8_t textBytes, uint8_t action, uint32_t key);

// ---- reading ----

// The kind and body of a message; false when it has no kind.
bool ReadRecordMessage(QByteArrayView message, int32_t& kind, QByteArrayView& body);
// The table an update's or a deletion's body names and the number that follows the name (an
// update: the record's 0-based position; a deletion: its identifier); false when the head is short
// or the name too long.
bool ReadRecordTarget(QByteArrayView body, QString& table, int32_t& value);
// Skips an update's head and reads the table's new record count from it.
bool ReadUpdateHead(ByteReader& in, int32_t& count);
// An entry's column name; false when the slot is cut short or announces more than 15 characters.
bool ReadColumnName(ByteReader& in, QString& name);

// One entry's value, read by the code of the column it is for. Views point into the message.
struct RecordEntryValue {
    QByteArrayView bytes;  // codes with a fixed width, 2 and 11: Size bytes; 15 and 16: the key's Size bytes
    QString slotText;      // 15 and 16: the text of the key's slot
    int32_t blobLength = 0;  // 24
    int32_t offset = -1;     // 24
    QByteArrayView text;     // 24: the length byte and the characters; empty when none came
};
// False when the value is cut short, its slot announces more than it holds, or a code-24 blob length
// is negative or beyond the tables' cap. A code without value bytes reads nothing and succeeds.
bool ReadEntryValue(ByteReader& in, uint8_t code, int32_t size, int32_t sprSize, RecordEntryValue& value);

struct DictionaryChange {
    QString column;
    uint8_t action = 0;
    uint16_t key = 0;  // a column of code 16 uses the low byte only
    bool hasText = false;
    QString text;
};
// A dictionary change message: a 17-byte lead (with the command SprChange at 4), the record of
// DictionaryChangeRecord, then the text as a short text. False when it is not one or is cut short
// before the text; hasText tells whether the whole text is there.
bool ReadDictionaryChange(QByteArrayView message, DictionaryChange& change);
