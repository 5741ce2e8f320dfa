// Whatever a database holds, the storage neither crashes nor reads or writes out of bounds: a record
// row of any types and lengths, a dictionary entry of any column and key, and change log entries of
// any kind, table and item are planted in an SQLite file; a storage then reads the tables, applies
// the log and builds the record update of each record it applied.
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "server/record_messages.h"
#include "server/storage.h"

namespace {

// Binds one value of a type the input picks: integer, real, text, blob or NULL.
void bindAny(sqlite3_stmt* st, int index, FuzzInput& in) {
    switch (in.byte() % 5) {
        case 0:
            sqlite3_bind_int64(st, index, in.integer());
            break;
        case 1: {
            const int64_t bits = in.integer();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            sqlite3_bind_double(st, index, d);
            break;
        }
        case 2: {
            const QByteArray b = in.bytes();
            sqlite3_bind_text(st, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case 3: {
            const QByteArray b = in.bytes();
            sqlite3_bind_blob(st, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default:
            sqlite3_bind_null(st, index);
            break;
    }
}

void plant(sqlite3* db, const QByteArray& sql, FuzzInput& in, int values) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
        for (int i = 1; i <= values; ++i) {
            bindAny(st, i, in);
        }
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
}

// A folder in memory where there is one: each input's writes are committed, and a commit to a disk
// waits for the disk.
QString Folder() {
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/mobcfg-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/mobcfg-fuzz-XXXXXX"));
    return dir.path();
}

// An empty database of the current schema, made once: every input starts from a copy of it (making
// the schema is most of the work of opening a new file).
const QString& EmptyDatabase() {
    static const QString path = [] {
        const QString p = Folder() + QStringLiteral("/empty.db");
        Storage schema;
        QString error;
        return schema.open(p, error) ? p : QString();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = Folder() + QStringLiteral("/rows.db");
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    if (EmptyDatabase().isEmpty() || !QFile::copy(EmptyDatabase(), path)) {
        return 0;
    }
    FuzzInput in(data, size);
    QString error;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return 0;
    }
    const TableDef& def = ServerTables()[in.byte() % ServerTables().size()];
    const QByteArray name = def.name.toUtf8();
    for (int rows = in.byte() % 4; rows > 0; --rows) {
        QByteArray marks = "?";
        for (size_t c = 1; c < def.columns.size(); ++c) {
            marks += ",?";
        }
        plant(db, "INSERT OR REPLACE INTO \"" + name + "\" VALUES (" + marks + ")", in,
              int(def.columns.size()));
    }
    plant(db, "INSERT OR REPLACE INTO dictionary (tbl, col, key, text) VALUES ('" + name + "',?,?,?)", in, 3);
    Storage storage;
    if (storage.open(path, error)) {
        for (int entries = in.byte() % 4, seq = 1; entries > 0; --entries, ++seq) {
            plant(db,
                  "INSERT INTO changes (seq, tbl, kind, item, col) VALUES (" + QByteArray::number(seq) +
                      ",'" + name + "',?,?,?)",
                  in, 3);
        }
        if (storage.beginChange()) {
            storage.abandonChange();
        }
        for (const Storage::Applied& a : storage.takeApplied()) {
            RecordUpdateMessage(*a.table, a.row);
        }
        for (TableData& t : storage.tables()) {
            if (t.count() > 0) {
                RecordUpdateMessage(t, t.count() - 1);
            }
        }
    }
    sqlite3_close(db);
    return 0;
}
