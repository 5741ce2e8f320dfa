#include "tables/byte_codec.h"

#include <algorithm>

#include "infra/codepage.h"

QByteArray TextSlot(const QString& text, int32_t slot) {
    QByteArray out(std::max(slot, 0), '\0');
    if (out.isEmpty()) {
        return out;
    }
    const QByteArray ansi = toAnsi(text);
    const qsizetype len = std::min<qsizetype>({ansi.size(), out.size() - 1, 255});
    out[0] = char(uint8_t(len));
    std::memcpy(out.data() + 1, ansi.constData(), size_t(len));
    return out;
}

QString SlotText(QByteArrayView slot) {
    if (slot.isEmpty()) {
        return {};
    }
    const qsizetype len = std::min<qsizetype>(uint8_t(slot[0]), slot.size() - 1);
    return fromAnsi(slot.sliced(1, len));
}
