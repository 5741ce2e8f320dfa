// Where the time of a workbook export goes: our side reading the cells of every row into memory
// (nothing written), libxlsxwriter alone writing those same cells with the time of workbook_close
// (which packs the sheet into the archive) apart, and our writer writing them.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

class TBaseClient;

void WorkbookFigures(TBaseClient& table, const std::vector<int32_t>& positions, const QString& folder);
