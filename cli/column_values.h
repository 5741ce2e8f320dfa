// The COL=VALUE words of the add and edit commands, and their writing into a table's edit buffers.
#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

class TBaseClient;

using ColumnValues = std::vector<std::pair<QString, QString>>;

// Splits each word at its first '='; the value may be empty or hold further '='. An error line when
// a word has no '=' or an empty column name, or no word is given.
QString ParseColumnValues(const QStringList& words, ColumnValues& values);

// Writes each value through the column's AsString. The table must be in add or edit mode and its
// Guard() held. An error line (and nothing further written) at the first column the table does not
// have, that is the record identifier, or that refuses the text.
QString WriteColumnValues(TBaseClient& table, const ColumnValues& values);
