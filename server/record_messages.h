// The record messages the server distributes after a change, made from its tables through the record
// message codec (tables/record_message.h): a record update (the whole record with the table's new
// record count), a deletion and a batch of several, plus the same update as the text command
// "refreshdatadatabase" with the bytes in hexadecimal. Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "table_data.h"
#include "tables/record_message.h"

// Whole messages, with their kind field.
QByteArray RecordUpdateMessage(const TableData& table, int32_t row);
QByteArray RecordDeletedMessage(const TableData& table, int32_t nAbs);
// Several messages as one (at most kMaxBatchItems).
QByteArray RecordBatch(const std::vector<QByteArray>& messages);
// The text form of a kind-2 message: {"$c$":"refreshdatadatabase","nametable":..,"fields":..,"pos":..}.
QString RefreshDataText(const QByteArray& updateMessage);
// The same as the bytes sent, when the message is an update whose text is no longer than maxBytes;
// empty otherwise (without building a text that could not go).
QByteArray RefreshDataBytes(const QByteArray& updateMessage, qsizetype maxBytes);
