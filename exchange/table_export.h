// Export of a table's records: the records at the given positions of the table's view, in that
// order, with every column of the table under its caption, to a CSV or XLSX file (by the suffix).
// The table's lock is held for the whole export, so the file is one consistent picture even while
// record updates arrive.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

class SheetWriter;
class TBaseClient;

// An error text, empty when the file was written.
QString ExportRecords(TBaseClient& table, const std::vector<int32_t>& positions, const QString& path);
// The same into a writer of the caller's (its Finish's answer).
QString ExportRecords(TBaseClient& table, const std::vector<int32_t>& positions, SheetWriter& writer);

// Every visible position of the table in its view order (1 to CountRecordFilter).
std::vector<int32_t> AllPositions(TBaseClient& table);
