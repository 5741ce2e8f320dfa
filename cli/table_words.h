// Checks of the words that name a table or a record on the command line.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// An error line unless name is one of the six registered tables.
QString CheckTableName(const QString& name);

// The record identifier in text, or nothing when it is not a decimal 32-bit integer.
std::optional<int32_t> ParseRecordId(const QString& text);

// Checks words[0] as a table name and words[1] as a record identifier (the caller has made sure
// there are two); an error line, or empty with table and n_abs set.
QString ParseTableAndRecord(const QStringList& words, QString& table, int32_t& n_abs);
