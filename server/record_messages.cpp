#include "record_messages.h"

#include "infra/bytes.h"
#include "infra/session_texts.h"
#include "tables/record_message.h"

QByteArray RecordUpdateMessage(const TableData& table, int32_t row) {
    QByteArray body;
    AppendUpdateHead(body, table.def().name, row, table.count());
    const TableDef& def = table.def();
    for (size_t c = 0; c < def.columns.size(); ++c) {
        AppendColumnName(body, def.columns[c].name);
        body.append(table.updateValue(row, int(c)));
    }
    return RecordMessage(RecordKind::Update, body);
}

QByteArray RecordDeletedMessage(const TableData& table, int32_t nAbs) {
    return RecordMessage(RecordKind::Deleted, DeletedBody(table.def().name, nAbs));
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
    int32_t kind = 0;
    QByteArrayView body;
    QString name;
    int32_t pos = 0;
    ReadRecordMessage(updateMessage, kind, body);
    ReadRecordTarget(body, name, pos);
    return CommandHead(Cmd::RefreshDataDatabase) + QStringLiteral(",\"nametable\":\"") + name +
           QStringLiteral("\",\"fields\":\"") + QString::fromLatin1(body.toByteArray().toHex().toUpper()) +
           QStringLiteral("\",\"pos\":") + QString::number(pos) + u'}';
}

QByteArray RefreshDataBytes(const QByteArray& updateMessage, qsizetype maxBytes) {
    int32_t kind = 0;
    QByteArrayView body;
    if (!ReadRecordMessage(updateMessage, kind, body) || kind != RecordKind::Update ||
        2 * body.size() > maxBytes) {
        return {};
    }
    QByteArray bytes;
    StrToBytes(RefreshDataText(updateMessage), bytes);
    return bytes.size() <= maxBytes ? bytes : QByteArray();
}
