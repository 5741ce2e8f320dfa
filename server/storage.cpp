#include "storage.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

#include "infra/codepage.h"

namespace {

constexpr int kPbkdf2Iterations = 20000;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kKeyBytes);
}

QByteArray quickDigest(const QString& password, const QByteArray& salt) {
    return QCryptographicHash::hash(salt + password.toUtf8(), QCryptographicHash::Sha256);
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

const char* sqlType(uint8_t code) {
    if (IsRealCode(code)) {
        return "REAL";
    }
    if (IsTextCode(code)) {
        return "TEXT";
    }
    if (code == FieldCode::ByteArray) {
        return "BLOB";
    }
    return "INTEGER";
}

QByteArray columnBytes(sqlite3_stmt* st, int i) {
    const void* p = sqlite3_column_blob(st, i);
    const int n = sqlite3_column_bytes(st, i);
    return p ? QByteArray(static_cast<const char*>(p), n) : QByteArray();
}

}  // namespace

Storage::Storage() {
    for (const TableDef& def : ServerTables()) {
        tables_.emplace_back(def);
    }
}

Storage::~Storage() {
    for (sqlite3_stmt* st : inserts_) {
        sqlite3_finalize(st);
    }
    sqlite3_finalize(dictInsert_);
    sqlite3_close(db_);
}

bool Storage::open(const QString& path, QString& error) {
    if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : "out of memory");
        return false;
    }
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    if (!createTables()) {
        error = QString::fromUtf8(sqlite3_errmsg(db_));
        return false;
    }
    for (TableData& t : tables_) {
        if (!readTable(t)) {
            error = QString::fromUtf8(sqlite3_errmsg(db_));
            return false;
        }
    }
    return true;
}

bool Storage::exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* Storage::prepare(const QString& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        return nullptr;
    }
    return st;
}

bool Storage::createTables() {
    if (!exec("CREATE TABLE IF NOT EXISTS users (name TEXT PRIMARY KEY, salt BLOB NOT NULL, "
              "hash BLOB NOT NULL, iterations INTEGER NOT NULL)") ||
        !exec("CREATE TABLE IF NOT EXISTS dictionary (tbl TEXT NOT NULL, col TEXT NOT NULL, "
              "key INTEGER NOT NULL, text TEXT NOT NULL, PRIMARY KEY (tbl, col, key))") ||
        !exec("CREATE TABLE IF NOT EXISTS user_ids (id INTEGER PRIMARY KEY AUTOINCREMENT, "
              "name TEXT UNIQUE NOT NULL)") ||
        !exec("INSERT OR IGNORE INTO user_ids (name) SELECT name FROM users ORDER BY rowid")) {
        return false;
    }
    // An entry keeps its row when its text changes: entries are read back in row order.
    dictInsert_ =
        prepare(QStringLiteral("INSERT INTO dictionary (tbl, col, key, text) VALUES (?,?,?,?) "
                               "ON CONFLICT (tbl, col, key) DO UPDATE SET text = excluded.text"));
    if (!dictInsert_) {
        return false;
    }
    for (const TableData& t : tables_) {
        QStringList cols;
        QStringList names;
        QStringList marks;
        for (const ColumnDef& c : t.def().columns) {
            cols << quoted(c.name) + QLatin1Char(' ') + QLatin1String(sqlType(c.code)) +
                        (c.name == QLatin1String("n_abs") ? QStringLiteral(" PRIMARY KEY") : QString());
            names << quoted(c.name);
            marks << QStringLiteral("?");
        }
        const QString create = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                                   .arg(quoted(t.def().name), cols.join(QLatin1Char(',')));
        if (!exec(create.toUtf8().constData())) {
            return false;
        }
        sqlite3_stmt* ins = prepare(
            QStringLiteral("INSERT OR REPLACE INTO %1 (%2) VALUES (%3)")
                .arg(quoted(t.def().name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        if (!ins) {
            return false;
        }
        inserts_.push_back(ins);
    }
    return true;
}

bool Storage::readTable(TableData& t) {
    const TableDef& def = t.def();
    sqlite3_stmt* dict =
        prepare(QStringLiteral("SELECT col, key, text FROM dictionary WHERE tbl=? ORDER BY rowid"));
    if (!dict) {
        return false;
    }
    const QByteArray tableName = def.name.toUtf8();
    sqlite3_bind_text(dict, 1, tableName.constData(), int(tableName.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(dict) == SQLITE_ROW) {
        const int col = def.indexOf(QString::fromUtf8(columnBytes(dict, 0)));
        if (col >= 0 && FieldIsDictionary(def.columns[size_t(col)].code)) {
            t.putDictionaryEntry(col, uint32_t(sqlite3_column_int64(dict, 1)),
                                 toAnsi(QString::fromUtf8(columnBytes(dict, 2))));
        }
    }
    sqlite3_finalize(dict);

    QStringList names;
    for (const ColumnDef& c : def.columns) {
        names << quoted(c.name);
    }
    sqlite3_stmt* st = prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY \"n_abs\"")
                                   .arg(names.join(QLatin1Char(',')), quoted(def.name)));
    if (!st) {
        return false;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        const int32_t row = t.appendRecordWithId(int32_t(sqlite3_column_int64(st, 0)));
        for (size_t c = 1; c < def.columns.size(); ++c) {
            const uint8_t code = def.columns[c].code;
            const int i = int(c);
            if (IsRealCode(code)) {
                t.setReal(row, i, sqlite3_column_double(st, i));
            } else if (IsTextCode(code)) {
                t.setBytes(row, i, toAnsi(QString::fromUtf8(columnBytes(st, i))));
            } else if (code == FieldCode::ByteArray) {
                t.setBytes(row, i, columnBytes(st, i));
            } else {
                t.setInt(row, i, sqlite3_column_int64(st, i));
            }
        }
    }
    sqlite3_finalize(st);
    return true;
}

TableData* Storage::table(const QString& name) {
    for (TableData& t : tables_) {
        if (t.def().name == name) {
            return &t;
        }
    }
    return nullptr;
}

bool Storage::saveRecord(const TableData& t, int32_t row) {
    size_t ti = 0;
    while (ti < tables_.size() && &tables_[ti] != &t) {
        ++ti;
    }
    if (ti == tables_.size()) {
        return false;
    }
    sqlite3_stmt* st = inserts_[ti];
    sqlite3_reset(st);
    const TableDef& def = t.def();
    std::vector<QByteArray> keep;  // texts must outlive the step
    keep.reserve(def.columns.size());
    for (size_t c = 0; c < def.columns.size(); ++c) {
        const uint8_t code = def.columns[c].code;
        const int i = int(c);
        if (IsRealCode(code)) {
            sqlite3_bind_double(st, i + 1, t.realAt(row, i));
        } else if (IsTextCode(code)) {
            keep.push_back(fromAnsi(t.bytesAt(row, i)).toUtf8());
            sqlite3_bind_text(st, i + 1, keep.back().constData(), int(keep.back().size()), SQLITE_STATIC);
        } else if (code == FieldCode::ByteArray) {
            keep.push_back(t.bytesAt(row, i));
            sqlite3_bind_blob(st, i + 1, keep.back().constData(), int(keep.back().size()), SQLITE_STATIC);
        } else {
            sqlite3_bind_int64(st, i + 1, t.intAt(row, i));
        }
    }
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    return ok;
}

bool Storage::saveDictionaries(const TableData& t) {
    for (size_t c = 0; c < t.def().columns.size(); ++c) {
        if (!FieldIsDictionary(t.def().columns[c].code)) {
            continue;
        }
        for (const DictionaryEntry& e : t.column(int(c)).dict) {
            if (!saveEntry(t, int(c), e)) {
                return false;
            }
        }
    }
    return true;
}

bool Storage::saveEntry(const TableData& t, int col, const DictionaryEntry& e) {
    const QByteArray tableName = t.def().name.toUtf8();
    const QByteArray colName = t.def().columns[size_t(col)].name.toUtf8();
    const QByteArray text = fromAnsi(e.text).toUtf8();
    sqlite3_reset(dictInsert_);
    sqlite3_bind_text(dictInsert_, 1, tableName.constData(), int(tableName.size()), SQLITE_STATIC);
    sqlite3_bind_text(dictInsert_, 2, colName.constData(), int(colName.size()), SQLITE_STATIC);
    sqlite3_bind_int64(dictInsert_, 3, e.key);
    sqlite3_bind_text(dictInsert_, 4, text.constData(), int(text.size()), SQLITE_STATIC);
    const bool ok = sqlite3_step(dictInsert_) == SQLITE_DONE;
    sqlite3_reset(dictInsert_);
    return ok;
}

bool Storage::storeChange(const TableData& t, int32_t row,
                          const std::vector<std::pair<int, uint32_t>>& entries) {
    if (!exec("BEGIN")) {
        return false;
    }
    bool ok = saveRecord(t, row);
    for (const auto& [col, key] : entries) {
        for (const DictionaryEntry& e : t.column(col).dict) {
            if (ok && e.key == key) {
                ok = saveEntry(t, col, e);
            }
        }
    }
    if (ok && exec("COMMIT")) {
        return true;
    }
    exec("ROLLBACK");
    return false;
}

void Storage::begin() {
    exec("BEGIN");
}
void Storage::commit() {
    exec("COMMIT");
}

bool Storage::setUser(const QString& name, const QString& password) {
    verified_.remove(name);
    QByteArray salt(kSaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), kSaltBytes / 4);
    const QByteArray hash = derive(password, salt, kPbkdf2Iterations);
    sqlite3_stmt* st = prepare(
        QStringLiteral("INSERT OR REPLACE INTO users (name, salt, hash, iterations) VALUES (?,?,?,?)"));
    if (!st) {
        return false;
    }
    const QByteArray n = name.toUtf8();
    sqlite3_bind_text(st, 1, n.constData(), int(n.size()), SQLITE_STATIC);
    sqlite3_bind_blob(st, 2, salt.constData(), int(salt.size()), SQLITE_STATIC);
    sqlite3_bind_blob(st, 3, hash.constData(), int(hash.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 4, kPbkdf2Iterations);
    bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    st = prepare(QStringLiteral("INSERT OR IGNORE INTO user_ids (name) VALUES (?)"));
    if (!st) {
        return false;
    }
    sqlite3_bind_text(st, 1, n.constData(), int(n.size()), SQLITE_STATIC);
    ok = sqlite3_step(st) == SQLITE_DONE && ok;
    sqlite3_finalize(st);
    return ok;
}

bool Storage::replaceUsers(const std::vector<std::pair<QString, QString>>& users) {
    verified_.clear();
    if (!exec("BEGIN")) {
        return false;
    }
    bool ok = exec("DELETE FROM users");
    for (const auto& [name, password] : users) {
        ok = ok && setUser(name, password);
    }
    return exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

bool Storage::checkUser(const QString& name, const QString& password) {
    const auto known = verified_.constFind(name);
    if (known != verified_.constEnd() && quickDigest(password, known->salt) == known->quick) {
        return true;
    }
    sqlite3_stmt* st = prepare(QStringLiteral("SELECT salt, hash, iterations FROM users WHERE name=?"));
    if (!st) {
        return false;
    }
    const QByteArray n = name.toUtf8();
    sqlite3_bind_text(st, 1, n.constData(), int(n.size()), SQLITE_STATIC);
    bool ok = false;
    if (sqlite3_step(st) == SQLITE_ROW) {
        const QByteArray salt = columnBytes(st, 0);
        const QByteArray hash = columnBytes(st, 1);
        const int iterations = sqlite3_column_int(st, 2);
        const QByteArray given = derive(password, salt, iterations);
        // Constant-time comparison: the time taken tells nothing about how much matched.
        unsigned diff = unsigned(given.size() ^ hash.size());
        for (qsizetype i = 0; i < std::min(given.size(), hash.size()); ++i) {
            diff |= unsigned(uint8_t(given[i]) ^ uint8_t(hash[i]));
        }
        ok = diff == 0 && !hash.isEmpty();
        if (ok) {
            verified_.insert(name, Verified{salt, quickDigest(password, salt)});
        }
    }
    sqlite3_finalize(st);
    return ok;
}

bool Storage::hasUsers() {
    sqlite3_stmt* st = prepare(QStringLiteral("SELECT COUNT(*) FROM users"));
    if (!st) {
        return false;
    }
    const bool any = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int64(st, 0) > 0;
    sqlite3_finalize(st);
    return any;
}

int32_t Storage::userId(const QString& name) {
    sqlite3_stmt* st = prepare(QStringLiteral("SELECT id FROM user_ids WHERE name=?"));
    if (!st) {
        return 0;
    }
    const QByteArray n = name.toUtf8();
    sqlite3_bind_text(st, 1, n.constData(), int(n.size()), SQLITE_STATIC);
    const int32_t id = sqlite3_step(st) == SQLITE_ROW ? int32_t(sqlite3_column_int64(st, 0)) : 0;
    sqlite3_finalize(st);
    return id;
}
