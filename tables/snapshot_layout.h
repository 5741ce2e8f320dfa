// The fixed parts of a table file (see docs/table-file-format.md): the 21-byte header and the 37-byte
// column / block descriptor, read and written field by field (little-endian). The structure cache
// stores both exactly as they were read. Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

#include "infra/byte_codec.h"
#include "tables/base_client.h"

inline constexpr qsizetype kTableHeaderSize = 21;
inline constexpr qsizetype kDescriptorSize = 37;

struct TableHeader {
    QString name;  // up to 8 characters
    int32_t RecordCount = 0;
    int32_t DataBlockCount = 0;
    int32_t ColumnCount = 0;
    QByteArrayView raw;  // the 21 bytes as read
};

// A column descriptor of the column list, or a block descriptor (then fields.n_abs is the 1-based
// position of the column). Extra: the entry count (codes 15, 16) or blob length (code 24).
struct ColumnDescriptor {
    Stru_NetFields fields;
    int32_t Extra = 0;
    QByteArrayView raw;  // the 37 bytes as read
};

bool ReadTableHeader(ByteReader& in, TableHeader& header);
bool ReadColumnDescriptor(ByteReader& in, ColumnDescriptor& descriptor);

void AppendTableHeader(QByteArray& out, const QString& name, int32_t recordCount, int32_t blockCount,
                       int32_t columnCount);
void AppendColumnDescriptor(QByteArray& out, const Stru_NetFields& fields, int32_t extra);

// Whether a name taken from a file may name a file of ours: one path component, no way out of the
// folder it is put in.
bool IsSafeFileComponent(const QString& name);
