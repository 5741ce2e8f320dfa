#include "storage.h"

#include <algorithm>

#include "infra/codepage.h"
#include "postgres_database.h"
#include "sqlite_database.h"
#include "storage_sql.h"

namespace {

// The change log keeps this many entries; a server that was away for more reads the tables again.
constexpr int64_t kKeptChanges = 100000;
constexpr int64_t kPruneEvery = 1000;
// Users written from a configuration file; the others belong to the database's administration.
const QString kConfigOrigin = QStringLiteral("config");

SqlValue text(const QString& s) {
    return SqlValue::Text(s.toUtf8());
}

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
    const bool ok = db_->run(StorageSql::SelectDictionaries(), {text(t.def().name)}, [&](const SqlRow& r) {
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
            params.push_back(text(fromAnsi(t.bytesAt(row, i))));
        } else if (code == FieldCode::ByteArray) {
            params.push_back(SqlValue::Bytes(t.bytesAt(row, i)));
        } else {
            params.push_back(SqlValue::Int(t.intAt(row, i)));
        }
    }
    return params;
}

// ---- the change log

bool Storage::logChange(const QString& table, int kind, int64_t item, const QString& column) {
    const int64_t seq = lastSeq_ + 1;
    if (!db_->run(StorageSql::InsertChange(), {SqlValue::Int(seq), text(table), SqlValue::Int(kind),
                                               SqlValue::Int(item), text(column)})) {
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
        return db_->run(StorageSql::SelectDictionaryEntry(), {text(name), text(column), SqlValue::Int(item)},
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

bool Storage::lockAndCatchUp() {
    if (!db_->connected()) {
        lastError_ = QStringLiteral("database unavailable");
        return false;
    }
    if (!db_->beginWrite() || !catchUp()) {
        return failed();
    }
    return true;
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

bool Storage::endWrite(bool ok) {
    if (!ok || !db_->announce() || !db_->commit()) {
        return failed();
    }
    return true;
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
    bool ok = !bulkFailed_;
    for (TableData* t : bulkTables_) {
        ok = ok && logChange(t->def().name, int(StorageSql::ChangeKind::Table), 0, {});
    }
    bulkTables_.clear();
    if (bulkFailed_ || !endWrite(ok)) {
        lastSeq_ = bulkStartSeq_;
        return false;
    }
    return true;
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
    const bool ok = db_->run(StorageSql::UpsertRecord(t.def()), recordParams(t, row)) &&
                    logChange(t.def().name, int(StorageSql::ChangeKind::Record), t.nAbsAt(row), {});
    if (!endWrite(ok)) {
        lastSeq_ = before;
        return false;
    }
    return true;
}

bool Storage::saveDictionaries(const TableData& t) {
    const bool own = !inBulk_;
    if (own && !lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    bool ok = true;
    for (size_t c = 0; c < t.def().columns.size(); ++c) {
        if (!FieldIsDictionary(t.def().columns[c].code)) {
            continue;
        }
        for (const DictionaryEntry& e : t.column(int(c)).dict) {
            ok = ok && db_->run(StorageSql::UpsertDictionaryEntry(),
                                {text(t.def().name), text(t.def().columns[c].name), SqlValue::Int(e.key),
                                 text(fromAnsi(e.text))});
            ok = ok && (inBulk_ || logChange(t.def().name, int(StorageSql::ChangeKind::Dictionary), e.key,
                                             t.def().columns[c].name));
        }
    }
    if (!own) {
        return !bulkFailed_ && (ok || failed());
    }
    if (!endWrite(ok)) {
        lastSeq_ = before;
        return false;
    }
    return true;
}

// ---- a client's change

bool Storage::beginChange() {
    return lockAndCatchUp();
}

int32_t Storage::nextId(const TableData& t) {
    int64_t next = 0;
    if (!db_->run(StorageSql::NextRecordId(t.def()), {}, [&next](const SqlRow& r) { next = r.integer(0); })) {
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
    bool ok = db_->run(StorageSql::UpsertRecord(t.def()), recordParams(t, row));
    for (const auto& [col, key] : entries) {
        const QString& column = t.def().columns[size_t(col)].name;
        for (const DictionaryEntry& e : t.column(col).dict) {
            if (ok && e.key == key) {
                ok = db_->run(StorageSql::UpsertDictionaryEntry(),
                              {text(name), text(column), SqlValue::Int(key), text(fromAnsi(e.text))}) &&
                     logChange(name, int(ChangeKind::Dictionary), key, column);
            }
        }
    }
    ok = ok && logChange(name, int(deleted ? ChangeKind::Deleted : ChangeKind::Record), t.nAbsAt(row), {});
    if (ok && !mark.isEmpty()) {
        ok = db_->run(StorageSql::InsertAddition(), {text(mark), text(name), SqlValue::Int(t.nAbsAt(row))}) &&
             db_->run(StorageSql::PruneAdditions(), {SqlValue::Int(kAdditionMarksKept)});
    }
    if (!endWrite(ok)) {
        lastSeq_ = before;
        return false;
    }
    applied_.push_back({&t, row, deleted});
    return true;
}

int32_t Storage::addedBefore(const QString& mark, const QString& table) {
    int64_t nAbs = 0;
    const bool ok = db_->run(StorageSql::SelectAddition(), {text(mark)}, [&](const SqlRow& r) {
        if (QString::fromUtf8(r.bytes(0)) == table) {
            nAbs = r.integer(1);
        }
    });
    return ok && nAbs > 0 && nAbs <= INT32_MAX ? int32_t(nAbs) : 0;
}

void Storage::abandonChange() {
    db_->rollback();
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

// ---- users

bool Storage::writeUser(const QString& name, const QString& password, const QString& origin) {
    ++usersVersion_;
    const PasswordDigest d = MakePasswordDigest(password);
    return db_->run(StorageSql::UpsertUser(), {text(name), SqlValue::Bytes(d.salt), SqlValue::Bytes(d.hash),
                                               SqlValue::Int(d.iterations), text(origin)}) &&
           db_->run(StorageSql::InsertUserId(), {text(name)});
}

bool Storage::setUser(const QString& name, const QString& password) {
    const bool own = !inBulk_;
    if (own && !lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    const bool ok = writeUser(name, password, {}) && logChange({}, int(StorageSql::ChangeKind::Users), 0, {});
    if (!own) {
        return !bulkFailed_ && (ok || failed());
    }
    if (!endWrite(ok)) {
        lastSeq_ = before;
        return false;
    }
    return true;
}

bool Storage::replaceUsers(const std::vector<std::pair<QString, QString>>& users) {
    ++usersVersion_;
    if (!lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    bool ok = true;
    if (shared_) {
        QStringList configured;
        ok = db_->run(StorageSql::SelectUserNames(), {text(kConfigOrigin)},
                      [&configured](const SqlRow& r) { configured << QString::fromUtf8(r.bytes(0)); });
        for (const QString& name : std::as_const(configured)) {
            const bool named =
                std::any_of(users.begin(), users.end(), [&name](const auto& u) { return u.first == name; });
            if (!named && ok) {
                ok = db_->run(StorageSql::DeleteUser(), {text(name)});
                if (ok && log_) {
                    log_(QStringLiteral("user \"%1\" removed: no configuration names it").arg(name));
                }
            }
        }
    } else {
        ok = db_->run(StorageSql::DeleteAllUsers());
    }
    for (const auto& [name, password] : users) {
        ok = ok && writeUser(name, password, kConfigOrigin);
    }
    ok = ok && logChange({}, int(StorageSql::ChangeKind::Users), 0, {});
    if (!endWrite(ok)) {
        lastSeq_ = before;
        return false;
    }
    return true;
}

bool Storage::userDigest(const QString& name, PasswordDigest& out) {
    bool found = false;
    if (!db_->run(StorageSql::SelectUser(), {text(name)}, [&](const SqlRow& r) {
            out.salt = r.bytes(0);
            out.hash = r.bytes(1);
            out.iterations = int(std::clamp<int64_t>(r.integer(2), 0, INT32_MAX));
            found = true;
        })) {
        failed();
        return false;
    }
    return found;
}

bool Storage::hasUsers() {
    int64_t count = 0;
    return db_->run(StorageSql::CountUsers(), {}, [&count](const SqlRow& r) { count = r.integer(0); }) &&
           count > 0;
}

int32_t Storage::userId(const QString& name) {
    int64_t id = 0;
    if (!db_->run(StorageSql::SelectUserId(), {text(name)}, [&id](const SqlRow& r) { id = r.integer(0); })) {
        failed();
    }
    return id > 0 && id <= INT32_MAX ? int32_t(id) : 0;
}
