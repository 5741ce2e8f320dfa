// The login window TPasZas and the login-and-load loop ConnectAndLoad that runs it before the main
// window is shown. The loop pumps the window messages itself on the UI thread and meets the session
// client only through the client's shared flags and texts (atomics and locked texts).
//
// Thread-safety: UI thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

class client_udp;
class TBaseC;

inline const QString kStatusConnecting = QStringLiteral("Соединение...");
inline const QString kStatusNoLink = QStringLiteral("Нет связи");
inline const QString kStatusDenied = QStringLiteral("Доступ запрещен");
inline const QString kStatusTooLong = QStringLiteral("Слишком длинные имя или пароль");
inline const QString kLoadingPrefix = QStringLiteral("Загрузка базы - ");

class TPasZas : public QDialog {
  public:
    explicit TPasZas(QWidget* parent = nullptr);

    // 0 nothing pressed, 1 Ok, 2 Cancel; consumed by ConnectAndLoad.
    int push = 0;

    QLabel* Label5;
    QLabel* Label4;
    QLineEdit* MaskEdit2;  // user name
    QLabel* Label3;
    QLineEdit* MaskEdit1;  // password
    QLabel* Label2;        // keyboard layout indicator
    QLabel* Label1;        // status line
    QPushButton* Button1;  // "Ok"
    QPushButton* Button2;  // "Отмена"
    QTimer* Timer1;

    void Button1Click();
    void Button2Click();
    void Label2Click();
    void ShowLayout();

  protected:
    void showEvent(QShowEvent* event) override;
    // Closing the window (its close button, the window manager's keys) is "Отмена".
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows the login window, logs the client in with what the operator enters, shows the splash while
// the tables load; true once every table is loaded, false when the operator cancelled (also when the
// load ended in the same moment: the operator's cancel wins). dir is the
// working directory ending with '/', where "setup.ini" keeps the last user name.
// With the table set the splash also shows which table is loading and a bar of its bytes.
bool ConnectAndLoad(client_udp& client, const QString& dir, const TBaseC* tables = nullptr);
