// Test helpers that build a table in memory as the server's column list would, and the bytes of the
// messages that change it: little-endian numbers, name slots and record updates. Shared by the tests
// and the fuzz targets of the tables.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <cstdint>
#include <span>

#include "infra/codepage.h"
#include "tables/base_client.h"

namespace client_tables {

template <typename T>
QByteArray LE(T value) {
    QByteArray bytes(sizeof(T), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// A length byte, the characters and zero filler: `slot` bytes in all.
inline QByteArray Slot(const QString& text, int slot) {
    QByteArray bytes = toAnsi(text);
    bytes.prepend(char(bytes.size()));
    bytes.append(slot - bytes.size(), '\0');
    return bytes;
}

// A record update of table "t": table name, position, record count, then one entry per column.
struct Update {
    QByteArray bytes;
    Update(int32_t pos, int32_t count) : bytes(Slot("t", 9) + LE(pos) + LE(count)) {}
    Update& Entry(const QString& name, const QByteArray& value) {
        bytes += Slot(name, 16) + value;
        return *this;
    }
};

inline Stru_NetFields Descriptor(const QString& name, uint8_t code, int32_t size, int32_t sprSize = 0) {
    Stru_NetFields fi;
    fi.name = name;
    fi.TypeField = code;
    fi.Size = size;
    fi.SprSize = sprSize;
    return fi;
}

struct Column {
    QString name;
    uint8_t code;
    int32_t size;
    int32_t spr = 0;
};

// A loaded column with room for `records` records; its identifier is its column number.
inline FieldGFB& AddColumn(TBaseClient& t, const Column& c, int32_t records) {
    Stru_NetFields fi = Descriptor(c.name, c.code, c.size, c.spr);
    fi.n_abs = int32_t(t.Fields.size()) + 1;
    FieldGFB& f = *t.Fields[size_t(t.AddField(fi))];
    f.Load = true;
    f.ResizeRecords(records);
    return f;
}

// A table "t" with the given columns and `records` records of zeros: no identifiers, no dictionary
// entries and no view yet.
inline void MakeBlankTable(TBaseClient& t, std::span<const Column> columns, int32_t records) {
    t.NameTableS = QStringLiteral("t");
    for (const Column& c : columns) {
        AddColumn(t, c, records);
    }
    t.CountRecord = records;
}

}  // namespace client_tables
