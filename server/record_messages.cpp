#include "record_messages.h"

#include "infra/byte_codec.h"
#include "infra/message_batch.h"

namespace {

QByteArray tableName(const TableData& table) {
    QByteArray out;
    AppendTextSlot(out, table.def().name.toLatin1(), 9);
    return out;
}

}  // namespace

QByteArray RecordUpdateBody(const TableData& table, int32_t row) {
    QByteArray out = tableName(table);
    AppendLE<int32_t>(out, row);
    AppendLE<int32_t>(out, table.count());
    const TableDef& def = table.def();
    for (size_t c = 0; c < def.columns.size(); ++c) {
        AppendTextSlot(out, def.columns[c].name.toLatin1(), 16);
        out.append(table.updateValue(row, int(c)));
    }
    return out;
}

QByteArray RecordUpdateMessage(const TableData& table, int32_t row) {
    QByteArray out;
    AppendLE<int32_t>(out, kRecordUpdate);
    return out + RecordUpdateBody(table, row);
}

QByteArray RecordDeletedMessage(const TableData& table, int32_t nAbs) {
    QByteArray out;
    AppendLE<int32_t>(out, kRecordDeleted);
    out.append(tableName(table));
    AppendLE<int32_t>(out, nAbs);
    return out;
}

QByteArray RecordBatch(const std::vector<QByteArray>& messages) {
    QByteArray out;
    BeginBatch(out);
    for (const QByteArray& message : messages) {
        if (!AppendBatchItem(out, message)) {
            break;
        }
    }
    return out;
}

QString RefreshDataText(const QByteArray& updateMessage) {
    const QByteArray body = updateMessage.mid(4);
    const QString name = QString::fromLatin1(body.mid(1, uint8_t(body.at(0))));
    const int32_t pos = GetLE<int32_t>(body.constData() + 9);
    return QStringLiteral("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"") + name +
           QStringLiteral("\",\"fields\":\"") + QString::fromLatin1(body.toHex().toUpper()) +
           QStringLiteral("\",\"pos\":") + QString::number(pos) + u'}';
}
