// RecordGrid: the owner-drawn grid every page shows its records in. The first column is the row
// number; the others come from the page through a text function over the record positions of the
// grid's index array (row r shows the record at position Idx()[r - 1] of the table's filtered order).
// The grid draws everything itself: a header row in #CBE1FC with bold captions (magenta for the sort
// column), data cells white or #FBE694 for the selected row, regular black text.
//
// Rows are numbered as the operator sees them: 1 is the first data row. A grid always shows at least
// one data row; with an empty index array that row is blank.
//
// Thread-safety: UI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPoint>
#include <QStyledItemDelegate>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/grid_view.h"

struct GridColumn {
    QString caption;
    int width = 0;
};

class RecordGridModel : public QAbstractTableModel {
  public:
    // Text of one cell for a record position and a column (1 and up); called while painting.
    using CellText = std::function<QString(int32_t position, int column)>;

    RecordGridModel(std::vector<GridColumn> columns, CellText cellText, QObject* parent);

    const std::vector<int32_t>& Idx() const { return idx_; }
    void SetIdx(std::vector<int32_t> idx);
    int SortField() const { return sortField_; }
    void SetSortField(int column) { sortField_ = column; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::vector<GridColumn> columns_;
    CellText cellText_;
    std::vector<int32_t> idx_;
    int sortField_ = 0;
};

// The header row: drawn by the grid itself, and reporting a press with any mouse button.
class GridHeader : public QHeaderView {
    Q_OBJECT
  public:
    GridHeader(QPoint textOrigin, QWidget* parent);

  signals:
    // The column under the pointer, -1 outside the columns.
    void pressed(int column);

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QPoint textOrigin_;
};

class GridDelegate : public QStyledItemDelegate {
  public:
    GridDelegate(QPoint textOrigin, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    QPoint textOrigin_;
};

class RecordGrid : public QTableView {
    Q_OBJECT
  public:
    // Text origins differ between the terminals grid and the others, as the operators know them.
    enum class Origins { Terminals, Standard };

    RecordGrid(std::vector<GridColumn> columns, RecordGridModel::CellText cellText, Origins origins,
               QWidget* parent);

    RecordGridModel& Model() { return *model_; }
    // The rows shown, in order: the page's order with the operator's sort and find applied.
    const std::vector<int32_t>& Idx() const { return model_->Idx(); }
    // Takes the page's order. The selection keeps its row number (the last row when fewer remain),
    // or, while the operator's sort or find is on, its record; no selection handler runs.
    void SetIdx(std::vector<int32_t> idx);
    // Rows in the page's order, before the find.
    int TotalRows() const { return int(view_.Base().size()); }

    // The identifier of the record at a position, to keep the selected record across rebuilds.
    void SetRecordId(std::function<int32_t(int32_t position)> idOf) { idOf_ = std::move(idOf); }
    // A faster way to read a column's texts for the find and the sort than cell by cell.
    void SetColumnTexts(GridView::ColumnTexts texts) { view_.SetColumnTexts(std::move(texts)); }
    // The page answers every header press with a rebuild (the terminals grid); the columns it
    // orders itself are only reversed by a second press.
    void SetPageSorts(std::vector<int> columns);
    // Shows only the rows whose texts hold every word of the text; the selected record stays
    // selected while it is shown, otherwise the first row is.
    void SetFind(const QString& text);
    const QString& Find() const { return view_.Find(); }
    // Reads what the find compares ahead of the first keystroke (when the find field gets the focus).
    void PrepareFind() { view_.PrepareFind(); }
    // The selected row, 1 and up.
    int CurrentRow() const;
    // Selects row r; rowSelected follows when the row changes.
    void SelectRow(int r);
    // The first row whose record has this identifier, 0 when none.
    int RowOfRecord(const std::function<int32_t(int32_t position)>& idOf, int32_t id) const;

  signals:
    void rowSelected(int r);
    void headerPressed(int column);
    // The operator's sort or find changed the rows shown (the page's selection handler should run).
    void shownChanged();
    // After every change of the rows: shown of total.
    void countsChanged(int shown, int total);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  signals:
    // Enter or Return on the grid.
    void enterPressed();

  private:
    void OnHeaderPressed(int column);
    int32_t CurrentPosition() const;
    // Applies the view; the row whose record `keep` matches is selected, else `fallbackRow`.
    void Show(int fallbackRow, const std::function<bool(int32_t position)>& keep);

    RecordGridModel* model_;
    GridView view_;
    std::function<int32_t(int32_t)> idOf_;
    bool pageSorts_ = false;
};
