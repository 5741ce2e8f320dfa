// The server's storage: the six tables, their dictionaries and the users, in an SQLite file (one
// server) or in a PostgreSQL database that several servers share. The tables are read into memory
// (TableData) when the database is opened; every change is written through at once, so a restart
// finds what clients were told. Passwords are kept as salted PBKDF2 digests only (password_digest.h).
//
// Several servers, one truth. Every change is one transaction that holds the database's write lock:
// it first applies what other servers committed before it (the change log "changes", read from the
// last entry this server saw), then writes the record, the dictionary entry it points at and its
// log entries, and announces them with a notice of what they were, which the other servers apply
// without reading the database when it continues what they have seen. A client's edit is written
// from the records as this server holds them, lock and all in one exchange, when the next log number
// is still free (see beginChange). Log entries are numbered densely in commit order, so every server
// applies every change in the same order; a server that finds entries missing (pruned while it was
// away) or the log behind it reads the tables again. Record identifiers come from the database.
// Changes applied to memory wait in takeApplied() for the server to tell its clients.
//
// A database that goes away: a change that cannot be written is undone in memory and refused; the
// cause is logged once; upkeep() reconnects and catches up by itself.
//
// Not thread-safe: the server's one protocol thread owns it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "password_digest.h"
#include "sql_database.h"
#include "table_data.h"

class Storage {
  public:
    using Log = std::function<void(const QString&)>;

    // A change now in memory that the clients holding its table are to be told of.
    struct Applied {
        TableData* table = nullptr;
        int32_t row = 0;
        bool deleted = false;  // the record's deleted bit was set
    };

    Storage();
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Opens (creating when missing) the database file, or the PostgreSQL database named by a
    // "postgresql://" URI, brings its schema to the current version and reads the tables. False
    // with a reason in error when it cannot be used.
    bool open(const QString& database, QString& error);
    // Where the outage and the catching up are reported.
    void setLog(Log log) { log_ = std::move(log); }
    // Whether other servers may share the database (PostgreSQL).
    bool shared() const { return shared_; }

    std::vector<TableData>& tables() { return tables_; }
    TableData* table(const QString& name);

    // --- writes of this process alone: demo data, generated volumes, tests
    // Writes the record's current values (within begin/commit, or as a change of its own).
    bool saveRecord(const TableData& table, int32_t row);
    // Writes the entries of every dictionary column of the table.
    bool saveDictionaries(const TableData& table);
    // Groups many writes into one transaction (demo data, bulk generation); other servers read the
    // tables written again.
    void begin();
    // False when the writes since begin() could not be stored (none of them are).
    bool commit();

    // --- a client's change, one transaction
    // Takes the write lock and applies every change committed before. For an addition to `adding`,
    // the identifier the database would give next (nextId) and the record an addition with `mark`
    // stored before (addedBefore) are read in the same exchange. False (see lastError()) when the
    // database cannot be written now.
    // An edit or deletion takes nothing from the database here: the change is made on the records as
    // this server holds them, and commitChange takes the lock, writes and commits in one
    // exchange. The log number it writes is free only when no other server's change committed after
    // the last one applied here; when it is taken nothing is written and raced() tells the caller to
    // put the table back and make the change again, which then begins under the lock.
    bool beginChange(const TableData* adding = nullptr, const QString& mark = {});
    // Whether the last commitChange failed only because another server's change came first.
    bool raced() const { return raced_; }
    // Whether the change begun has not been checked against the database yet (begun at once).
    bool changeUnchecked() const { return atOnce_; }
    // Ends a change begun at once that did not find what it needs in memory (a record another server
    // may have just added): made again, it begins under the lock and catches up first.
    void retryChange() {
        atOnce_ = false;
        raced_ = true;
    }
    // The identifier of a record added now (beginChange first); 0 when the database cannot say.
    int32_t nextId(const TableData& table);
    // Writes the record as it is in memory with the dictionary entries (column, key) the change added
    // or renamed, logs and announces it and commits; an addition's mark, when it has one, is stored
    // in the same transaction. False, and nothing written, when the database did not take it (the
    // caller puts the table back). The change joins takeApplied().
    bool commitChange(TableData& table, int32_t row, bool deleted,
                      const std::vector<std::pair<int, uint32_t>>& entries, const QString& mark = {});
    // The n_abs of the record of `table` that an addition with this mark stored, on this server or
    // another sharing the database (beginChange first, so that the lookup and the addition are one
    // turn of the write lock); 0 when no addition carried it. The newest kAdditionMarksKept marks
    // are kept.
    int32_t addedBefore(const QString& mark, const QString& table);
    static constexpr int64_t kAdditionMarksKept = 100000;
    // Ends a change begun without writing anything (the command was refused).
    void abandonChange();
    QString lastError() const { return lastError_; }

    // --- changes of other servers, outages
    // A descriptor that is readable when another server announced a change; -1 when there is none.
    int announcementSocket() const;
    // Reads announcements and applies what other servers committed since the last change seen.
    void refresh();
    // Applies the change another server announced with this notice (change_notice.h) when it
    // continues from the last change seen; true, applying nothing, when it was seen already. False
    // when the log must be read instead (the notice does not decode or does not continue).
    bool applyNotice(QByteArrayView notice);
    // Call regularly: after an outage, reconnects (without waiting long) and catches up.
    void upkeep();
    bool available() const;
    // The changes applied to memory since the last call, in the order they were committed.
    std::vector<Applied> takeApplied();

    // --- users
    // Adds the user or gives an existing one a new password.
    bool setUser(const QString& name, const QString& password);
    // Makes the named users those of the configuration, each with its password, in one transaction.
    // A database of its own keeps no other user. A shared one keeps the users that were not put there
    // by a configuration (the database's own administration); users that a configuration put there
    // and this one does not name are removed, each by name in the log.
    bool replaceUsers(const std::vector<std::pair<QString, QString>>& users);
    // The user's password digest; false when there is no such user (or the database cannot say).
    bool userDigest(const QString& name, PasswordDigest& out);
    // Grows whenever the users may have changed, here or on another server: a password verified
    // before must be checked against the database again.
    uint64_t usersVersion() const { return usersVersion_; }
    bool hasUsers();
    // The user's identifier, stamped into every change the user makes: given once per name and kept
    // when the user is removed, so that a name always stands for the same identifier. 0 for a name
    // never seen.
    int32_t userId(const QString& name);

  private:
    bool migrate(QString& error);
    bool readTable(TableData& table);
    // Every row of the table's SQL table in identifier order, read a page at a time.
    bool eachRecordRow(const TableData& table, const std::function<void(const SqlRow&)>& each);
    bool readDictionaries(TableData& table);
    // Sets a record from a row of its table (every column in position order); appends it when it is
    // new. The row, or -1 when it cannot be placed; `changed` tells whether any value differed.
    int32_t putRow(TableData& table, const SqlRow& row, bool& changed);
    SqlParams recordParams(const TableData& table, int32_t row) const;
    // Takes the write lock and catches up, reading the log in the same exchange; the write
    // transactions of every kind start here.
    bool lockAndCatchUp(const SqlBatch& also = {});
    // Catching up: the log after the last change applied (readLog), then the records and dictionary
    // entries it names, read in one batch and applied in log order.
    struct LogEntry;
    struct LogRead;
    static SqlStatement selectChanges(int64_t after, LogRead& read);
    SqlBatch readLog(LogRead& read) const;
    bool applyLog(LogRead& read);
    bool applyEntries(const std::vector<LogEntry>& entries);
    // Brings the change into memory: from `values` when given (the change's own values, as a row of
    // the database would hold them), otherwise by a statement added to the batch. A change of the
    // users needs neither.
    void readChange(const LogEntry& entry, TableData* table, SqlBatch& batch, const SqlRow* values = nullptr);
    bool catchUp();
    bool resyncTable(TableData& table);
    bool resyncAll();
    // Adds the change's log entry (numbered after the last) to the batch.
    void logChange(SqlBatch& batch, const QString& table, int kind, int64_t item, const QString& column);
    void writeUser(SqlBatch& batch, const QString& name, const QString& password, const QString& origin);
    // A failed statement: logs the cause (once while the database is away), rolls back.
    bool failed();
    // Runs `last`, announces (with the notice, when there is one) and commits, in one exchange; with
    // `atOnce` the write lock is taken in the same exchange (a change begun at once). When !ok or it
    // fails, rolls back and puts the change log position back to `before` (what it was when the write
    // began); a change written at once that lost its race sets raced() instead of reporting a failure.
    bool endWrite(bool ok, const SqlBatch& last, int64_t before, const QByteArray& notice = {},
                  bool atOnce = false);
    // The end of a write that may be part of a bulk write: inside one, runs the batch there (the bulk
    // commit ends it); otherwise as endWrite.
    bool endOwnOrBulkWrite(bool own, const SqlBatch& batch, int64_t before);

    std::unique_ptr<SqlDatabase> db_;
    bool shared_ = false;
    std::vector<TableData> tables_;
    Log log_;
    QString lastError_;
    bool down_ = false;
    bool inBulk_ = false;
    bool bulkFailed_ = false;
    int64_t bulkStartSeq_ = 0;
    std::vector<TableData*> bulkTables_;
    int64_t lastSeq_ = 0;
    std::vector<Applied> applied_;
    // What beginChange read for an addition; nextId and addedBefore ask the database about any other
    // table or mark.
    struct Prefetched {
        const TableData* table = nullptr;
        int64_t nextId = 0;
        QString mark;
        int64_t added = 0;
    };
    Prefetched prefetched_;
    // The change begun takes the lock with its writes (beginChange).
    bool atOnce_ = false;
    bool raced_ = false;
    uint64_t usersVersion_ = 0;
};
