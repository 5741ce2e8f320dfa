// Checks of the words that name a table or a record on the command line.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// An error line unless name is one of the six registered tables.
QString CheckTableName(const QString& name);

// The record identifier in text, or nothing when it is not a decimal 32-bit integer.
std::optional<int32_t> ParseRecordId(const QString& text);
