// Writing CSV as the office programs of the operators' locale open it: UTF-8 with a byte-order mark,
// fields separated by ";", lines ending in CR LF. A field holding ";", a quote, a line break or
// leading or trailing blanks is quoted, with its quotes doubled.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QStringList>

#include "exchange/sheet_writer.h"

// One line of fields, UTF-8, with its CR LF.
QByteArray CsvLine(const QStringList& fields);

class CsvSheetWriter final : public SheetWriter {
  public:
    // Check Opened before use.
    explicit CsvSheetWriter(const QString& path);
    bool Opened() const { return opened_; }

    bool NeedsTexts() const override { return true; }

    void Header(const QStringList& captions) override;
    void Line(const std::vector<ExportCell>& cells) override;
    QString Finish() override;

  private:
    void Write(const QByteArray& bytes);

    QSaveFile file_;
    bool opened_ = false;
    QByteArray pending_;
};
