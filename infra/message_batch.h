// A batch: several messages carried as one. Its bytes are the kind 4 (32 bits), the number of
// messages (one byte, so at most 255), then each message behind its 32-bit length. The server sends
// record messages this way and the queues hand out their front messages this way (GetSoob10).
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <vector>

inline constexpr int32_t kBatchKind = 4;
inline constexpr int kMaxBatchItems = 255;

// out becomes an empty batch.
void BeginBatch(QByteArray& out);
// Appends a message to the batch begun in out; false (nothing appended) when it holds kMaxBatchItems.
bool AppendBatchItem(QByteArray& out, QByteArrayView message);
// The messages of a batch's body (what follows its kind), in order; messages running past the end
// of the body are left out, with every one after them.
std::vector<QByteArrayView> BatchItems(QByteArrayView body);
