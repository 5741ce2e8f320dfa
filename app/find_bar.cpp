#include "find_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>

#include "app/record_grid.h"

FindBar::FindBar(RecordGrid* grid, QWidget* parent) : QWidget(parent), grid_(grid) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    auto* caption = new QLabel(QStringLiteral("Поиск"), this);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("find"));
    field_->setPlaceholderText(QStringLiteral("Найти…"));
    field_->setClearButtonEnabled(true);
    field_->setMaximumWidth(260);
    field_->setToolTip(QStringLiteral("Найти строки по тексту (Ctrl+F), очистить — Escape"));
    caption->setBuddy(field_);
    count_ = new QLabel(this);
    layout->addWidget(caption);
    layout->addWidget(field_, 1);
    layout->addWidget(count_);
    layout->addStretch();
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textChanged, grid_, &RecordGrid::SetFind);
    connect(grid_, &RecordGrid::countsChanged, this, [this](int shown, int total) {
        count_->setText(QStringLiteral("найдено %1 из %2").arg(shown).arg(total));
    });
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::FocusIn) {
        grid_->PrepareFind();
    }
    if (watched != field_ ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)) {
        return QWidget::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    // The field takes Escape before any shortcut of the window while it holds text.
    if (key == Qt::Key_Escape && !field_->text().isEmpty()) {
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            field_->clear();
        }
        return event->type() == QEvent::KeyPress;
    }
    if (event->type() == QEvent::KeyPress &&
        (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        grid_->setFocus();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
