#include "detail_layout.h"

#include <QFontMetrics>
#include <QWidget>

QLabel* CaptionLeftOf(QWidget* panel, const QString& caption, const QRect& control) {
    auto* label = new QLabel(caption, panel);
    const int width = QFontMetrics(label->font()).horizontalAdvance(caption) + 2;
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(control.left() - 6 - width, control.top(), width, std::max(control.height(), 19));
    return label;
}
