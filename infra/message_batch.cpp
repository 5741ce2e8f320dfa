#include "infra/message_batch.h"

#include "infra/byte_codec.h"

namespace {

constexpr qsizetype kCountAt = 4;

}  // namespace

void BeginBatch(QByteArray& out) {
    out.clear();
    AppendLE(out, kBatchKind);
    out.append('\0');
}

bool AppendBatchItem(QByteArray& out, QByteArrayView message) {
    const int count = uint8_t(out[kCountAt]);
    if (count >= kMaxBatchItems) {
        return false;
    }
    AppendLE(out, int32_t(message.size()));
    out.append(message);
    out[kCountAt] = char(uint8_t(count + 1));
    return true;
}

std::vector<QByteArrayView> BatchItems(QByteArrayView body) {
    ByteReader in(body);
    uint8_t count = 0;
    std::vector<QByteArrayView> items;
    if (!in.Read(count)) {
        return items;
    }
    for (int i = 0; i < count; ++i) {
        int32_t length = 0;
        QByteArrayView item;
        if (!in.Read(length) || !in.Take(length, item)) {
            break;
        }
        items.push_back(item);
    }
    return items;
}
