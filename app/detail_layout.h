// Placing the detail panels' controls at the positions the operators know, each with its caption
// label standing at its left.
#pragma once

#include <QLabel>
#include <QRect>
#include <QString>

class QWidget;

// A caption label ending a few pixels left of a control at `control`.
QLabel* CaptionLeftOf(QWidget* panel, const QString& caption, const QRect& control);
