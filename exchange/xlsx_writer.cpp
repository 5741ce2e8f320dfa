#include "xlsx_writer.h"

#include <xlsxwriter.h>

#include <QFile>

namespace {

// Excel's own limit of a cell's text.
constexpr qsizetype kMaxXlsxText = 32767;

}  // namespace

XlsxSheetWriter::XlsxSheetWriter(const QString& path)
    : path_(path), partPath_(path + QStringLiteral(".part")) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray name = QFile::encodeName(partPath_);
    book_ = workbook_new_opt(name.constData(), &options);
    if (book_ == nullptr) {
        return;
    }
    sheet_ = workbook_add_worksheet(book_, nullptr);
    bold_ = workbook_add_format(book_);
    format_set_bold(bold_);
    dateTime_ = workbook_add_format(book_);
    format_set_num_format(dateTime_, "dd.mm.yyyy hh:mm:ss");
}

XlsxSheetWriter::~XlsxSheetWriter() {
    if (book_ != nullptr) {
        workbook_close(book_);
        QFile::remove(partPath_);
    }
}

void XlsxSheetWriter::Header(const QStringList& captions) {
    for (qsizetype c = 0; c < captions.size(); ++c) {
        const QByteArray text = captions[c].left(kMaxXlsxText).toUtf8();
        failures_ +=
            worksheet_write_string(sheet_, row_, lxw_col_t(c), text.constData(), bold_) != LXW_NO_ERROR;
        worksheet_set_column(sheet_, lxw_col_t(c), lxw_col_t(c),
                             std::max(10.0, double(captions[c].size()) + 2), nullptr);
    }
    ++row_;
}

void XlsxSheetWriter::Line(const std::vector<ExportCell>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
        const ExportCell& cell = cells[c];
        lxw_error result = LXW_NO_ERROR;
        switch (cell.kind) {
            case ExportCell::Kind::Number:
                result = worksheet_write_number(sheet_, row_, lxw_col_t(c), cell.number, nullptr);
                break;
            case ExportCell::Kind::DateTime:
                result = worksheet_write_number(sheet_, row_, lxw_col_t(c), cell.number, dateTime_);
                break;
            case ExportCell::Kind::Text:
                if (!cell.text.isEmpty()) {
                    const QByteArray text = cell.text.left(kMaxXlsxText).toUtf8();
                    result = worksheet_write_string(sheet_, row_, lxw_col_t(c), text.constData(), nullptr);
                }
                break;
        }
        failures_ += result != LXW_NO_ERROR;
    }
    ++row_;
}

QString XlsxSheetWriter::Finish() {
    const lxw_error closed = workbook_close(book_);
    book_ = nullptr;
    if (closed != LXW_NO_ERROR || failures_ > 0) {
        QFile::remove(partPath_);
        const QString why = closed != LXW_NO_ERROR ? QString::fromUtf8(lxw_strerror(closed))
                                                   : QStringLiteral("не все значения удалось записать");
        return QStringLiteral("Не удалось записать файл %1: %2").arg(path_, why);
    }
    QFile::remove(path_);
    if (!QFile::rename(partPath_, path_)) {
        QFile::remove(partPath_);
        return QStringLiteral("Не удалось записать файл %1").arg(path_);
    }
    return {};
}
