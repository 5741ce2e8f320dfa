// The SQL of the server's storage, written once for every database it runs on: the schema and its
// versions, the record tables, the dictionaries, the users and the change log. Only the column type
// names come from the database (SqlTypes). Parameters are numbered $1, $2, ... in the order they
// appear. Stateless; any thread.
//
// Schema versions: 1 is the record tables, "dictionary" and "users" as the first releases made
// them (files of those releases carry no version and count as 0); 2 adds the change log "changes"
// and the origin of each user, and the identifiers of the users ("user_ids", which files of the first
// releases may already hold); 3 adds the marks of stored additions ("additions"). A database newer
// than kSchemaVersion is refused.
#pragma once

#include <QByteArray>
#include <vector>

#include "schema.h"
#include "sql_database.h"

namespace StorageSql {

inline constexpr int kSchemaVersion = 3;
// Records read per statement when a table is loaded.
inline constexpr int kRecordPage = 10000;
// Change log entries read per statement.
inline constexpr size_t kChangesPage = 1000;

// What a row of the change log says changed ("kind"); "item" is the record's n_abs or the key of
// the dictionary entry, "col" the dictionary's column.
enum class ChangeKind : int { Record = 1, Deleted = 2, Dictionary = 3, Users = 4, Table = 5 };

QByteArray CreateVersionTable();
QByteArray SelectVersion();
QByteArray InsertVersion();  // $1 version
QByteArray UpdateVersion();  // $1 version
// The statements that bring a database of version `version - 1` to `version`.
std::vector<QByteArray> MigrationTo(int version, const SqlTypes& types);

// Record tables. Rows hold every column in position order.
QByteArray SelectRecordPage(const TableDef& table);  // $1 the n_abs after which to start
QByteArray SelectRecord(const TableDef& table);      // $1 n_abs
QByteArray UpsertRecord(const TableDef& table);      // one parameter per column
QByteArray NextRecordId(const TableDef& table);

// Dictionaries: rows are (col, key, text).
QByteArray SelectDictionaries();     // $1 table
QByteArray SelectDictionaryEntry();  // $1 table, $2 column, $3 key; rows (text)
QByteArray UpsertDictionaryEntry();  // $1 table, $2 column, $3 key, $4 text

// The change log: rows are (seq, tbl, kind, item, col).
QByteArray SelectLastChange();  // rows (largest seq, smallest seq), 0 when empty
QByteArray SelectChanges();     // $1 the seq after which to start; kChangesPage rows at most
QByteArray InsertChange();      // $1 seq, $2 table, $3 kind, $4 item, $5 col
QByteArray PruneChanges();      // $1 the largest seq to remove

// Additions a client marked, so that one sent again is recognised: rows are (tbl, n_abs).
QByteArray SelectAddition();  // $1 mark
QByteArray InsertAddition();  // $1 mark, $2 table, $3 n_abs
QByteArray PruneAdditions();  // $1 the number of marks to keep (the newest)

// Users: rows of SelectUser are (salt, hash, iterations).
QByteArray SelectUser();       // $1 name
QByteArray SelectUserNames();  // $1 origin; rows (name)
QByteArray CountUsers();
QByteArray UpsertUser();  // $1 name, $2 salt, $3 hash, $4 iterations, $5 origin
QByteArray DeleteUser();  // $1 name
QByteArray DeleteAllUsers();
// User identifiers (user_ids): given once per name, kept when the user goes.
QByteArray SelectUserId();  // $1 name; rows (id)
QByteArray InsertUserId();  // $1 name; nothing when the name has one

}  // namespace StorageSql
