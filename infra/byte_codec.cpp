#include "infra/byte_codec.h"

#include <algorithm>

#include "infra/codepage.h"

void AppendTextSlot(QByteArray& out, QByteArrayView text, qsizetype slot) {
    if (slot < 1) {
        return;
    }
    const qsizetype length = std::min({text.size(), slot - 1, kMaxShortText});
    out.append(char(uint8_t(length)));
    out.append(text.first(length));
    out.append(slot - 1 - length, '\0');
}

QByteArray TextSlot(const QString& text, int32_t slot) {
    QByteArray out;
    AppendTextSlot(out, toAnsi(text), slot);
    return out;
}

QString SlotText(QByteArrayView slot) {
    if (slot.isEmpty()) {
        return {};
    }
    const qsizetype length = std::min<qsizetype>(uint8_t(slot[0]), slot.size() - 1);
    return fromAnsi(slot.sliced(1, length));
}

void AppendShortText(QByteArray& out, QByteArrayView text) {
    const qsizetype length = std::min(text.size(), kMaxShortText);
    out.append(char(uint8_t(length)));
    out.append(text.first(length));
}
