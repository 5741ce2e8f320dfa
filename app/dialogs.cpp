#include "dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

Dialogs RealDialogs() {
    Dialogs d;
    d.confirm = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, kConfirmCaption, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    d.inform = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, kConfirmCaption, text, QMessageBox::Ok);
    };
    d.pickColor = [](QWidget* parent, const QColor& initial) {
        return QColorDialog::getColor(initial, parent);
    };
    d.openPicture = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(
            parent, QString(), QString(),
            QStringLiteral("JPEG Image File (*.jpg);;JPEG Image File (*.jpeg)"));
    };
    d.saveSheet = [](QWidget* parent, const QString& suggested) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Экспорт"), suggested,
                                            QStringLiteral("CSV (*.csv);;Excel (*.xlsx)"));
    };
    d.openSheet = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Импорт"), QString(),
                                            QStringLiteral("CSV или Excel (*.csv *.xlsx);;Все файлы (*)"));
    };
    return d;
}
