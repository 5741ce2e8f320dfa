#include "sheet_file.h"

#include <QFile>

#include "exchange/csv_reader.h"
#include "exchange/xlsx_reader.h"

SheetRead ReadSheetFile(const QString& path) {
    SheetRead read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("Не удалось открыть файл %1: %2").arg(path, file.errorString());
        return read;
    }
    if (file.size() > kMaxSheetFileBytes) {
        read.error = QStringLiteral("Файл больше %1 МБ").arg(kMaxSheetFileBytes >> 20);
        return read;
    }
    const QByteArray bytes = file.read(kMaxSheetFileBytes + 1);
    if (bytes.size() > kMaxSheetFileBytes) {
        read.error = QStringLiteral("Файл больше %1 МБ").arg(kMaxSheetFileBytes >> 20);
        return read;
    }
    return LooksLikeZip(bytes) ? ReadXlsx(bytes) : ReadCsv(bytes);
}
