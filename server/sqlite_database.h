// The database of a single server: one SQLite file (write-ahead log, prepared statements kept by
// their text). Its write lock is SQLite's own (BEGIN IMMEDIATE); it announces nothing, since it is
// not shared, and it never goes away once open.
// Not thread-safe: the server's protocol thread owns it.
#pragma once

#include <QHash>

#include "sql_database.h"

struct sqlite3;
struct sqlite3_stmt;

class SqliteDatabase final : public SqlDatabase {
  public:
    SqliteDatabase() = default;
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens the file, creating it when missing. False with the reason in error().
    bool open(const QString& path);

    const SqlTypes& types() const override;
    bool run(const QByteArray& sql, const SqlParams& params = {}, const EachRow& eachRow = {}) override;
    bool beginWrite(const SqlBatch& then = {}) override;
    bool commit(const SqlBatch& first = {}) override;
    void rollback() override;
    void announce(const QByteArray&) override {}
    QString error() const override { return error_; }
    bool connected() const override { return db_ != nullptr; }
    bool reconnect() override { return connected(); }
    int announcementSocket() const override { return -1; }
    bool takeAnnouncements(std::vector<QByteArray>&) override { return false; }

  private:
    sqlite3_stmt* prepared(const QByteArray& sql);
    bool fail();

    sqlite3* db_ = nullptr;
    QHash<QByteArray, sqlite3_stmt*> statements_;
    QString error_;
};
