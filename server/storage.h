// The server's database: one SQLite file holding the six tables, their dictionaries and the users.
// The tables are read into memory (TableData) when the file is opened and every change is written
// through at once, so a restart finds what clients were told. Passwords are kept as salted PBKDF2
// digests only. Not thread-safe: the server's one protocol thread owns it.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>
#include <vector>

#include "table_data.h"

struct sqlite3;
struct sqlite3_stmt;

class Storage {
  public:
    Storage();
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Opens (creating when missing) the database file and reads the tables. False with a reason
    // in error when the file cannot be used.
    bool open(const QString& path, QString& error);

    std::vector<TableData>& tables() { return tables_; }
    TableData* table(const QString& name);

    // Writes the record's current values.
    bool saveRecord(const TableData& table, int32_t row);
    // Writes the entries of every dictionary column of the table.
    bool saveDictionaries(const TableData& table);
    // Writes one change in one transaction: the record's current values and the dictionary entries
    // (column, key) the change added or renamed. False, and nothing written, when the database did
    // not take it.
    bool storeChange(const TableData& table, int32_t row,
                     const std::vector<std::pair<int, uint32_t>>& entries);
    // Groups many writes into one transaction (demo data, bulk generation).
    void begin();
    void commit();

    // Adds the user or gives an existing one a new password.
    bool setUser(const QString& name, const QString& password);
    // Makes the named users the only ones, each with its password, in one transaction.
    bool replaceUsers(const std::vector<std::pair<QString, QString>>& users);
    // Forgets which passwords were verified: the next login of every user is checked against the
    // database again.
    void forgetVerified() { verified_.clear(); }
    bool checkUser(const QString& name, const QString& password);
    bool hasUsers();
    // The user's identifier, stamped into every change the user makes: given once per name and kept
    // when the user is removed, so that a name always stands for the same identifier. 0 for a name
    // never seen.
    int32_t userId(const QString& name);

  private:
    bool exec(const char* sql);
    bool createTables();
    bool readTable(TableData& table);
    bool saveEntry(const TableData& table, int col, const DictionaryEntry& entry);
    sqlite3_stmt* prepare(const QString& sql);

    sqlite3* db_ = nullptr;
    std::vector<TableData> tables_;
    std::vector<sqlite3_stmt*> inserts_;  // per table, same order as tables_
    sqlite3_stmt* dictInsert_ = nullptr;
    // Users whose password was verified the slow way, with a quick digest of it: a login costs the
    // protocol thread a PBKDF2 derivation (tens of milliseconds) only the first time.
    struct Verified {
        QByteArray salt;
        QByteArray quick;
    };
    QHash<QString, Verified> verified_;
};
