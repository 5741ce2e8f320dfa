// Writing a sheet to a file, one line after the other, so that a large table never has to be held in
// memory twice. The format follows the file's suffix: ".xlsx" is a workbook, anything else CSV. The
// file appears under its name only when Finish succeeded; until then an older file of that name stays.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

struct ExportCell {
    enum class Kind { Text, Number, DateTime };
    QString text;  // what CSV writes, and XLSX for a text cell; see SheetWriter::NeedsTexts
    Kind kind = Kind::Text;
    double number = 0;  // a number, or a date-time as days since 1899-12-30
};

class SheetWriter {
  public:
    virtual ~SheetWriter() = default;
    // Whether number and date-time cells must carry their texts as well (a workbook writes the
    // values themselves, so the export spares itself their texts).
    virtual bool NeedsTexts() const = 0;
    virtual void Header(const QStringList& captions) = 0;
    virtual void Line(const std::vector<ExportCell>& cells) = 0;
    // Completes the file; an error text when it could not be written.
    virtual QString Finish() = 0;
};

// Null with an error text when the file cannot be created.
std::unique_ptr<SheetWriter> OpenSheetWriter(const QString& path, QString& error);
