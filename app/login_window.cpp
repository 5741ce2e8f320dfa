#include "login_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QThread>

#include "app/keyboard_layout.h"
#include "app/splash.h"
#include "app/tahoma.h"
#include "app/user_default.h"
#include "infra/ticks.h"
#include "session/client_udp.h"
#include "session/session_door.h"
#include "session/session_status.h"

namespace {

constexpr int kNoLinkAfterMs = 5000;

// "Нет связи", naming the address a server answered from when it was not the one configured: its
// answers are refused, so the operator has to correct the address.
QString NoLinkText(const client_udp& client) {
    const UdpAddress refused = client.Refused();
    return refused.ip == 0
               ? kStatusNoLink
               : kStatusNoLink +
                     QStringLiteral(" (ответ с %1:%2)").arg(FormatIPv4(refused.ip)).arg(refused.port);
}

QLabel* PlaceLabel(QWidget* parent, const QString& text, int left, int top, int pixels) {
    auto* label = new QLabel(text, parent);
    label->setFont(Tahoma(pixels));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* PlaceEdit(QWidget* parent, int left, int top) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setGeometry(left, top, 121, 19);
    return edit;
}

}  // namespace

TPasZas::TPasZas(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("paszasu"));
    setWindowTitle(QStringLiteral("Введите пароль"));
    setFixedSize(234, 134);
    setFont(Tahoma(11));
    setAutoFillBackground(true);
    QPalette frame = palette();
    frame.setColor(QPalette::Window, QColor(0x00, 0x80, 0x80));
    setPalette(frame);

    auto* panel = new QWidget(this);
    panel->setGeometry(7, 7, 220, 120);
    panel->setAutoFillBackground(true);
    QPalette inner = panel->palette();
    inner.setColor(QPalette::Window, QColor(0xC7, 0xD8, 0xED));
    panel->setPalette(inner);

    Label5 = new QLabel(QStringLiteral("Введите"), panel);
    Label5->setFont(Tahoma(16));
    Label5->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label5->setGeometry(0, 0, panel->width(), 19);
    Label4 = PlaceLabel(panel, QStringLiteral("Имя"), 16, 25, 16);
    MaskEdit2 = PlaceEdit(panel, 87, 27);
    Label3 = PlaceLabel(panel, QStringLiteral("Пароль"), 16, 50, 16);
    MaskEdit1 = PlaceEdit(panel, 87, 52);
    MaskEdit1->setEchoMode(QLineEdit::Password);
    Label2 = PlaceLabel(panel, QStringLiteral("EN"), 214 - 7, 42, 11);
    Label2->setFixedWidth(16);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->installEventFilter(this);
    Label1 = new QLabel(panel);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(-2, 84, 230, 13);
    Button1 = new QPushButton(QStringLiteral("Ok"), panel);
    Button1->setGeometry(38, 103 - 7, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Отмена"), panel);
    Button2->setGeometry(119, 103 - 7, 75, 25);
    for (QPushButton* b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    setTabOrder(MaskEdit2, MaskEdit1);
    setTabOrder(MaskEdit1, Button1);
    setTabOrder(Button1, Button2);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    // Enter in either field does what Ok does.
    for (QLineEdit* edit : {MaskEdit2, MaskEdit1}) {
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            Button1->setEnabled(false);
            Button1->repaint();
            Button1Click();
        });
    }
    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { ShowLayout(); });
    Timer1->start();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TPasZas::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Label2->setText(KeyboardLayoutIndicator());
}

void TPasZas::closeEvent(QCloseEvent* event) {
    // The window stays until the login loop ends, which the cancel makes it do at once.
    event->ignore();
    Button2Click();
}

void TPasZas::keyPressEvent(QKeyEvent* event) {
    // Escape does not close the window: only "Отмена" ends the login.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TPasZas::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label2 && event->type() == QEvent::MouseButtonPress) {
        Label2Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TPasZas::ShowLayout() {
    const QString indicator = KeyboardLayoutIndicator();
    if (Label2->text() != indicator) {
        Label2->setText(indicator);
    }
}

void TPasZas::Label2Click() {
    const QString indicator = KeyboardLayoutIndicator();
    if (indicator == u"EN") {
        ActivateKeyboardLayout(kLayoutRussian);
    } else if (indicator == u"RU") {
        ActivateKeyboardLayout(kLayoutEnglish);
    }
    Label2->setText(KeyboardLayoutIndicator());
}

void TPasZas::Button1Click() {
    Button1->setEnabled(false);
    Label1->setText(QStringLiteral("Соединение"));
    push = 1;
    repaint();
}

void TPasZas::Button2Click() {
    push = 2;
}

bool ConnectAndLoad(client_udp& client, const QString& dir, const TBaseC* tables) {
    bool result = false;
    TPasZas login;
    TSplash splash;
    login.MaskEdit2->setText(ReadUserDefault(dir));
    login.show();
    login.activateWindow();
    if (!login.MaskEdit2->text().isEmpty()) {
        login.MaskEdit1->setFocus();
    } else {
        login.MaskEdit2->setFocus();
    }
    bool running = true;
    QDateTime start = CurrentDateTime();
    bool splashShown = false;
    while (running) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
        if (login.push == 1) {
            login.push = 0;
            RequestLogin(client, login.MaskEdit2->text(), login.MaskEdit1->text());
            start = CurrentDateTime();
            login.Label1->setText(kStatusConnecting);
            WriteUserDefault(dir, login.MaskEdit2->text());
        }
        if (login.push == 2) {
            running = false;
        }
        if (!client.Connected && start.msecsTo(CurrentDateTime()) > kNoLinkAfterMs &&
            (login.Label1->text() == kStatusConnecting || login.Label1->text().startsWith(kStatusNoLink))) {
            if (const QString text = NoLinkText(client); login.Label1->text() != text) {
                login.Label1->setText(text);
            }
        }
        if (client.Connected && client.PasOK && !splashShown) {
            splash.show();
            splashShown = true;
        }
        if (client.Connected && client.PasOK && splashShown) {
            const QString text = kLoadingPrefix + client.LoadBaseName.Get();
            if (splash.Label()->text() != text) {
                splash.Label()->setText(text);
                splash.Label()->repaint();
                QCoreApplication::processEvents();
            }
            if (tables != nullptr) {
                splash.ShowLoad(StatusOf(client, *tables));
            }
        }
        if (running && client.Connected && client.DatabaseLoad) {
            running = false;
            login.hide();
            result = true;
        }
        if (client.RegTooLong) {
            // Nothing was sent: the operator shortens the name or the password and tries again.
            client.RegTooLong = false;
            login.Label1->setText(kStatusTooLong);
            login.Button1->setEnabled(true);
            login.push = 0;
        }
        if (client.AD && login.Label1->text() != kStatusDenied) {
            login.Label1->setText(kStatusDenied);
            login.MaskEdit1->clear();
            login.Button1->setEnabled(true);
            login.push = 0;
            client.AD = false;
            client.Connect = false;
            client.Connected = false;
        }
    }
    return result;
}
