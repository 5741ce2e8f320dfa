// The real window against the real stand-in server: a test of this kind starts the server itself,
// then logs a window in through the login window as an operator would.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <functional>

#include "../e2e/harness.h"
#include "app/login_window.h"
#include "app/main_window.h"
#include "app_fixture.h"

class WindowE2eTest : public E2eTest {
  protected:
    void SetUp() override {
        app_test::Application();
        E2eTest::SetUp();
    }

    // Logs the window in from a folder of its own through the login window, as "admin"; true once
    // every table is loaded.
    bool LogIn(TForm1& form) {
        const QString client = Path("client");
        QDir().mkpath(client);
        QDir::setCurrent(client);
        QFile ini("setup.ini");
        if (!ini.open(QIODevice::WriteOnly)) {
            return false;
        }
        ini.write(QStringLiteral("[ServerHost]\r\nAddress=127.0.0.1\r\nPort=%1\r\n").arg(port_).toLatin1());
        ini.close();

        QTimer operatorAtLogin;
        operatorAtLogin.setInterval(5);
        QObject::connect(&operatorAtLogin, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* login = dynamic_cast<TPasZas*>(w);
                if (login != nullptr && login->isVisible() && login->Button1->isEnabled()) {
                    login->MaskEdit2->setText("admin");
                    login->MaskEdit1->setText("admin");
                    login->Button1->click();
                    operatorAtLogin.stop();
                }
            }
        });
        operatorAtLogin.start();
        // The session gives up on its own when the server does not answer; so does this guard.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* login = dynamic_cast<TPasZas*>(w)) {
                    login->Button2Click();
                }
            }
        });
        guard.start(30000);
        return form.FormCreate();
    }

    // Lets the window work until `done` holds; false when it did not within the time.
    static bool WaitUntil(const std::function<bool()>& done, int ms = 15000) {
        const QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired()) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
};
