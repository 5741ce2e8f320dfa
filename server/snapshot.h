// Table files as clients load them: a 21-byte header, one 37-byte descriptor per column, then one
// data block per column whose data the client does not already hold. A client tells what it holds
// by sending, per column, the MD5 of the column's payload exactly as its cache keeps it; a block
// whose digest matches is left out.
// Payloads and digests are cached per table and recomputed only after the table has changed, so
// fifty clients loading at once cost one pass over the data. Not thread-safe.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <vector>

#include "table_data.h"

class SnapshotBuilder {
  public:
    // Upper-case hexadecimal MD5 of the column's cache payload.
    QString digest(const TableData& table, int col);

    // The table file; clientDigests maps column names to the digests the client sent.
    // blocksSent, when given, receives the number of data blocks in the file.
    QByteArray build(const TableData& table, const QHash<QString, QString>& clientDigests,
                     int32_t* blocksSent = nullptr);

  private:
    struct Cached {
        uint64_t version = UINT64_MAX;
        std::vector<QByteArray> payloads;
        std::vector<QString> digests;
    };
    Cached& refresh(const TableData& table);

    QHash<QString, Cached> cache_;
};

// A text in a fixed field: a length byte, up to width - 1 characters, zero filler.
void PutFixedText(QByteArray& out, const QByteArray& text, int width);
