// The one small interface the server's storage speaks to its database through: statements with
// numbered parameters ($1, $2, ...) and rows read in place, a write transaction that holds the
// database's write lock, and the announcement of committed changes to other servers. The SQL texts
// are shared by every database (server/storage_sql.h); what differs between them lives behind this
// interface: SQLite (sqlite_database.h) for one server, PostgreSQL (postgres_database.h) for several.
// An implementation is not thread-safe: the server's protocol thread owns it.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// A statement parameter: a 64-bit integer, a double, UTF-8 text or raw bytes.
struct SqlValue {
    enum class Type { Integer, Real, Text, Bytes } type = Type::Integer;
    int64_t integer = 0;
    double real = 0;
    QByteArray bytes;

    static SqlValue Int(int64_t v) { return {Type::Integer, v, 0, {}}; }
    static SqlValue Real(double v) { return {Type::Real, 0, v, {}}; }
    static SqlValue Text(const QByteArray& utf8) { return {Type::Text, 0, 0, utf8}; }
    static SqlValue Text(const QString& s) { return Text(s.toUtf8()); }
    static SqlValue Bytes(const QByteArray& raw) { return {Type::Bytes, 0, 0, raw}; }
};

using SqlParams = std::vector<SqlValue>;

// One result row, read in place while the row callback runs. A value that is NULL or of another type
// than asked reads as 0 or empty: what the database returns is checked, never trusted.
class SqlRow {
  public:
    virtual ~SqlRow() = default;
    virtual int64_t integer(int column) const = 0;
    virtual double real(int column) const = 0;
    // Text (as UTF-8) or raw bytes.
    virtual QByteArray bytes(int column) const = 0;
};

// One statement of several sent together: its parameters and what takes its rows.
struct SqlStatement {
    QByteArray sql;
    SqlParams params;
    std::function<void(const SqlRow&)> eachRow;
};
using SqlBatch = std::vector<SqlStatement>;

// Type names of the database's own dialect for the columns the shared SQL declares.
struct SqlTypes {
    const char* integer;  // 64-bit integers
    const char* real;     // doubles
    const char* bytes;    // raw bytes
    const char* key;      // the integer primary key of a record table
};

class SqlDatabase {
  public:
    using EachRow = std::function<void(const SqlRow&)>;

    virtual ~SqlDatabase() = default;

    virtual const SqlTypes& types() const = 0;
    // Runs one statement; each row it returns goes to eachRow. False (see error()) when it failed.
    virtual bool run(const QByteArray& sql, const SqlParams& params = {}, const EachRow& eachRow = {}) = 0;
    // Runs the statements in order, stopping at the first that fails (false, see error()); a database
    // across the network sends them together and waits for the answers once.
    virtual bool runBatch(const SqlBatch& batch) {
        for (const SqlStatement& s : batch) {
            if (!run(s.sql, s.params, s.eachRow)) {
                return false;
            }
        }
        return true;
    }
    // Begins a transaction that holds the database's write lock until commit or rollback, so that the
    // writers of every server sharing the database take their turns one after another; then runs
    // `then` inside it, in the same exchange.
    virtual bool beginWrite(const SqlBatch& then = {}) = 0;
    // Runs `first` and commits, in one exchange. When it fails the transaction is still open (or
    // already over): rollback() ends it either way.
    virtual bool commit(const SqlBatch& first = {}) = 0;
    // A whole write: takes the write lock, runs the batch, announces and commits, in one exchange
    // where the database allows. When it fails nothing of it is stored and no transaction is open.
    virtual bool writeAtOnce(const SqlBatch& batch) {
        if (beginWrite(batch) && commit()) {
            return true;
        }
        rollback();
        return false;
    }
    virtual void rollback() = 0;
    // Tells the other servers, once the transaction commits, that a change was logged; `notice`, when
    // not empty, says what it was (server/change_notice.h), at most kMaxNoticeText characters.
    virtual void announce(const QByteArray& notice = {}) = 0;
    virtual QString error() const = 0;

    // Whether the connection is up. A database that went away comes back through reconnect().
    virtual bool connected() const = 0;
    // One step towards a new connection, never waiting long; true once connected again.
    virtual bool reconnect() = 0;
    // A descriptor that becomes readable when another server announces a change (-1: none; such a
    // database is asked with takeAnnouncements() at the caller's own pace).
    virtual int announcementSocket() const = 0;
    // Reads what has arrived on the connection; true when another server announced a change since
    // the last call. The notices of those announcements go to `notices` in commit order (empty for
    // an announcement that carried none).
    virtual bool takeAnnouncements(std::vector<QByteArray>& notices) = 0;
};
