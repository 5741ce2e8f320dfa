// Record messages the server distributes after a change: a record update (kind 2: the whole
// record with the table's new record count), a deletion (kind 3) and a batch of several (kind 4),
// plus the same update as the text command "refreshdatadatabase" with the bytes in hexadecimal.
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "infra/message_batch.h"
#include "table_data.h"

inline constexpr int32_t kRecordUpdate = 2;
inline constexpr int32_t kRecordDeleted = 3;

// Body of a kind-2 message: table name, position, record count, every column's entry.
QByteArray RecordUpdateBody(const TableData& table, int32_t row);
// Whole messages, with their kind field.
QByteArray RecordUpdateMessage(const TableData& table, int32_t row);
QByteArray RecordDeletedMessage(const TableData& table, int32_t nAbs);
// Several messages as one (at most kMaxBatchItems).
QByteArray RecordBatch(const std::vector<QByteArray>& messages);
// The text form of a kind-2 message: {"$c$":"refreshdatadatabase","nametable":..,"fields":..,"pos":..}.
QString RefreshDataText(const QByteArray& updateMessage);
