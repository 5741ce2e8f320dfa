// The names operators know the columns of the configured tables by: the captions the pages show
// ("Гос. номер" for "gosnum"). Export headers use them, import headers are matched against them as
// well as against the column names. Stateless.
#pragma once

#include <QString>

class TBaseClient;

// The caption of a table's column, or the column's name where no page shows it.
QString ColumnCaption(const QString& table, const QString& column);

// The column a file's header cell names, by caption or by name, ignoring letter case and blanks at
// either end; empty when it names none, or names one the server keeps itself. The caller holds the
// table's Guard().
QString ColumnOfHeader(const TBaseClient& table, const QString& header);

// Whether the server fills the column itself (identifier, flags, time stamps, author, version), so
// that an import never writes it.
bool ServerKeptColumn(const QString& column);

// How a record of the table is named in messages: the vehicle's name, the holder's full name, or
// the group's name; empty for other tables.
QString TitleColumn(const QString& table);
// "ТС", "МТК", "группа" or "запись": what a record of the table is called in messages.
QString RecordNoun(const QString& table);
