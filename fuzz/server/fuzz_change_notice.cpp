// Whatever another server announces, reading its notice and applying it neither crashes nor reads out
// of bounds: the input is taken as the notice's bytes (and, once, as its text as it stands); a notice
// that decodes is numbered to continue a fresh storage's changes and applied, and the record update of
// each record it changed is built.
#include <QByteArray>
#include <cstdint>

#include "server/change_notice.h"
#include "server/record_messages.h"
#include "server/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    ChangeNotice notice;
    DecodeChangeNotice(input, notice);
    if (!DecodeChangeNotice(input.toBase64(), notice)) {
        return 0;
    }
    notice.first = 1;
    const QByteArray text = EncodeChangeNotice(notice);
    Storage storage;
    QString error;
    if (text.isEmpty() || !storage.open(QStringLiteral(":memory:"), error)) {
        return 0;
    }
    storage.applyNotice(text);
    for (const Storage::Applied& a : storage.takeApplied()) {
        RecordUpdateMessage(*a.table, a.row);
    }
    return 0;
}
