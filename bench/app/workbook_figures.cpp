#include "workbook_figures.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

#include "exchange/sheet_writer.h"
#include "exchange/table_export.h"
#include "exchange/xlsx_writer.h"

namespace {

// Keeps the cells a workbook export reads, as the library takes them.
class CollectedCells final : public SheetWriter {
  public:
    struct Cell {
        ExportCell::Kind kind;
        double number;
        QByteArray text;
    };
    bool NeedsTexts() const override { return false; }
    void Header(const QStringList& header) override { captions = header; }
    void Line(const std::vector<ExportCell>& cells) override {
        std::vector<Cell>& line = lines.emplace_back();
        line.reserve(cells.size());
        for (const ExportCell& c : cells) {
            line.push_back(
                {c.kind, c.number, c.kind == ExportCell::Kind::Text ? c.text.toUtf8() : QByteArray()});
        }
    }
    QString Finish() override { return {}; }

    QStringList captions;
    std::vector<std::vector<Cell>> lines;
};

double Ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// The library with the options and formats our writer uses, and nothing of ours per cell; the time
// of workbook_close (which packs the sheet into the archive) separately.
void LibraryAlone(const CollectedCells& cells, const QByteArray& path, bool constantMemory) {
    QElapsedTimer t;
    t.start();
    lxw_workbook_options options{};
    options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(path.constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* dateTime = workbook_add_format(book);
    format_set_num_format(dateTime, "dd.mm.yyyy hh:mm:ss");
    for (qsizetype c = 0; c < cells.captions.size(); ++c) {
        worksheet_write_string(sheet, 0, lxw_col_t(c), cells.captions[c].toUtf8().constData(), bold);
    }
    lxw_row_t row = 1;
    for (const auto& line : cells.lines) {
        for (size_t c = 0; c < line.size(); ++c) {
            const CollectedCells::Cell& cell = line[c];
            if (cell.kind == ExportCell::Kind::Text) {
                if (!cell.text.isEmpty()) {
                    worksheet_write_string(sheet, row, lxw_col_t(c), cell.text.constData(), nullptr);
                }
            } else {
                worksheet_write_number(sheet, row, lxw_col_t(c), cell.number,
                                       cell.kind == ExportCell::Kind::DateTime ? dateTime : nullptr);
            }
        }
        ++row;
    }
    const double written = Ms(t);
    workbook_close(book);
    std::printf(
        "  xlsx: libxlsxwriter alone writing those cells, %s %8.2f ms (cells %.0f, close %.0f)  %.1f MB\n",
        constantMemory ? "constant memory" : "in memory      ", Ms(t), written, Ms(t) - written,
        double(QFile(QFile::decodeName(path)).size()) / 1e6);
}

}  // namespace

void WorkbookFigures(TBaseClient& table, const std::vector<int32_t>& positions, const QString& folder) {
    CollectedCells cells;
    QElapsedTimer t;
    t.start();
    ExportRecords(table, positions, cells);
    std::printf("  xlsx: our side reading the cells into memory      %8.2f ms\n", Ms(t));

    for (const bool constantMemory : {true, false}) {
        LibraryAlone(cells, QFile::encodeName(QDir(folder).filePath(QStringLiteral("alone.xlsx"))),
                     constantMemory);
    }

    XlsxSheetWriter writer(QDir(folder).filePath(QStringLiteral("ours.xlsx")));
    t.start();
    writer.Header(cells.captions);
    std::vector<ExportCell> line;
    for (const auto& collected : cells.lines) {
        line.clear();
        for (const CollectedCells::Cell& c : collected) {
            line.push_back({QString::fromUtf8(c.text), c.kind, c.number});
        }
        writer.Line(line);
    }
    writer.Finish();
    std::printf("  xlsx: our writer writing those cells                %8.2f ms\n", Ms(t));
}
