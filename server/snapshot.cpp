#include "snapshot.h"

#include <QCryptographicHash>

#include "infra/byte_codec.h"

namespace {

constexpr int kTableNameField = 9;
constexpr int kColumnNameField = 16;

void putDescriptor(QByteArray& out, int32_t nAbs, const ColumnDef& c, int32_t extra) {
    AppendLE<int32_t>(out, nAbs);
    AppendTextSlot(out, c.name.toLatin1(), kColumnNameField);
    out.append(char(c.code));
    AppendLE<int32_t>(out, c.size);
    AppendLE<int32_t>(out, c.sprSize);
    AppendLE<int32_t>(out, 0);
    AppendLE<int32_t>(out, extra);
}

}  // namespace

SnapshotBuilder::Cached& SnapshotBuilder::refresh(const TableData& table) {
    Cached& c = cache_[table.def().name];
    if (c.version == table.version()) {
        return c;
    }
    const size_t n = table.def().columns.size();
    if (c.columnVersions.size() != n) {
        c.columnVersions.assign(n, UINT64_MAX);
        c.blocks.assign(n, {});
        c.digests.assign(n, {});
    }
    for (size_t i = 0; i < n; ++i) {
        if (c.columnVersions[i] == table.columnVersion(int(i))) {
            continue;
        }
        const QByteArray payload = table.cachePayload(int(i));
        c.blocks[i] = IsDictionaryCode(table.def().columns[i].code) ? payload.mid(3) : payload;
        c.digests[i] =
            QString::fromLatin1(QCryptographicHash::hash(payload, QCryptographicHash::Md5).toHex().toUpper());
        c.columnVersions[i] = table.columnVersion(int(i));
    }
    c.version = table.version();
    return c;
}

QString SnapshotBuilder::digest(const TableData& table, int col) {
    return refresh(table).digests[size_t(col)];
}

std::vector<QByteArray> SnapshotBuilder::buildPieces(const TableData& table,
                                                     const QHash<QString, QString>& clientDigests,
                                                     int32_t* blocksSent) {
    const Cached& c = refresh(table);
    const TableDef& def = table.def();
    const int32_t count = table.count();
    const size_t n = def.columns.size();

    // A client caches a column only when the table has records; without records it holds nothing.
    std::vector<bool> sent(n, false);
    int32_t blockCount = 0;
    for (size_t i = 0; i < n; ++i) {
        sent[i] = count == 0 || clientDigests.value(def.columns[i].name) != c.digests[i];
        blockCount += sent[i] ? 1 : 0;
    }

    std::vector<QByteArray> pieces;
    QByteArray head;
    head.reserve(21 + 37 * qsizetype(n));
    AppendTextSlot(head, def.name.toLatin1(), kTableNameField);
    AppendLE<int32_t>(head, count);
    AppendLE<int32_t>(head, blockCount);
    AppendLE<int32_t>(head, int32_t(n));
    for (size_t i = 0; i < n; ++i) {
        putDescriptor(head, def.columns[i].id, def.columns[i], table.extraOf(int(i)));
    }
    for (size_t i = 0; i < n; ++i) {
        if (!sent[i]) {
            continue;
        }
        putDescriptor(head, int32_t(i + 1), def.columns[i], table.extraOf(int(i)));
        // A dictionary's entries travel even when there are no records (then no values follow them).
        if (IsDictionaryCode(def.columns[i].code) || count > 0) {
            pieces.push_back(std::move(head));
            pieces.push_back(c.blocks[i]);
            head = QByteArray();
        }
    }
    if (!head.isEmpty()) {
        pieces.push_back(std::move(head));
    }
    if (blocksSent) {
        *blocksSent = blockCount;
    }
    return pieces;
}
