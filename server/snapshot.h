// Table files as clients load them, written with the tables' own writer (tables/table_file_writer.h):
// the column list, then one data block per column whose data the client does not already hold. A
// client tells what it holds by sending, per column, the MD5 of the column's payload exactly as its
// cache keeps it; a block whose digest matches is left out.
// Blocks and digests are cached per column and recomputed only for the columns that changed since,
// so fifty clients loading at once cost one pass over the data and a load after an edit costs a pass
// over the edited columns. A file is then the header, the descriptors and the cached blocks put
// together. Not thread-safe.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <vector>

#include "table_data.h"

class SnapshotBuilder {
  public:
    // Brings the table's cached blocks and digests up to date (the server does this at start, so the
    // first load does not wait for it).
    void prepare(const TableData& table) { refresh(table); }

    // Upper-case hexadecimal MD5 of the column's cache payload.
    QString digest(const TableData& table, int col);

    // The table file as pieces that follow one another: the header and descriptors made now, the
    // data blocks shared with the cache. clientDigests maps column names to the digests the client
    // sent. blocksSent, when given, receives the number of data blocks in the file.
    std::vector<QByteArray> buildPieces(const TableData& table, const QHash<QString, QString>& clientDigests,
                                        int32_t* blocksSent = nullptr);

  private:
    struct Cached {
        uint64_t version = UINT64_MAX;
        std::vector<uint64_t> columnVersions;  // the column's version its block was made at
        std::vector<TableFileBlock> blocks;
        std::vector<QString> digests;
    };
    Cached& refresh(const TableData& table);

    QHash<QString, Cached> cache_;
};
