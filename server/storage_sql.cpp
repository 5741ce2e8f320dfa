#include "storage_sql.h"

#include <QStringList>

namespace StorageSql {
namespace {

QByteArray quoted(const QString& name) {
    return '"' + name.toUtf8() + '"';
}

QByteArray columnList(const TableDef& table) {
    QByteArrayList names;
    for (const ColumnDef& c : table.columns) {
        names << quoted(c.name);
    }
    return names.join(',');
}

const char* typeOf(uint8_t code, const SqlTypes& types) {
    if (IsRealCode(code)) {
        return types.real;
    }
    if (IsTextCode(code)) {
        return "TEXT";
    }
    if (code == FieldCode::ByteArray) {
        return types.bytes;
    }
    return types.integer;
}

QByteArray createRecordTable(const TableDef& table, const SqlTypes& types) {
    QByteArrayList columns;
    for (const ColumnDef& c : table.columns) {
        columns << quoted(c.name) + ' ' +
                       (c.name == QLatin1String("n_abs") ? QByteArray(types.key) + " PRIMARY KEY"
                                                         : QByteArray(typeOf(c.code, types)));
    }
    return "CREATE TABLE IF NOT EXISTS " + quoted(table.name) + " (" + columns.join(',') + ')';
}

}  // namespace

QByteArray CreateVersionTable() {
    return "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)";
}

QByteArray SelectVersion() {
    return "SELECT version FROM schema_version";
}

QByteArray InsertVersion() {
    return "INSERT INTO schema_version (version) VALUES ($1)";
}

QByteArray UpdateVersion() {
    return "UPDATE schema_version SET version = $1";
}

std::vector<QByteArray> MigrationTo(int version, const SqlTypes& types) {
    std::vector<QByteArray> steps;
    if (version == 1) {
        steps.push_back(QByteArray("CREATE TABLE IF NOT EXISTS users (name TEXT PRIMARY KEY, salt ") +
                        types.bytes + " NOT NULL, hash " + types.bytes + " NOT NULL, iterations " +
                        types.integer + " NOT NULL)");
        steps.push_back(
            QByteArray("CREATE TABLE IF NOT EXISTS dictionary (tbl TEXT NOT NULL, col TEXT NOT NULL, "
                       "key ") +
            types.integer + " NOT NULL, text TEXT NOT NULL, PRIMARY KEY (tbl, col, key))");
        for (const TableDef& t : ServerTables()) {
            steps.push_back(createRecordTable(t, types));
        }
    } else if (version == 2) {
        steps.push_back(QByteArray("CREATE TABLE changes (seq ") + types.integer +
                        " PRIMARY KEY, tbl TEXT NOT NULL, kind INTEGER NOT NULL, item " + types.integer +
                        " NOT NULL, col TEXT NOT NULL)");
        steps.push_back("ALTER TABLE users ADD COLUMN origin TEXT NOT NULL DEFAULT ''");
        steps.push_back(QByteArray("CREATE TABLE IF NOT EXISTS user_ids (id ") + types.key +
                        " PRIMARY KEY, name TEXT UNIQUE NOT NULL)");
        steps.push_back(
            "INSERT INTO user_ids (id, name) SELECT (SELECT COALESCE(MAX(id), 0) FROM user_ids) + "
            "ROW_NUMBER() OVER (ORDER BY name), name FROM users "
            "WHERE name NOT IN (SELECT name FROM user_ids)");
    } else if (version == 3) {
        steps.push_back(QByteArray("CREATE TABLE IF NOT EXISTS additions (seq ") + types.integer +
                        " PRIMARY KEY, mark TEXT UNIQUE NOT NULL, tbl TEXT NOT NULL, n_abs " + types.integer +
                        " NOT NULL)");
    }
    return steps;
}

QByteArray SelectRecordPage(const TableDef& table) {
    return "SELECT " + columnList(table) + " FROM " + quoted(table.name) +
           " WHERE \"n_abs\" > $1 ORDER BY \"n_abs\" LIMIT " + QByteArray::number(kRecordPage);
}

QByteArray SelectRecord(const TableDef& table) {
    return "SELECT " + columnList(table) + " FROM " + quoted(table.name) + " WHERE \"n_abs\" = $1";
}

QByteArray UpsertRecord(const TableDef& table) {
    QByteArrayList marks;
    QByteArrayList updates;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        marks << '$' + QByteArray::number(qulonglong(i + 1));
        if (i > 0) {
            const QByteArray name = quoted(table.columns[i].name);
            updates << name + " = excluded." + name;
        }
    }
    return "INSERT INTO " + quoted(table.name) + " (" + columnList(table) + ") VALUES (" + marks.join(',') +
           ") ON CONFLICT (\"n_abs\") DO UPDATE SET " + updates.join(',');
}

QByteArray NextRecordId(const TableDef& table) {
    return "SELECT COALESCE(MAX(\"n_abs\"), 0) + 1 FROM " + quoted(table.name);
}

QByteArray SelectDictionaries() {
    return "SELECT col, key, text FROM dictionary WHERE tbl = $1 ORDER BY col, key";
}

QByteArray SelectDictionaryEntry() {
    return "SELECT text FROM dictionary WHERE tbl = $1 AND col = $2 AND key = $3";
}

QByteArray UpsertDictionaryEntry() {
    return "INSERT INTO dictionary (tbl, col, key, text) VALUES ($1, $2, $3, $4) "
           "ON CONFLICT (tbl, col, key) DO UPDATE SET text = excluded.text";
}

QByteArray SelectLastChange() {
    return "SELECT COALESCE(MAX(seq), 0), COALESCE(MIN(seq), 0) FROM changes";
}

QByteArray SelectChanges() {
    return "SELECT seq, tbl, kind, item, col FROM changes WHERE seq > $1 ORDER BY seq LIMIT " +
           QByteArray::number(qulonglong(kChangesPage));
}

QByteArray InsertChange() {
    return "INSERT INTO changes (seq, tbl, kind, item, col) VALUES ($1, $2, $3, $4, $5)";
}

QByteArray PruneChanges() {
    return "DELETE FROM changes WHERE seq <= $1";
}

QByteArray SelectAddition() {
    return "SELECT tbl, n_abs FROM additions WHERE mark = $1";
}

QByteArray InsertAddition() {
    return "INSERT INTO additions (seq, mark, tbl, n_abs) SELECT COALESCE(MAX(seq), 0) + 1, $1, $2, $3 "
           "FROM additions";
}

QByteArray PruneAdditions() {
    return "DELETE FROM additions WHERE seq <= (SELECT COALESCE(MAX(seq), 0) FROM additions) - $1";
}

QByteArray SelectUser() {
    return "SELECT salt, hash, iterations FROM users WHERE name = $1";
}

QByteArray SelectUserNames() {
    return "SELECT name FROM users WHERE origin = $1 ORDER BY name";
}

QByteArray CountUsers() {
    return "SELECT COUNT(*) FROM users";
}

QByteArray UpsertUser() {
    return "INSERT INTO users (name, salt, hash, iterations, origin) VALUES ($1, $2, $3, $4, $5) "
           "ON CONFLICT (name) DO UPDATE SET salt = excluded.salt, hash = excluded.hash, "
           "iterations = excluded.iterations, origin = excluded.origin";
}

QByteArray DeleteUser() {
    return "DELETE FROM users WHERE name = $1";
}

QByteArray DeleteAllUsers() {
    return "DELETE FROM users";
}

QByteArray SelectUserId() {
    return "SELECT id FROM user_ids WHERE name = $1";
}

QByteArray InsertUserId() {
    // The WHERE clause lets SQLite tell the upsert's ON from a join's.
    return "INSERT INTO user_ids (id, name) SELECT COALESCE(MAX(id), 0) + 1, $1 FROM user_ids WHERE true "
           "ON CONFLICT (name) DO NOTHING";
}

}  // namespace StorageSql
