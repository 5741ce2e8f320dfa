#include "sqlite_database.h"

#include <sqlite3.h>

namespace {

class StatementRow final : public SqlRow {
  public:
    explicit StatementRow(sqlite3_stmt* st) : st_(st), columns_(sqlite3_column_count(st)) {}

    int64_t integer(int i) const override {
        return valid(i) && sqlite3_column_type(st_, i) == SQLITE_INTEGER ? sqlite3_column_int64(st_, i) : 0;
    }
    double real(int i) const override {
        if (!valid(i)) {
            return 0;
        }
        const int type = sqlite3_column_type(st_, i);
        return type == SQLITE_FLOAT || type == SQLITE_INTEGER ? sqlite3_column_double(st_, i) : 0;
    }
    QByteArray bytes(int i) const override {
        if (!valid(i)) {
            return {};
        }
        const int type = sqlite3_column_type(st_, i);
        if (type != SQLITE_TEXT && type != SQLITE_BLOB) {
            return {};
        }
        const void* p = sqlite3_column_blob(st_, i);
        const int n = sqlite3_column_bytes(st_, i);
        return p && n > 0 ? QByteArray(static_cast<const char*>(p), n) : QByteArray();
    }

  private:
    bool valid(int i) const { return i >= 0 && i < columns_; }

    sqlite3_stmt* st_;
    int columns_;
};

}  // namespace

SqliteDatabase::~SqliteDatabase() {
    for (sqlite3_stmt* st : std::as_const(statements_)) {
        sqlite3_finalize(st);
    }
    sqlite3_close(db_);
}

bool SqliteDatabase::open(const QString& path) {
    if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        error_ = QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return run("PRAGMA journal_mode=WAL") && run("PRAGMA synchronous=NORMAL");
}

const SqlTypes& SqliteDatabase::types() const {
    // "INTEGER PRIMARY KEY" makes the record identifier the row's own key.
    static const SqlTypes kTypes{"INTEGER", "REAL", "BLOB", "INTEGER"};
    return kTypes;
}

bool SqliteDatabase::fail() {
    error_ = QString::fromUtf8(sqlite3_errmsg(db_));
    return false;
}

sqlite3_stmt* SqliteDatabase::prepared(const QByteArray& sql) {
    sqlite3_stmt* st = statements_.value(sql);
    if (st) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        return st;
    }
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        return nullptr;
    }
    statements_.insert(sql, st);
    return st;
}

bool SqliteDatabase::run(const QByteArray& sql, const SqlParams& params, const EachRow& eachRow) {
    if (!db_) {
        error_ = QStringLiteral("database not open");
        return false;
    }
    sqlite3_stmt* st = prepared(sql);
    if (!st) {
        return fail();
    }
    for (size_t i = 0; i < params.size(); ++i) {
        const QByteArray name = '$' + QByteArray::number(qulonglong(i + 1));
        const int index = sqlite3_bind_parameter_index(st, name.constData());
        if (index == 0) {
            continue;
        }
        const SqlValue& v = params[i];
        switch (v.type) {
            case SqlValue::Type::Integer:
                sqlite3_bind_int64(st, index, v.integer);
                break;
            case SqlValue::Type::Real:
                sqlite3_bind_double(st, index, v.real);
                break;
            case SqlValue::Type::Text:
                sqlite3_bind_text(st, index, v.bytes.constData(), int(v.bytes.size()), SQLITE_STATIC);
                break;
            case SqlValue::Type::Bytes:
                sqlite3_bind_blob(st, index, v.bytes.constData(), int(v.bytes.size()), SQLITE_STATIC);
                break;
        }
    }
    const StatementRow row(st);
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
        if (eachRow) {
            eachRow(row);
        }
    }
    const bool ok = step == SQLITE_DONE;
    if (!ok) {
        fail();
    }
    // Bound texts must not be read after the parameters go; a finished statement holds no lock.
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return ok;
}

bool SqliteDatabase::beginWrite(const SqlBatch& then) {
    return run("BEGIN IMMEDIATE") && runBatch(then);
}

bool SqliteDatabase::commit(const SqlBatch& first) {
    if (!runBatch(first)) {
        return false;
    }
    if (run("COMMIT")) {
        return true;
    }
    rollback();
    return false;
}

void SqliteDatabase::rollback() {
    if (db_ && !sqlite3_get_autocommit(db_)) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}
