// What a server tells the others sharing its database when a client's change commits: the change
// log entries of the transaction, numbered on from `first`, each with what it wrote (a record's
// values in column order, a dictionary entry's text). A server whose last change seen is the one
// before `first` applies the notice as it stands and reads nothing back; any other server, and any
// notice that does not decode, falls back to reading the log.
//
// The notice travels as the text of the database's announcement: base64 of a little-endian form
// (a version byte, first, the entry count, then each entry: kind, table, item, column and its
// values, each a type byte and an 8-byte number or a 32-bit length and bytes). Every length is
// checked before it is read. Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

#include "sql_database.h"

struct ChangeNotice {
    struct Entry {
        int kind = 0;  // a StorageSql::ChangeKind
        QString table;
        int64_t item = 0;
        QString column;
        SqlParams values;
    };
    int64_t first = 0;
    std::vector<Entry> entries;

    int64_t last() const { return first + int64_t(entries.size()) - 1; }
};

// The longest announcement text the database carries (PostgreSQL: under 8,000 bytes).
inline constexpr qsizetype kMaxNoticeText = 7900;

// The notice's text; empty when it would be longer than kMaxNoticeText (the others read the log).
QByteArray EncodeChangeNotice(const ChangeNotice& notice);
// False, leaving `out` unspecified, when the text is not a whole notice of this version, names no
// entry or numbers it below 1.
bool DecodeChangeNotice(QByteArrayView text, ChangeNotice& out);

// The values of an entry read as a row of its table would be: a value of another type than asked,
// or a column that is not there, reads as 0 or empty.
class ParamsRow final : public SqlRow {
  public:
    explicit ParamsRow(const SqlParams& values) : values_(values) {}
    int64_t integer(int column) const override;
    double real(int column) const override;
    QByteArray bytes(int column) const override;

  private:
    const SqlValue* at(int column, SqlValue::Type a, SqlValue::Type b) const;

    const SqlParams& values_;
};
