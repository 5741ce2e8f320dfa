#include "snapshot.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace {

constexpr int kTableNameField = 9;
constexpr int kColumnNameField = 16;

void putInt(QByteArray& out, int32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putDescriptor(QByteArray& out, int32_t nAbs, const ColumnDef& c, int32_t extra) {
    putInt(out, nAbs);
    PutFixedText(out, c.name.toLatin1(), kColumnNameField);
    out.append(char(c.code));
    putInt(out, c.size);
    putInt(out, c.sprSize);
    putInt(out, 0);
    putInt(out, extra);
}

}  // namespace

void PutFixedText(QByteArray& out, const QByteArray& text, int width) {
    const int n = int(std::min<qsizetype>(text.size(), width - 1));
    out.append(char(uint8_t(n)));
    out.append(text.constData(), n);
    out.append(QByteArray(width - 1 - n, '\0'));
}

SnapshotBuilder::Cached& SnapshotBuilder::refresh(const TableData& table) {
    Cached& c = cache_[table.def().name];
    if (c.version == table.version()) {
        return c;
    }
    const size_t n = table.def().columns.size();
    if (c.columnVersions.size() != n) {
        c.columnVersions.assign(n, UINT64_MAX);
        c.payloads.assign(n, {});
        c.digests.assign(n, {});
    }
    for (size_t i = 0; i < n; ++i) {
        if (c.columnVersions[i] == table.columnVersion(int(i))) {
            continue;
        }
        c.payloads[i] = table.cachePayload(int(i));
        c.digests[i] = QString::fromLatin1(
            QCryptographicHash::hash(c.payloads[i], QCryptographicHash::Md5).toHex().toUpper());
        c.columnVersions[i] = table.columnVersion(int(i));
    }
    c.version = table.version();
    return c;
}

QString SnapshotBuilder::digest(const TableData& table, int col) {
    return refresh(table).digests[size_t(col)];
}

QByteArray SnapshotBuilder::build(const TableData& table, const QHash<QString, QString>& clientDigests,
                                  int32_t* blocksSent) {
    const Cached& c = refresh(table);
    const TableDef& def = table.def();
    const int32_t count = table.count();
    const size_t n = def.columns.size();

    // The part of each payload a block carries; empty when the client holds the column already.
    // A dictionary's payload starts with the code byte and a 2-byte count the block does not carry;
    // its entries follow even when there are no records (then no values follow them).
    std::vector<QByteArrayView> parts(n);
    std::vector<bool> sent(n, false);
    qsizetype size = 21 + 37 * qsizetype(n);
    int32_t blockCount = 0;
    for (size_t i = 0; i < n; ++i) {
        // A client caches a column only when the table has records; without records it holds nothing.
        if (count > 0 && clientDigests.value(def.columns[i].name) == c.digests[i]) {
            continue;
        }
        const QByteArrayView payload(c.payloads[i]);
        if (IsDictionaryCode(def.columns[i].code)) {
            parts[i] = payload.size() > 3 ? payload.sliced(3) : QByteArrayView();
        } else if (count > 0) {
            parts[i] = payload;
        }
        sent[i] = true;
        size += 37 + parts[i].size();
        ++blockCount;
    }

    QByteArray out;
    out.reserve(size);
    PutFixedText(out, def.name.toLatin1(), kTableNameField);
    putInt(out, count);
    putInt(out, blockCount);
    putInt(out, int32_t(n));
    for (size_t i = 0; i < n; ++i) {
        putDescriptor(out, def.columns[i].id, def.columns[i], table.extraOf(int(i)));
    }
    for (size_t i = 0; i < n; ++i) {
        if (sent[i]) {
            putDescriptor(out, int32_t(i + 1), def.columns[i], table.extraOf(int(i)));
            out.append(parts[i]);
        }
    }
    if (blocksSent) {
        *blocksSent = blockCount;
    }
    return out;
}
