// Arbitrary bytes through every reader of the record message codec, as the session client and a
// table meet them: the kind, the target of an update or a deletion, the items of a batch, an update's
// head and entries (each read by a type code taken from the input), and a dictionary change.
#include <cstddef>
#include <cstdint>

#include "tables/record_message.h"

namespace {

void ReadEntries(QByteArrayView update, uint8_t code, int32_t size, int32_t sprSize) {
    ByteReader in(update);
    int32_t count = 0;
    if (!ReadUpdateHead(in, count)) {
        return;
    }
    while (in.Remaining() >= 2) {
        QString name;
        RecordEntryValue value;
        if (!ReadColumnName(in, name) || !ReadEntryValue(in, code, size, sprSize, value)) {
            return;
        }
    }
}

void ReadMessage(QByteArrayView message, uint8_t code, int32_t size, int32_t sprSize, bool inBatch) {
    int32_t kind = 0;
    QByteArrayView body;
    if (!ReadRecordMessage(message, kind, body)) {
        return;
    }
    QString table;
    int32_t value = 0;
    if ((kind == RecordKind::Update || kind == RecordKind::Deleted) && ReadRecordTarget(body, table, value)) {
        ReadEntries(body, code, size, sprSize);
    } else if (kind == RecordKind::Batch && !inBatch) {
        for (const QByteArrayView item : BatchItems(body)) {
            ReadMessage(item, code, size, sprSize, true);
        }
    }
}

}  // namespace

// Input: a type code, a Size and a SprSize byte (each as a signed value, so negative sizes come too),
// then the message.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const QByteArrayView message(reinterpret_cast<const char*>(data) + 3, qsizetype(size - 3));
    ReadMessage(message, data[0], int8_t(data[1]), int8_t(data[2]), false);
    DictionaryChange change;
    ReadDictionaryChange(message, change);
    return 0;
}
