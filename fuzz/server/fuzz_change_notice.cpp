// Whatever another server announces, reading its notice and applying it neither crashes nor reads out
// of bounds. The input is read twice: as a notice's text and bytes, as they stand; then as choices
// that build a notice (entries of any kind, table, item and column, values of any type, count and
// length), which is encoded, decoded and applied to a fresh storage whose next change it is; the
// record update of each record it changed is built.
#include <QByteArray>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "server/change_notice.h"
#include "server/record_messages.h"
#include "server/storage.h"

namespace {

SqlValue anyValue(FuzzInput& in) {
    switch (in.byte() % 4) {
        case 0:
            return SqlValue::Int(in.integer());
        case 1: {
            const int64_t bits = in.integer();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return SqlValue::Real(d);
        }
        case 2:
            return SqlValue::Text(in.bytes());
        default:
            return SqlValue::Bytes(in.bytes());
    }
}

ChangeNotice anyNotice(FuzzInput& in) {
    ChangeNotice notice;
    notice.first = 1;
    for (int entries = in.byte() % 4 + 1; entries > 0; --entries) {
        const TableDef& def = ServerTables()[in.byte() % ServerTables().size()];
        ChangeNotice::Entry e;
        e.kind = in.byte() % 7;
        e.table = in.byte() % 8 == 0 ? QString::fromUtf8(in.bytes()) : def.name;
        e.item = in.integer();
        const uint8_t column = in.byte();
        e.column = column < def.columns.size() ? def.columns[column].name : QString::fromUtf8(in.bytes());
        for (int values = in.byte() % int(def.columns.size() + 3); values > 0; --values) {
            e.values.push_back(anyValue(in));
        }
        notice.entries.push_back(e);
    }
    return notice;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    ChangeNotice decoded;
    DecodeChangeNotice(input, decoded);
    DecodeChangeNotice(input.toBase64(), decoded);

    FuzzInput in(data, size);
    const QByteArray text = EncodeChangeNotice(anyNotice(in));
    Storage storage;
    QString error;
    if (text.isEmpty() || !DecodeChangeNotice(text, decoded) ||
        !storage.open(QStringLiteral(":memory:"), error)) {
        return 0;
    }
    storage.applyNotice(text);
    for (const Storage::Applied& a : storage.takeApplied()) {
        RecordUpdateMessage(*a.table, a.row);
    }
    return 0;
}
