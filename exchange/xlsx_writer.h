// Writing a workbook of one sheet with libxlsxwriter in its constant-memory mode (lines go to the
// file as they come). Numbers become number cells and date-times date cells, so that the office
// program sorts and sums them; everything else is text. The header line is bold.
#pragma once

#include <QString>
#include <QStringList>

#include "exchange/sheet_writer.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

class XlsxSheetWriter final : public SheetWriter {
  public:
    // Check Opened before use.
    explicit XlsxSheetWriter(const QString& path);
    ~XlsxSheetWriter() override;
    bool Opened() const { return book_ != nullptr; }

    bool NeedsTexts() const override { return false; }

    void Header(const QStringList& captions) override;
    void Line(const std::vector<ExportCell>& cells) override;
    QString Finish() override;

  private:
    QString path_;
    QString partPath_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    lxw_format* dateTime_ = nullptr;
    uint32_t row_ = 0;
    int failures_ = 0;
};
