// One record of a replicated table as the JSON pairs mobcfg-cli prints: "n_abs" as a number first,
// then every other usable column by name with its AsString text, in column order.
// The caller holds the table's Guard() for the call.
#pragma once

#include <QString>
#include <cstdint>

class TBaseClient;

// The record at visible position pos (1 to CountRecordFilter).
QString RecordPairsAt(TBaseClient& table, int32_t pos);

// The visible record with identifier n_abs; empty when there is none. Moves the current record.
QString RecordPairsOf(TBaseClient& table, int32_t n_abs);
