#include "storage.h"

#include <algorithm>
#include <utility>

#include "change_notice.h"
#include "infra/codepage.h"
#include "postgres_database.h"
#include "sqlite_database.h"
#include "storage_sql.h"

namespace {

bool sameReal(double a, double b) {
    return a == b || (a != a && b != b);
}

}  // namespace

Storage::Storage() {
    for (const TableDef& def : ServerTables()) {
        tables_.emplace_back(def);
    }
}

Storage::~Storage() = default;

bool Storage::open(const QString& database, QString& error) {
    if (PostgresDatabase::IsUri(database)) {
        auto pg = std::make_unique<PostgresDatabase>();
        if (!pg->open(database)) {
            error = pg->error();
            return false;
        }
        db_ = std::move(pg);
        shared_ = true;
    } else {
        auto lite = std::make_unique<SqliteDatabase>();
        if (!lite->open(database)) {
            error = lite->error();
            return false;
        }
        db_ = std::move(lite);
    }
    if (!migrate(error)) {
        return false;
    }
    // The log position is read before the tables: a change committed in between is applied once
    // more, which changes nothing, rather than not at all.
    if (!db_->run(StorageSql::SelectLastChange(), {}, [this](const SqlRow& r) { lastSeq_ = r.integer(0); })) {
        error = db_->error();
        return false;
    }
    for (TableData& t : tables_) {
        if (!readTable(t)) {
            error = db_->error();
            return false;
        }
    }
    return true;
}

bool Storage::migrate(QString& error) {
    int version = -1;
    bool ok = db_->beginWrite() && db_->run(StorageSql::CreateVersionTable()) &&
              db_->run(StorageSql::SelectVersion(), {},
                       [&version](const SqlRow& r) { version = int(r.integer(0)); });
    if (ok && version < 0) {
        version = 0;
        ok = db_->run(StorageSql::InsertVersion(), {SqlValue::Int(0)});
    }
    if (ok && version > StorageSql::kSchemaVersion) {
        db_->rollback();
        error = QStringLiteral("the database has schema version %1, newer than this server's %2")
                    .arg(version)
                    .arg(StorageSql::kSchemaVersion);
        return false;
    }
    for (int v = version + 1; ok && v <= StorageSql::kSchemaVersion; ++v) {
        for (const QByteArray& step : StorageSql::MigrationTo(v, db_->types())) {
            ok = ok && db_->run(step);
        }
        ok = ok && db_->run(StorageSql::UpdateVersion(), {SqlValue::Int(v)});
    }
    if (!ok || !db_->commit()) {
        error = db_->error();
        db_->rollback();
        return false;
    }
    return true;
}

bool Storage::readDictionaries(TableData& t) {
    struct Entry {
        int col;
        uint32_t key;
        QByteArray text;
    };
    std::vector<Entry> entries;
    const bool ok =
        db_->run(StorageSql::SelectDictionaries(), {SqlValue::Text(t.def().name)}, [&](const SqlRow& r) {
            const int col = t.def().indexOf(QString::fromUtf8(r.bytes(0)));
            if (col >= 0 && FieldIsDictionary(t.def().columns[size_t(col)].code)) {
                entries.push_back({col, uint32_t(r.integer(1)), toAnsi(QString::fromUtf8(r.bytes(2)))});
            }
        });
    for (const Entry& e : entries) {
        const std::vector<DictionaryEntry>& dict = t.column(e.col).dict;
        const bool known = std::any_of(dict.begin(), dict.end(), [&e](const DictionaryEntry& d) {
            return d.key == e.key && d.text == e.text;
        });
        if (!known) {
            t.putDictionaryEntry(e.col, e.key, e.text);
        }
    }
    return ok;
}

bool Storage::eachRecordRow(const TableData& t, const std::function<void(const SqlRow&)>& each) {
    const QByteArray select = StorageSql::SelectRecordPage(t.def());
    for (int64_t after = 0;;) {
        int rows = 0;
        const bool ok = db_->run(select, {SqlValue::Int(after)}, [&](const SqlRow& r) {
            each(r);
            after = r.integer(0);
            ++rows;
        });
        if (!ok) {
            return false;
        }
        if (rows < StorageSql::kRecordPage) {
            return true;
        }
    }
}

bool Storage::readTable(TableData& t) {
    return readDictionaries(t) && eachRecordRow(t, [&](const SqlRow& r) {
               bool changed = false;
               putRow(t, r, changed);
           });
}

int32_t Storage::putRow(TableData& t, const SqlRow& r, bool& changed) {
    const TableDef& def = t.def();
    const int64_t id = r.integer(0);
    if (id <= 0 || id > INT32_MAX) {
        return -1;
    }
    int32_t row = t.rowOf(int32_t(id));
    changed = row < 0;
    if (row < 0) {
        // Rows keep identifier order: one that does not come after the last cannot be placed.
        if (t.count() > 0 && t.nAbsAt(t.count() - 1) > id) {
            return -1;
        }
        row = t.appendRecordWithId(int32_t(id));
    }
    for (size_t c = 1; c < def.columns.size(); ++c) {
        const uint8_t code = def.columns[c].code;
        const int i = int(c);
        if (IsRealCode(code)) {
            const double v = r.real(i);
            if (changed || !sameReal(t.realAt(row, i), v)) {
                t.setReal(row, i, v);
                changed = true;
            }
        } else if (IsTextCode(code) || code == FieldCode::ByteArray) {
            const QByteArray raw = r.bytes(i);
            const QByteArray v = code == FieldCode::ByteArray ? raw : toAnsi(QString::fromUtf8(raw));
            if (changed || t.bytesAt(row, i) != v) {
                t.setBytes(row, i, v);
                changed = true;
            }
        } else {
            const int64_t v = r.integer(i);
            if (changed || t.intAt(row, i) != v) {
                t.setInt(row, i, v);
                changed = true;
            }
        }
    }
    return row;
}

TableData* Storage::table(const QString& name) {
    for (TableData& t : tables_) {
        if (t.def().name == name) {
            return &t;
        }
    }
    return nullptr;
}

SqlParams Storage::recordParams(const TableData& t, int32_t row) const {
    const TableDef& def = t.def();
    SqlParams params;
    params.reserve(def.columns.size());
    for (size_t c = 0; c < def.columns.size(); ++c) {
        const uint8_t code = def.columns[c].code;
        const int i = int(c);
        if (IsRealCode(code)) {
            params.push_back(SqlValue::Real(t.realAt(row, i)));
        } else if (IsTextCode(code)) {
            params.push_back(SqlValue::Text(fromAnsi(t.bytesAt(row, i))));
        } else if (code == FieldCode::ByteArray) {
            params.push_back(SqlValue::Bytes(t.bytesAt(row, i)));
        } else {
            params.push_back(SqlValue::Int(t.intAt(row, i)));
        }
    }
    return params;
}

bool Storage::failed() {
    lastError_ = db_->error();
    db_->rollback();
    bulkFailed_ = bulkFailed_ || inBulk_;
    if (!db_->connected()) {
        if (!down_ && log_) {
            log_(QStringLiteral("database unavailable: %1; changes are refused until it is back")
                     .arg(lastError_));
        }
        down_ = true;
        lastError_ = QStringLiteral("database unavailable");
    } else if (log_) {
        log_(QStringLiteral("database error: ") + lastError_);
    }
    return false;
}

bool Storage::endWrite(bool ok, const SqlBatch& last, int64_t before, const QByteArray& notice, bool atOnce) {
    if (ok) {
        db_->announce(notice);
        if (atOnce ? db_->writeAtOnce(last) : db_->commit(last)) {
            return true;
        }
    }
    lastSeq_ = before;
    // Written at once and still connected, the database refused the log number: another server's
    // change came first. Made again under the lock, a change refused for another reason is refused then.
    raced_ = ok && atOnce && db_->connected();
    if (raced_) {
        lastError_ = db_->error();
        return false;
    }
    return failed();
}

bool Storage::endOwnOrBulkWrite(bool own, const SqlBatch& batch, int64_t before) {
    if (!own) {
        return !bulkFailed_ && (db_->runBatch(batch) || failed());
    }
    return endWrite(true, batch, before);
}

// ---- writes of this process alone

void Storage::begin() {
    bulkTables_.clear();
    bulkStartSeq_ = lastSeq_;
    inBulk_ = true;
    bulkFailed_ = !lockAndCatchUp();
}

bool Storage::commit() {
    inBulk_ = false;
    SqlBatch logged;
    for (TableData* t : bulkTables_) {
        logChange(logged, t->def().name, int(StorageSql::ChangeKind::Table), 0, {});
    }
    bulkTables_.clear();
    if (bulkFailed_) {
        lastSeq_ = bulkStartSeq_;
        return false;
    }
    return endWrite(true, logged, bulkStartSeq_);
}

bool Storage::saveRecord(const TableData& t, int32_t row) {
    if (inBulk_) {
        if (std::find(bulkTables_.begin(), bulkTables_.end(), &t) == bulkTables_.end()) {
            bulkTables_.push_back(table(t.def().name));
        }
        return !bulkFailed_ &&
               (db_->run(StorageSql::UpsertRecord(t.def()), recordParams(t, row)) || failed());
    }
    if (!lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    SqlBatch batch{{StorageSql::UpsertRecord(t.def()), recordParams(t, row), {}}};
    logChange(batch, t.def().name, int(StorageSql::ChangeKind::Record), t.nAbsAt(row), {});
    return endWrite(true, batch, before);
}

bool Storage::saveDictionaries(const TableData& t) {
    const bool own = !inBulk_;
    if (own && !lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    SqlBatch batch;
    for (size_t c = 0; c < t.def().columns.size(); ++c) {
        if (!FieldIsDictionary(t.def().columns[c].code)) {
            continue;
        }
        for (const DictionaryEntry& e : t.column(int(c)).dict) {
            batch.push_back({StorageSql::UpsertDictionaryEntry(),
                             {SqlValue::Text(t.def().name), SqlValue::Text(t.def().columns[c].name),
                              SqlValue::Int(e.key), SqlValue::Text(fromAnsi(e.text))},
                             {}});
            if (own) {
                logChange(batch, t.def().name, int(StorageSql::ChangeKind::Dictionary), e.key,
                          t.def().columns[c].name);
            }
        }
    }
    return endOwnOrBulkWrite(own, batch, before);
}

// ---- a client's change

bool Storage::beginChange(const TableData* adding, const QString& mark) {
    prefetched_ = {};
    atOnce_ = !adding && !raced_ && db_->connected();
    raced_ = false;
    if (atOnce_) {
        return true;
    }
    Prefetched read{adding, 0, mark, 0};
    SqlBatch also;
    if (adding) {
        also.push_back({StorageSql::NextRecordId(adding->def()), {}, [&read](const SqlRow& r) {
                            read.nextId = r.integer(0);
                        }});
    }
    if (adding && !mark.isEmpty()) {
        also.push_back({StorageSql::SelectAddition(), {SqlValue::Text(mark)}, [&read](const SqlRow& r) {
                            if (QString::fromUtf8(r.bytes(0)) == read.table->def().name) {
                                read.added = r.integer(1);
                            }
                        }});
    }
    if (!lockAndCatchUp(also)) {
        return false;
    }
    prefetched_ = read;
    return true;
}

int32_t Storage::nextId(const TableData& t) {
    int64_t next = prefetched_.table == &t ? prefetched_.nextId : 0;
    if (prefetched_.table != &t &&
        !db_->run(StorageSql::NextRecordId(t.def()), {}, [&next](const SqlRow& r) { next = r.integer(0); })) {
        failed();
        return 0;
    }
    if (t.count() > 0) {
        next = std::max<int64_t>(next, int64_t(t.nAbsAt(t.count() - 1)) + 1);
    }
    return next > 0 && next <= INT32_MAX ? int32_t(next) : 0;
}

bool Storage::commitChange(TableData& t, int32_t row, bool deleted,
                           const std::vector<std::pair<int, uint32_t>>& entries, const QString& mark) {
    using StorageSql::ChangeKind;
    const int64_t before = lastSeq_;
    const QString& name = t.def().name;
    // The record, its dictionary entries, their log entries, the mark, the announcement and the commit
    // go in one exchange: nothing of it is stored unless all of it is. The notice carries what was
    // written, so that the other servers need not read it back.
    ChangeNotice notice{before + 1, {}};
    SqlBatch batch{{StorageSql::UpsertRecord(t.def()), recordParams(t, row), {}}};
    for (const auto& [col, key] : entries) {
        const QString& column = t.def().columns[size_t(col)].name;
        for (const DictionaryEntry& e : t.column(col).dict) {
            if (e.key == key) {
                const SqlValue text = SqlValue::Text(fromAnsi(e.text));
                batch.push_back({StorageSql::UpsertDictionaryEntry(),
                                 {SqlValue::Text(name), SqlValue::Text(column), SqlValue::Int(key), text},
                                 {}});
                logChange(batch, name, int(ChangeKind::Dictionary), key, column);
                notice.entries.push_back({int(ChangeKind::Dictionary), name, key, column, {text}});
            }
        }
    }
    const int kind = int(deleted ? ChangeKind::Deleted : ChangeKind::Record);
    logChange(batch, name, kind, t.nAbsAt(row), {});
    notice.entries.push_back({kind, name, t.nAbsAt(row), {}, batch.front().params});
    if (!mark.isEmpty()) {
        batch.push_back({StorageSql::InsertAddition(),
                         {SqlValue::Text(mark), SqlValue::Text(name), SqlValue::Int(t.nAbsAt(row))},
                         {}});
        batch.push_back({StorageSql::PruneAdditions(), {SqlValue::Int(kAdditionMarksKept)}, {}});
    }
    const QByteArray text = shared_ ? EncodeChangeNotice(notice) : QByteArray();
    if (!endWrite(true, batch, before, text, std::exchange(atOnce_, false))) {
        return false;
    }
    applied_.push_back({&t, row, deleted});
    return true;
}

int32_t Storage::addedBefore(const QString& mark, const QString& table) {
    const bool read = prefetched_.table && prefetched_.table->def().name == table && prefetched_.mark == mark;
    int64_t nAbs = read ? prefetched_.added : 0;
    const bool ok =
        read || db_->run(StorageSql::SelectAddition(), {SqlValue::Text(mark)}, [&](const SqlRow& r) {
            if (QString::fromUtf8(r.bytes(0)) == table) {
                nAbs = r.integer(1);
            }
        });
    return ok && nAbs > 0 && nAbs <= INT32_MAX ? int32_t(nAbs) : 0;
}

void Storage::abandonChange() {
    atOnce_ = false;
    db_->rollback();
}
