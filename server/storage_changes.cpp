// The change log and what other servers committed: catching up, reading tables again when the log
// does not continue, and the connection's outages.
#include <algorithm>

#include "infra/codepage.h"
#include "storage.h"
#include "storage_sql.h"

namespace {

// The change log keeps this many entries; a server that was away for more reads the tables again.
constexpr int64_t kKeptChanges = 100000;
constexpr int64_t kPruneEvery = 1000;

}  // namespace

bool Storage::logChange(const QString& table, int kind, int64_t item, const QString& column) {
    const int64_t seq = lastSeq_ + 1;
    if (!db_->run(StorageSql::InsertChange(), {SqlValue::Int(seq), SqlValue::Text(table), SqlValue::Int(kind),
                                               SqlValue::Int(item), SqlValue::Text(column)})) {
        return false;
    }
    lastSeq_ = seq;
    if (seq % kPruneEvery == 0 && seq > kKeptChanges) {
        return db_->run(StorageSql::PruneChanges(), {SqlValue::Int(seq - kKeptChanges)});
    }
    return true;
}

bool Storage::catchUp() {
    int64_t newest = 0;
    int64_t oldest = 0;
    if (!db_->run(StorageSql::SelectLastChange(), {}, [&](const SqlRow& r) {
            newest = r.integer(0);
            oldest = r.integer(1);
        })) {
        return false;
    }
    if (newest == lastSeq_) {
        return true;
    }
    // The log is behind this server (the database was replaced) or no longer reaches back to the last
    // change seen (pruned while the server was away): only the tables themselves can tell.
    if (newest < lastSeq_ || oldest > lastSeq_ + 1) {
        if (log_) {
            log_(QStringLiteral("change log does not continue from change %1: reading every table again")
                     .arg(lastSeq_));
        }
        if (!resyncAll()) {
            return false;
        }
        lastSeq_ = newest;
        return true;
    }
    for (;;) {
        struct Entry {
            int64_t seq;
            QString table;
            int kind;
            int64_t item;
            QString column;
        };
        std::vector<Entry> entries;
        if (!db_->run(StorageSql::SelectChanges(), {SqlValue::Int(lastSeq_)}, [&](const SqlRow& r) {
                entries.push_back({r.integer(0), QString::fromUtf8(r.bytes(1)), int(r.integer(2)),
                                   r.integer(3), QString::fromUtf8(r.bytes(4))});
            })) {
            return false;
        }
        for (const Entry& e : entries) {
            if (!applyChange(e.seq, e.table, e.kind, e.item, e.column)) {
                return false;
            }
            lastSeq_ = e.seq;
        }
        if (entries.size() < 1000) {
            return true;
        }
    }
}

bool Storage::applyChange(int64_t seq, const QString& name, int kind, int64_t item, const QString& column) {
    using StorageSql::ChangeKind;
    if (kind == int(ChangeKind::Users)) {
        ++usersVersion_;
        return true;
    }
    TableData* t = table(name);
    if (!t) {
        return true;
    }
    if (kind == int(ChangeKind::Table)) {
        return resyncTable(*t);
    }
    if (kind == int(ChangeKind::Dictionary)) {
        const int col = t->def().indexOf(column);
        if (col < 0 || !FieldIsDictionary(t->def().columns[size_t(col)].code)) {
            return true;
        }
        return db_->run(StorageSql::SelectDictionaryEntry(),
                        {SqlValue::Text(name), SqlValue::Text(column), SqlValue::Int(item)},
                        [&](const SqlRow& r) {
                            t->putDictionaryEntry(col, uint32_t(item), toAnsi(QString::fromUtf8(r.bytes(0))));
                        });
    }
    if (kind != int(ChangeKind::Record) && kind != int(ChangeKind::Deleted)) {
        return true;
    }
    return db_->run(StorageSql::SelectRecord(t->def()), {SqlValue::Int(item)}, [&](const SqlRow& r) {
        bool changed = false;
        const int32_t row = putRow(*t, r, changed);
        if (row < 0) {
            if (log_) {
                log_(QStringLiteral("change %1: record %2 of %3 comes before the last one held, left out")
                         .arg(seq)
                         .arg(item)
                         .arg(name));
            }
            return;
        }
        applied_.push_back({t, row, kind == int(ChangeKind::Deleted)});
    });
}

bool Storage::resyncTable(TableData& t) {
    return readDictionaries(t) && eachRecordRow(t, [&](const SqlRow& r) {
               const int32_t known = t.rowOf(int32_t(r.integer(0)));
               const bool wasDeleted = known >= 0 && t.isDeleted(known);
               bool changed = false;
               const int32_t row = putRow(t, r, changed);
               if (row >= 0 && changed) {
                   applied_.push_back({&t, row, !wasDeleted && t.isDeleted(row)});
               }
           });
}

bool Storage::resyncAll() {
    ++usersVersion_;
    for (TableData& t : tables_) {
        if (!resyncTable(t)) {
            return false;
        }
    }
    return true;
}

// ---- other servers' changes, outages

int Storage::announcementSocket() const {
    return db_ ? db_->announcementSocket() : -1;
}

bool Storage::available() const {
    return db_ && db_->connected();
}

void Storage::refresh() {
    if (!db_ || !db_->connected()) {
        return;
    }
    // A database that announces nothing (SQLite) is not shared: nothing changes behind this server.
    if (db_->takeAnnouncements()) {
        if (!catchUp()) {
            failed();
        }
    } else if (!db_->connected()) {
        failed();
    }
}

void Storage::upkeep() {
    if (!db_ || db_->connected() || !db_->reconnect()) {
        return;
    }
    if (log_) {
        log_(QStringLiteral("database connection restored"));
    }
    down_ = false;
    if (!catchUp()) {
        failed();
    }
}

std::vector<Storage::Applied> Storage::takeApplied() {
    return std::exchange(applied_, {});
}
