#include "sheet_writer.h"

#include "exchange/csv_writer.h"
#include "exchange/xlsx_writer.h"

std::unique_ptr<SheetWriter> OpenSheetWriter(const QString& path, QString& error) {
    if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        auto writer = std::make_unique<XlsxSheetWriter>(path);
        if (writer->Opened()) {
            return writer;
        }
    } else {
        auto writer = std::make_unique<CsvSheetWriter>(path);
        if (writer->Opened()) {
            return writer;
        }
    }
    error = QStringLiteral("Не удалось создать файл %1").arg(path);
    return nullptr;
}
