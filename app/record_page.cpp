#include "record_page.h"

#include <QVBoxLayout>

#include "app/find_bar.h"
#include "app/record_grid.h"
#include "app/table_access.h"
#include "exchange/column_captions.h"
#include "exchange/duplicate_keys.h"
#include "tables/base_client.h"

RecordPage::RecordPage(QWidget* navigationBar, const Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), navigationBar_(navigationBar) {}

QPushButton* ColouredButton(const QString& caption, const QColor& colour, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, colour);
    button->setPalette(palette);
    return button;
}

QWidget* RecordPage::MakeButtonBar(RecordGrid* grid, QWidget* detailPanel) {
    grid_ = grid;
    detail_ = detailPanel;
    detail_->setEnabled(false);
    auto* bar = new QWidget(this);
    bar->setFixedHeight(41);
    first_ = ColouredButton(kNewCaption, QColor(0x00, 0x00, 0xFF), bar);
    first_->setGeometry(5, 8, 75, 25);
    second_ = ColouredButton(kEditCaption, QColor(0x00, 0x80, 0x00), bar);
    second_->setGeometry(86, 8, 107, 25);
    third_ = ColouredButton(kDeleteCaption, QColor(0xFF, 0x00, 0x00), bar);
    third_->setGeometry(199, 8, 75, 25);
    first_->setToolTip(QStringLiteral("Новый — Ctrl+N; Сохранить — Ctrl+S"));
    second_->setToolTip(QStringLiteral("Редактировать — F2 или Enter; Отменить — Escape"));
    third_->setToolTip(QStringLiteral("Удалить — Delete"));
    connect(first_, &QPushButton::clicked, this, [this] { FirstButtonClick(); });
    connect(second_, &QPushButton::clicked, this, [this] { SecondButtonClick(); });
    connect(third_, &QPushButton::clicked, this, [this] { ThirdButtonClick(); });
    return bar;
}

void RecordPage::StackGridPanelAndButtons(QWidget* host, RecordGrid* grid, QWidget* detailPanel) {
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    finder_ = new FindBar(grid, host);
    finder_->setFixedHeight(34);
    layout->addWidget(finder_);
    layout->addWidget(grid, 1);
    layout->addWidget(detailPanel);
    layout->addWidget(MakeButtonBar(grid, detailPanel));
    connect(grid, &RecordGrid::rowSelected, this, [this](int r) { SelectRow(r); });
    connect(grid, &RecordGrid::enterPressed, this, [this] {
        if (!InEditMode() && second_->isEnabled()) {
            SecondButtonClick();
        }
    });
    QWidget::setTabOrder(finder_->Field(), grid);
    grid->SetRecordId([this](int32_t p) { return IntegerAt(table_, 1, p); });
    // The operator's sort or find shows other rows: the buttons and the detail panel follow the
    // selected row, as after a rebuild.
    connect(grid, &RecordGrid::shownChanged, this, [this] {
        if (!InEditMode()) {
            const bool any = !grid_->Idx().empty();
            second_->setEnabled(any);
            third_->setEnabled(any);
        }
        SelectRow(grid_->CurrentRow());
    });
}

bool RecordPage::InEditMode() const {
    return first_->text() != kNewCaption;
}

void RecordPage::SetButton(QPushButton* b1, QPushButton* b2, QPushButton* b3, bool Yes) {
    if (Yes) {
        b1->setText(kSaveCaption);
        b2->setText(kCancelCaption);
        b1->setEnabled(true);
        b2->setEnabled(true);
        b3->setEnabled(false);
    } else {
        b1->setText(kNewCaption);
        b2->setText(kEditCaption);
        b3->setEnabled(true);
    }
}

void RecordPage::EnterEditMode() {
    SetButton(first_, second_, third_, true);
    detail_->setEnabled(true);
    grid_->setEnabled(false);
    finder_->setEnabled(false);
    navigationBar_->setEnabled(false);
}

void RecordPage::AwaitServer() {
    awaitingServer_ = true;
    detail_->setEnabled(false);
    first_->setEnabled(false);
}

void RecordPage::LeaveEditMode() {
    adding_ = false;
    awaitingServer_ = false;
    first_->setEnabled(true);
    SetButton(first_, second_, third_, false);
    detail_->setEnabled(false);
    grid_->setEnabled(true);
    finder_->setEnabled(true);
    navigationBar_->setEnabled(true);
}

void RecordPage::FirstButtonClick() {
    if (table_ == nullptr) {
        return;
    }
    if (!InEditMode()) {
        EnterEditMode();
        adding_ = true;
        StartAdding();
    } else if (ReadyToSave() && ConfirmDuplicates()) {
        savedId_ = EditedRecordId(table_);
        savedTexts_ = RecordTexts(table_, savedId_);
        SendWithRecord();
        refused_ = false;
        table_->Post();
        // The session refuses at once, while Post runs: then no answer is to be waited for.
        if (refused_) {
            LeaveEditMode();
        } else {
            AwaitServer();
        }
    }
}

bool RecordPage::ConfirmDuplicates() {
    const int32_t self = table_->EditRecord ? table_->BEdit : 0;
    QStringList found;
    for (const auto& [column, text] : UniqueValues()) {
        const KeyHolder holder = FindKeyHolder(*table_, column, DuplicateKey(column, text), self);
        if (holder.n_abs != 0) {
            found << QStringLiteral("%1 %2 уже есть у %3 «%4» (запись %5).")
                         .arg(ColumnCaption(table_->NameTableS, column), text.trimmed(),
                              RecordNoun(table_->NameTableS), holder.title)
                         .arg(holder.n_abs);
        }
    }
    return found.isEmpty() ||
           dialogs_.confirm(this, found.join(u'\n') + QStringLiteral("\nСохранить всё равно?"));
}

void RecordPage::SecondButtonClick() {
    if (table_ == nullptr) {
        return;
    }
    if (!InEditMode()) {
        EnterEditMode();
        table_->Edit();
        return;
    }
    LeaveEditMode();
    table_->Cancel();
    UndoShown();
    SelectRow(grid_->CurrentRow());
    if (table_->Count() == 0) {
        second_->setEnabled(false);
        third_->setEnabled(false);
    }
}

void RecordPage::ThirdButtonClick() {
    if (table_ != nullptr && dialogs_.confirm(this, kDeleteQuestion)) {
        table_->DeleteRecordCurrent();
    }
}

void RecordPage::AdditionConfirmed(int32_t n_abs) {
    if (InAddOrEdit(table_)) {
        return;
    }
    LeaveEditMode();
    RememberedId = n_abs;
    if (table_ != nullptr) {
        table_->RefreshYes = true;
    }
    Rebuild();
}

void RecordPage::CommandNotQueued() {
    refused_ = true;
    if (awaitingServer_) {
        LeaveEditMode();
    }
}

bool RecordPage::ApplyOrder(std::vector<int32_t> order) {
    if (awaitingServer_) {
        if (savedId_ < 0 || RecordTexts(table_, savedId_) == savedTexts_) {
            return false;
        }
        LeaveEditMode();
        RememberedId = savedId_;
    }
    grid_->SetIdx(std::move(order));
    // In edit mode the second button cancels and the third stays off until the page is back.
    if (!InEditMode()) {
        const bool any = !grid_->Idx().empty();
        second_->setEnabled(any);
        third_->setEnabled(any);
    }
    if (RememberedId != -1) {
        const int row =
            grid_->RowOfRecord([this](int32_t p) { return IntegerAt(table_, 1, p); }, RememberedId);
        if (row > 0) {
            grid_->SelectRow(row);
            RememberedId = -1;
        }
    }
    grid_->viewport()->update();
    return true;
}
