#include "table_export.h"

#include <numeric>

#include "exchange/cell_values.h"
#include "exchange/column_captions.h"
#include "exchange/sheet_writer.h"
#include "tables/base_client.h"

QString ExportRecords(TBaseClient& table, const std::vector<int32_t>& positions, const QString& path) {
    QString error;
    const std::unique_ptr<SheetWriter> writer = OpenSheetWriter(path, error);
    return writer ? ExportRecords(table, positions, *writer) : error;
}

QString ExportRecords(TBaseClient& table, const std::vector<int32_t>& positions, SheetWriter& writer) {
    const auto guard = table.Guard();
    std::vector<FieldGFB*> columns;
    QStringList captions;
    for (const auto& column : table.Fields) {
        if (!column->name.isEmpty() && FieldHasStorage(column->TypeField)) {
            columns.push_back(column.get());
            captions << ColumnCaption(table.NameTableS, column->name);
        }
    }
    writer.Header(captions);
    std::vector<ExportCell> cells(columns.size());
    const bool texts = writer.NeedsTexts();
    for (const int32_t position : positions) {
        if (position < 1 || position > table.CountRecordFilter ||
            table.GetFieldNumber(1, position) == nullptr) {
            continue;
        }
        for (size_t c = 0; c < columns.size(); ++c) {
            cells[c] = CellOf(*columns[c], texts);
        }
        writer.Line(cells);
    }
    return writer.Finish();
}

std::vector<int32_t> AllPositions(TBaseClient& table) {
    const auto guard = table.Guard();
    std::vector<int32_t> positions(size_t(std::max(table.CountRecordFilter, 0)));
    std::iota(positions.begin(), positions.end(), 1);
    return positions;
}
