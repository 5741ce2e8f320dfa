#include "record_messages.h"

#include <QtEndian>

#include "snapshot.h"

namespace {

void putInt(QByteArray& out, int32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

QByteArray tableName(const TableData& table) {
    QByteArray out;
    PutFixedText(out, table.def().name.toLatin1(), 9);
    return out;
}

}  // namespace

QByteArray RecordUpdateBody(const TableData& table, int32_t row) {
    QByteArray out = tableName(table);
    putInt(out, row);
    putInt(out, table.count());
    const TableDef& def = table.def();
    for (size_t c = 0; c < def.columns.size(); ++c) {
        PutFixedText(out, def.columns[c].name.toLatin1(), 16);
        out.append(table.updateValue(row, int(c)));
    }
    return out;
}

QByteArray RecordUpdateMessage(const TableData& table, int32_t row) {
    QByteArray out;
    putInt(out, kRecordUpdate);
    return out + RecordUpdateBody(table, row);
}

QByteArray RecordDeletedMessage(const TableData& table, int32_t nAbs) {
    QByteArray out;
    putInt(out, kRecordDeleted);
    out.append(tableName(table));
    putInt(out, nAbs);
    return out;
}

QByteArray RecordBatch(const std::vector<QByteArray>& messages) {
    QByteArray out;
    putInt(out, kRecordBatch);
    out.append(char(uint8_t(std::min<size_t>(messages.size(), kMaxBatchItems))));
    for (size_t i = 0; i < messages.size() && i < size_t(kMaxBatchItems); ++i) {
        putInt(out, int32_t(messages[i].size()));
        out.append(messages[i]);
    }
    return out;
}

QString RefreshDataText(const QByteArray& updateMessage) {
    const QByteArray body = updateMessage.mid(4);
    const QString name = QString::fromLatin1(body.mid(1, uint8_t(body.at(0))));
    const int32_t pos = qFromLittleEndian<int32_t>(body.constData() + 9);
    return QStringLiteral("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"") + name +
           QStringLiteral("\",\"fields\":\"") + QString::fromLatin1(body.toHex().toUpper()) +
           QStringLiteral("\",\"pos\":") + QString::number(pos) + u'}';
}
