#include "snapshot.h"

#include "tables/column_payload.h"

namespace {

Stru_NetFields FieldsOf(const ColumnDef& c) {
    Stru_NetFields f;
    f.n_abs = c.id;
    f.name = c.name;
    f.TypeField = c.code;
    f.Size = c.size;
    f.SprSize = c.sprSize;
    return f;
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
        c.blocks[i] = table.fileBlock(int(i));
        c.digests[i] = DigestHex(c.blocks[i].digest);
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
    TableFileWriter file(def.name, count);
    for (size_t i = 0; i < def.columns.size(); ++i) {
        file.AddColumn(FieldsOf(def.columns[i]), c.blocks[i].Extra);
    }
    for (size_t i = 0; i < def.columns.size(); ++i) {
        // A client caches a column only when the table has records; without records it holds nothing.
        if (count == 0 || clientDigests.value(def.columns[i].name) != c.digests[i]) {
            file.AddBlock(int32_t(i + 1), FieldsOf(def.columns[i]), c.blocks[i]);
        }
    }
    if (blocksSent) {
        *blocksSent = file.BlockCount();
    }
    return file.TakePieces();
}
