// The modal dialogs the pages open. They are reached through this table of functions so that a test
// can answer them without a person at the screen; RealDialogs opens the toolkit's own.
//
// Thread-safety: UI thread only.
#pragma once

#include <QColor>
#include <QString>
#include <functional>

class QWidget;

// Caption of the tool's confirmations.
inline const QString kConfirmCaption = QStringLiteral("АРМ настройка");

struct Dialogs {
    // Yes/No question; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> confirm;
    // Information with an OK button.
    std::function<void(QWidget* parent, const QString& text)> inform;
    // A colour, or an invalid one when the operator cancelled.
    std::function<QColor(QWidget* parent, const QColor& initial)> pickColor;
    // The full path of a chosen JPEG picture, or empty when the operator cancelled.
    std::function<QString(QWidget* parent)> openPicture;
    // The path to export into (".csv" or ".xlsx"), or empty when the operator cancelled; a missing
    // function counts as cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> saveSheet;
    // A CSV or XLSX file to import, or empty when the operator cancelled (or the function is missing).
    std::function<QString(QWidget* parent)> openSheet;
};

Dialogs RealDialogs();
