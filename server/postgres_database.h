// The database several servers share: PostgreSQL through libpq. Statements are prepared once per
// connection and exchanged in binary; every wait on the database is bounded, so a database that
// stops answering costs a command at most kQueryTimeoutMs before the connection is given up.
// Writers take one advisory lock for the length of their transaction, so changes commit one after
// another. Committed changes are announced with NOTIFY on one channel that every server LISTENs to, the
// notice of the change as its payload.
// Statements that follow one another without waiting for each other's rows go as one pipeline
// (runBatch): a change costs two round trips (lock and catch-up; writes, announcement and commit),
// or one (writeAtOnce) where the writer knows what to write without reading first.
// A lost connection is noticed by the statement that fails; reconnect() then tries again, at most
// once a second, without blocking (a connection attempt proceeds between the server's passes).
// Not thread-safe: the server's protocol thread owns it.
#pragma once

#include <QHash>
#include <cstdint>

#include "sql_database.h"

struct pg_conn;
struct pg_result;

class PostgresDatabase final : public SqlDatabase {
  public:
    static constexpr int kQueryTimeoutMs = 5000;
    static constexpr int kConnectTimeoutMs = 5000;
    // At start nothing else waits: a busy database gets longer to accept the first connection.
    static constexpr int kFirstConnectTimeoutMs = 30000;
    static constexpr int kRetryEveryMs = 1000;

    PostgresDatabase() = default;
    ~PostgresDatabase() override;
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

    // Whether the text names a PostgreSQL database ("postgresql://" or "postgres://").
    static bool IsUri(const QString& text);
    // Connects (waiting at most kFirstConnectTimeoutMs). False with the reason in error().
    bool open(const QString& uri);

    const SqlTypes& types() const override;
    bool run(const QByteArray& sql, const SqlParams& params = {}, const EachRow& eachRow = {}) override;
    // One pipeline: the statements (and the preparation of those new to the connection) go out
    // together and their answers are read once, so a batch costs one round trip.
    bool runBatch(const SqlBatch& batch) override;
    bool beginWrite(const SqlBatch& then = {}) override;
    bool commit(const SqlBatch& first = {}) override;
    bool writeAtOnce(const SqlBatch& batch) override;
    void rollback() override;
    void announce(const QByteArray& notice = {}) override;
    QString error() const override { return error_; }
    bool connected() const override { return conn_ != nullptr && !connecting_; }
    bool reconnect() override;
    int announcementSocket() const override;
    bool takeAnnouncements(std::vector<QByteArray>& notices) override;

  private:
    // Sends what libpq holds and waits until a result can be read without blocking; false (the
    // connection given up) after kQueryTimeoutMs.
    bool awaitResult(int64_t deadlineMs);
    // Adds the announcement (when one was made) and COMMIT to the batch and runs it; the transaction
    // is over when it succeeds.
    bool commitBatch(SqlBatch& batch);
    // BEGIN, the write lock and the batch, and with `andCommit` the announcement and COMMIT, in one
    // exchange; rolled back when it fails.
    bool lockedBatch(const SqlBatch& batch, bool andCommit);
    // Prepared statements are known by their SQL and parameter types.
    static QByteArray statementKey(const QByteArray& sql, const SqlParams& params);
    // After a successful connection: encoding, notices, LISTEN.
    bool configure();
    bool fail(const QString& why);
    void drop();

    QString uri_;
    pg_conn* conn_ = nullptr;
    bool connecting_ = false;
    int64_t connectStartedMs_ = 0;
    int connectTimeoutMs_ = kConnectTimeoutMs;
    short connectEvents_ = 0;
    int64_t lastAttemptMs_ = 0;
    bool inTransaction_ = false;
    bool announced_ = false;                    // a notification goes with the commit
    QByteArray notice_;                         // and says this
    QHash<QByteArray, QByteArray> statements_;  // SQL and parameter types -> prepared name
    QString error_;
};
