#include "record_grid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

namespace {

const QColor kHeaderBrush(0xCB, 0xE1, 0xFC);
const QColor kSelectedBrush(0xFB, 0xE6, 0x94);
const QColor kSortCaption(0xFF, 0x00, 0xFF);
constexpr int kRowHeight = 18;

}  // namespace

RecordGridModel::RecordGridModel(std::vector<GridColumn> columns, CellText cellText, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)), cellText_(std::move(cellText)) {}

void RecordGridModel::SetIdx(std::vector<int32_t> idx) {
    beginResetModel();
    idx_ = std::move(idx);
    endResetModel();
}

int RecordGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1, int(idx_.size()));
}

int RecordGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant RecordGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= idx_.size()) {
        return {};
    }
    if (index.column() == 0) {
        return QString::number(index.row() + 1);
    }
    return cellText_ ? cellText_(idx_[size_t(index.row())], index.column()) : QString();
}

QVariant RecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || size_t(section) >= columns_.size()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return columns_[size_t(section)].caption;
    }
    if (role == Qt::SizeHintRole) {
        return QSize(columns_[size_t(section)].width, kRowHeight);
    }
    return {};
}

GridHeader::GridHeader(QPoint textOrigin, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), textOrigin_(textOrigin) {
    setSectionResizeMode(QHeaderView::Interactive);
    setSectionsClickable(false);
    setHighlightSections(false);
    setFixedHeight(kRowHeight + 1);
    setMinimumSectionSize(4);
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const auto* grid = static_cast<const RecordGridModel*>(model());
    painter->save();
    painter->setClipRect(rect);
    painter->fillRect(rect, kHeaderBrush);
    painter->setPen(Qt::gray);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    QFont font = painter->font();
    font.setBold(true);
    painter->setFont(font);
    painter->setPen(grid != nullptr && logicalIndex == grid->SortField() ? kSortCaption : QColor(Qt::black));
    const QRect text = rect.adjusted(textOrigin_.x(), textOrigin_.y(), 0, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      model()->headerData(logicalIndex, Qt::Horizontal, Qt::DisplayRole).toString());
    painter->restore();
}

void GridHeader::mousePressEvent(QMouseEvent* event) {
    emit pressed(logicalIndexAt(event->position().toPoint()));
    QHeaderView::mousePressEvent(event);
}

GridDelegate::GridDelegate(QPoint textOrigin, QObject* parent)
    : QStyledItemDelegate(parent), textOrigin_(textOrigin) {}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const auto* grid = static_cast<const RecordGridModel*>(index.model());
    const bool blank = grid->Idx().empty();
    painter->save();
    painter->setClipRect(option.rect);
    painter->fillRect(option.rect,
                      !blank && (option.state & QStyle::State_Selected) ? kSelectedBrush : QColor(Qt::white));
    if (!blank) {
        QFont font = option.font;
        font.setBold(false);
        painter->setFont(font);
        painter->setPen(Qt::black);
        painter->drawText(option.rect.adjusted(textOrigin_.x(), textOrigin_.y(), 0, 0),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data().toString());
    }
    painter->restore();
}

RecordGrid::RecordGrid(std::vector<GridColumn> columns, RecordGridModel::CellText cellText, Origins origins,
                       QWidget* parent)
    : QTableView(parent), view_(cellText, int(columns.size())) {
    std::vector<int> widths;
    for (const GridColumn& c : columns) {
        widths.push_back(c.width);
    }
    model_ = new RecordGridModel(std::move(columns), std::move(cellText), this);
    const bool terminals = origins == Origins::Terminals;
    auto* header = new GridHeader(terminals ? QPoint(2, 2) : QPoint(3, 1), this);
    setHorizontalHeader(header);
    setModel(model_);
    setItemDelegate(new GridDelegate(terminals ? QPoint(2, 2) : QPoint(3, 2), this));
    for (size_t i = 0; i < widths.size(); ++i) {
        header->resizeSection(int(i), widths[i]);
    }
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setCurrentIndex(model_->index(0, 0));
    connect(header, &GridHeader::pressed, this, &RecordGrid::OnHeaderPressed);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                if (current.isValid()) {
                    emit rowSelected(current.row() + 1);
                }
            });
}

void RecordGrid::SetIdx(std::vector<int32_t> idx) {
    const int row = CurrentRow();
    const int32_t id = view_.Active() && idOf_ && CurrentPosition() > 0 ? idOf_(CurrentPosition()) : 0;
    view_.SetBase(std::move(idx));
    Show(row, [this, id](int32_t p) { return id != 0 && idOf_(p) == id; });
}

void RecordGrid::SetPageSorts(std::vector<int> columns) {
    pageSorts_ = true;
    view_.SetPageSorted(std::move(columns));
}

void RecordGrid::OnHeaderPressed(int column) {
    view_.PressHeader(column);
    if (!pageSorts_) {
        model_->SetSortField(column);
        horizontalHeader()->viewport()->update();
        const int32_t p = CurrentPosition();
        Show(1, [p](int32_t q) { return q == p; });
        emit shownChanged();
    }
    emit headerPressed(column);
}

void RecordGrid::SetFind(const QString& text) {
    if (text == view_.Find()) {
        return;
    }
    const int32_t p = CurrentPosition();
    view_.SetFind(text);
    Show(1, [p](int32_t q) { return q == p; });
    emit shownChanged();
}

int32_t RecordGrid::CurrentPosition() const {
    const int r = CurrentRow();
    return r >= 1 && size_t(r) <= Idx().size() ? Idx()[size_t(r - 1)] : 0;
}

void RecordGrid::Show(int fallbackRow, const std::function<bool(int32_t position)>& keep) {
    std::vector<int32_t> shown = view_.Shown();
    int row = fallbackRow;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (keep(shown[i])) {
            row = int(i) + 1;
            break;
        }
    }
    const int count = int(shown.size());
    const int column = std::max(0, currentIndex().column());
    {
        const QSignalBlocker quiet(selectionModel());
        model_->SetIdx(std::move(shown));
        const int rows = model_->rowCount();
        selectionModel()->setCurrentIndex(model_->index(std::clamp(row, 1, rows) - 1, column),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    scrollTo(currentIndex());
    viewport()->update();
    emit countsChanged(count, TotalRows());
}

void RecordGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int RecordGrid::CurrentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

void RecordGrid::SelectRow(int r) {
    if (r < 1 || r > model_->rowCount()) {
        return;
    }
    const int column = std::max(0, currentIndex().column());
    selectionModel()->setCurrentIndex(model_->index(r - 1, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(model_->index(r - 1, column));
}

int RecordGrid::RowOfRecord(const std::function<int32_t(int32_t position)>& idOf, int32_t id) const {
    const std::vector<int32_t>& idx = model_->Idx();
    for (size_t i = 0; i < idx.size(); ++i) {
        if (idOf(idx[i]) == id) {
            return int(i) + 1;
        }
    }
    return 0;
}
