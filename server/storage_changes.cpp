// The change log and what other servers committed: catching up, reading tables again when the log
// does not continue, and the connection's outages.
#include <algorithm>

#include "change_notice.h"
#include "infra/codepage.h"
#include "storage.h"
#include "storage_sql.h"

namespace {

// The change log keeps this many entries; a server that was away for more reads the tables again.
constexpr int64_t kKeptChanges = 100000;
constexpr int64_t kPruneEvery = 1000;

}  // namespace

void Storage::logChange(SqlBatch& batch, const QString& table, int kind, int64_t item,
                        const QString& column) {
    const int64_t seq = ++lastSeq_;
    batch.push_back({StorageSql::InsertChange(),
                     {SqlValue::Int(seq), SqlValue::Text(table), SqlValue::Int(kind), SqlValue::Int(item),
                      SqlValue::Text(column)},
                     {}});
    if (seq % kPruneEvery == 0 && seq > kKeptChanges) {
        batch.push_back({StorageSql::PruneChanges(), {SqlValue::Int(seq - kKeptChanges)}, {}});
    }
}

struct Storage::LogEntry {
    int64_t seq;
    QString table;
    int kind;
    int64_t item;
    QString column;
};

struct Storage::LogRead {
    int64_t newest = 0;
    int64_t oldest = 0;
    std::vector<LogEntry> entries;  // a page from the last change applied on
};

SqlStatement Storage::selectChanges(int64_t after, LogRead& read) {
    return {StorageSql::SelectChanges(), {SqlValue::Int(after)}, [&read](const SqlRow& r) {
                read.entries.push_back({r.integer(0), QString::fromUtf8(r.bytes(1)), int(r.integer(2)),
                                        r.integer(3), QString::fromUtf8(r.bytes(4))});
            }};
}

SqlBatch Storage::readLog(LogRead& read) const {
    return {{StorageSql::SelectLastChange(),
             {},
             [&read](const SqlRow& r) {
                 read.newest = r.integer(0);
                 read.oldest = r.integer(1);
             }},
            selectChanges(lastSeq_, read)};
}

bool Storage::lockAndCatchUp(const SqlBatch& also) {
    if (!db_->connected()) {
        lastError_ = QStringLiteral("database unavailable");
        return false;
    }
    LogRead read;
    SqlBatch batch = readLog(read);
    batch.insert(batch.end(), also.begin(), also.end());
    if (!db_->beginWrite(batch) || !applyLog(read)) {
        return failed();
    }
    return true;
}

bool Storage::catchUp() {
    LogRead read;
    return db_->runBatch(readLog(read)) && applyLog(read);
}

bool Storage::applyLog(LogRead& read) {
    if (read.newest == lastSeq_) {
        return true;
    }
    // The log is behind this server (the database was replaced) or no longer reaches back to the last
    // change seen (pruned while the server was away): only the tables themselves can tell.
    if (read.newest < lastSeq_ || read.oldest > lastSeq_ + 1) {
        if (log_) {
            log_(QStringLiteral("change log does not continue from change %1: reading every table again")
                     .arg(lastSeq_));
        }
        if (!resyncAll()) {
            return false;
        }
        lastSeq_ = read.newest;
        return true;
    }
    for (;;) {
        if (!applyEntries(read.entries)) {
            return false;
        }
        if (read.entries.size() < StorageSql::kChangesPage) {
            return true;
        }
        read.entries.clear();
        if (!db_->runBatch({selectChanges(lastSeq_, read)})) {
            return false;
        }
    }
}

bool Storage::applyEntries(const std::vector<LogEntry>& entries) {
    // The records and dictionary entries of a run of changes are read in one batch; a table read
    // again ends the run.
    SqlBatch batch;
    int64_t batchEnd = lastSeq_;
    const auto flush = [&] {
        if (!batch.empty() && !db_->runBatch(batch)) {
            return false;
        }
        batch.clear();
        lastSeq_ = batchEnd;
        return true;
    };
    for (const LogEntry& e : entries) {
        TableData* t = table(e.table);
        if (t && e.kind == int(StorageSql::ChangeKind::Table)) {
            if (!flush() || !resyncTable(*t)) {
                return false;
            }
        } else {
            readChange(e, t, batch);
        }
        batchEnd = e.seq;
    }
    return flush();
}

void Storage::readChange(const LogEntry& e, TableData* t, SqlBatch& batch, const SqlRow* values) {
    using StorageSql::ChangeKind;
    const auto take = [&batch, values](SqlStatement&& read) {
        if (values) {
            read.eachRow(*values);
        } else {
            batch.push_back(std::move(read));
        }
    };
    if (e.kind == int(ChangeKind::Users)) {
        ++usersVersion_;
        return;
    }
    if (!t) {
        return;
    }
    const uint32_t key = uint32_t(e.item);
    if (e.kind == int(ChangeKind::Dictionary)) {
        const int col = t->def().indexOf(e.column);
        if (col >= 0 && FieldIsDictionary(t->def().columns[size_t(col)].code)) {
            take({StorageSql::SelectDictionaryEntry(),
                  {SqlValue::Text(e.table), SqlValue::Text(e.column), SqlValue::Int(e.item)},
                  [t, col, key](const SqlRow& r) {
                      t->putDictionaryEntry(col, key, toAnsi(QString::fromUtf8(r.bytes(0))));
                  }});
        }
        return;
    }
    if (e.kind != int(ChangeKind::Record) && e.kind != int(ChangeKind::Deleted)) {
        return;
    }
    const bool deleted = e.kind == int(ChangeKind::Deleted);
    take(
        {StorageSql::SelectRecord(t->def()), {SqlValue::Int(e.item)}, [this, t, e, deleted](const SqlRow& r) {
             bool changed = false;
             const int32_t row = putRow(*t, r, changed);
             if (row >= 0) {
                 applied_.push_back({t, row, deleted});
             } else if (log_) {
                 log_(QStringLiteral("change %1: record %2 of %3 comes before the last one held, left out")
                          .arg(e.seq)
                          .arg(e.item)
                          .arg(e.table));
             }
         }});
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
    std::vector<QByteArray> notices;
    if (db_->takeAnnouncements(notices)) {
        // Notices come in commit order: once one cannot be applied, the log tells the rest.
        const bool applied = std::all_of(notices.begin(), notices.end(),
                                         [this](const QByteArray& n) { return applyNotice(n); });
        if (!applied && !catchUp()) {
            failed();
        }
    } else if (!db_->connected()) {
        failed();
    }
}

bool Storage::applyNotice(QByteArrayView text) {
    using StorageSql::ChangeKind;
    ChangeNotice notice;
    if (!DecodeChangeNotice(text, notice)) {
        return false;
    }
    if (notice.last() <= lastSeq_) {
        return true;
    }
    const bool known = std::all_of(notice.entries.begin(), notice.entries.end(), [](const auto& e) {
        return e.kind == int(ChangeKind::Record) || e.kind == int(ChangeKind::Deleted) ||
               e.kind == int(ChangeKind::Dictionary);
    });
    if (notice.first != lastSeq_ + 1 || !known) {
        return false;
    }
    SqlBatch none;
    for (const ChangeNotice::Entry& n : notice.entries) {
        const ParamsRow values(n.values);
        readChange({lastSeq_ + 1, n.table, n.kind, n.item, n.column}, table(n.table), none, &values);
        ++lastSeq_;
    }
    return true;
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
