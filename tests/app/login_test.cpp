// The login-and-load loop with its real windows, a session client whose loop is not running (the test
// plays its side through the shared flags) and a hand-moved clock.
#include <QFile>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/login_window.h"
#include "app/splash.h"
#include "app/user_default.h"
#include "app_fixture.h"
#include "infra/ticks.h"
#include "session/application_id.h"
#include "session/client_udp.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T>
T* TopLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible()) {
            return dynamic_cast<T*>(w);
        }
    }
    return nullptr;
}

class LoginTest : public testing::Test {
  protected:
    void SetUp() override {
        app_test::Application();
        SetDateTimeSource([this] { return now; });
    }
    void TearDown() override { SetDateTimeSource({}); }

    // Runs the loop while steps act on the windows, one step per timer tick; a step returning false
    // is tried again on the next tick. Every step must have run by the time the loop ends.
    bool Run(std::vector<std::function<bool(TPasZas&)>> steps) {
        size_t next = 0;
        QTimer script;
        script.setInterval(2);
        QObject::connect(&script, &QTimer::timeout, [&] {
            TPasZas* login = TopLevel<TPasZas>("paszasu");
            if (login != nullptr && next < steps.size() && steps[next](*login)) {
                ++next;
            }
        });
        script.start();
        const bool result = ConnectAndLoad(client, dir);
        EXPECT_EQ(next, steps.size());
        return result;
    }

    app_test::WorkFolder work;
    QString dir = QDir::currentPath() + u'/';
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(10, 0));
    client_udp client{kApplicationId, QStringLiteral("127.0.0.1"), 9};
};

TEST_F(LoginTest, LoginReportsNoLinkAndRefusalThenLoadsBehindTheSplash) {
    ASSERT_TRUE(QFile("setup.ini").open(QIODevice::WriteOnly));
    {
        QFile ini("setup.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[ServerHost]\r\nAddress=127.0.0.1\r\n[Main]\r\nUserDefault=ivanov\r\n; kept\r\n");
    }
    const bool loaded = Run({
        [](TPasZas& login) {
            EXPECT_EQ(login.MaskEdit2->text(), "ivanov");
            EXPECT_EQ(login.focusWidget(), login.MaskEdit1);
            EXPECT_EQ(TopLevel<TSplash>("splash"), nullptr);
            login.MaskEdit1->setText("secret");
            // A picture of the window for a person to look at, when asked for.
            if (const QString pictures = qEnvironmentVariable("MOBCFG_APP_SCREENSHOTS");
                !pictures.isEmpty()) {
                login.grab().save(pictures + QStringLiteral("/paszasu.png"));
            }
            emit login.MaskEdit1->returnPressed();
            return true;
        },
        [this](TPasZas& login) {
            EXPECT_TRUE(client.Connect);
            EXPECT_EQ(client.username.Get(), "ivanov");
            EXPECT_EQ(client.password.Get(), "secret");
            EXPECT_EQ(login.Label1->text(), "Соединение...");
            EXPECT_FALSE(login.Button1->isEnabled());
            now = now.addMSecs(5001);
            return true;
        },
        [this](TPasZas& login) {
            if (login.Label1->text() != "Нет связи") {
                return false;
            }
            // A server answering from another address: refused, and named.
            client.NoteRefused(UdpAddress{0x7F000002, 9010});
            return true;
        },
        [this](TPasZas& login) {
            if (login.Label1->text() != "Нет связи (ответ с 127.0.0.2:9010)") {
                return false;
            }
            client.AD = true;
            return true;
        },
        [this](TPasZas& login) {
            EXPECT_EQ(login.Label1->text(), "Доступ запрещен");
            EXPECT_EQ(login.MaskEdit1->text(), "");
            EXPECT_TRUE(login.Button1->isEnabled());
            EXPECT_FALSE(client.Connect);
            EXPECT_FALSE(client.AD);
            login.MaskEdit2->setText("Петров");
            login.MaskEdit1->setText("2");
            login.Button1->click();
            return true;
        },
        [this](TPasZas& login) {
            EXPECT_EQ(login.Label1->text(), "Соединение...");
            EXPECT_EQ(client.username.Get(), "Петров");
            client.Connected = true;
            client.PasOK = true;
            return true;
        },
        [this](TPasZas&) {
            TSplash* splash = TopLevel<TSplash>("splash");
            // Table loading leaves the name empty, so the label shows the prefix alone.
            if (splash == nullptr || splash->Label()->text() != "Загрузка базы - ") {
                return false;
            }
            EXPECT_EQ(splash->Image()->pixmap().size(), QSize(550, 350));
            client.DatabaseLoad = true;
            return true;
        },
    });
    EXPECT_TRUE(loaded);
    // The last name entered is kept in the code page, the rest of the file as it was.
    EXPECT_EQ(ReadAll("setup.ini"),
              QByteArray("[ServerHost]\r\nAddress=127.0.0.1\r\n[Main]\r\nUserDefault=") +
                  QByteArray("\xcf\xe5\xf2\xf0\xee\xe2") + "\r\n; kept\r\n");
    EXPECT_EQ(TopLevel<TPasZas>("paszasu"), nullptr);
}

TEST_F(LoginTest, CancelEndsTheLoginWithoutConnecting) {
    const bool loaded = Run({[](TPasZas& login) {
        EXPECT_EQ(login.MaskEdit2->text(), "");
        EXPECT_EQ(login.focusWidget(), login.MaskEdit2);
        login.Button2->click();
        return true;
    }});
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(client.Connect);
    EXPECT_FALSE(QFile::exists("setup.ini"));
}

// Ways the operator ends the login; each must end it without the main window.
struct CancelCase {
    const char* name;
    std::function<void(TPasZas&, client_udp&)> cancel;
};

void PrintTo(const CancelCase& c, std::ostream* out) {
    *out << c.name;
}

class LoginCancelTest : public LoginTest, public testing::WithParamInterface<CancelCase> {};

TEST_P(LoginCancelTest, EndsTheLoginAtOnce) {
    // Should the loop not end, the test ends it after a while, as a person would with "Отмена".
    bool endedByTest = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&endedByTest] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* login = dynamic_cast<TPasZas*>(w)) {
                endedByTest = true;
                login->Button2Click();
            }
        }
    });
    guard.start(10000);
    const bool loaded = Run({[this](TPasZas& login) {
        GetParam().cancel(login, client);
        return true;
    }});
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(endedByTest);
}

INSTANTIATE_TEST_SUITE_P(Ways, LoginCancelTest,
                         testing::Values(CancelCase{"ClosedByTheWindowManager",
                                                    [](TPasZas& login, client_udp&) { login.close(); }},
                                         CancelCase{"CancelledAsTheLoadEnds",
                                                    [](TPasZas& login, client_udp& client) {
                                                        client.Connected = true;
                                                        client.PasOK = true;
                                                        client.DatabaseLoad = true;
                                                        login.Button2->click();
                                                    }}),
                         [](const testing::TestParamInfo<CancelCase>& info) { return info.param.name; });

TEST(UserDefaultTest, AddsTheSectionOrTheKeyWhereMissing) {
    app_test::WorkFolder work;
    const QString dir = QDir::currentPath() + u'/';
    EXPECT_EQ(ReadUserDefault(dir), "");
    ASSERT_TRUE(WriteUserDefault(dir, "admin"));
    EXPECT_EQ(ReadAll("setup.ini"), "[Main]\r\nUserDefault=admin\r\n");
    {
        QFile ini("setup.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[main]\nother=1\n\n[ServerHost]\nPort=9011\n");
    }
    ASSERT_TRUE(WriteUserDefault(dir, "b"));
    EXPECT_EQ(ReadAll("setup.ini"), "[main]\nother=1\nUserDefault=b\n\n[ServerHost]\nPort=9011\n");
    EXPECT_EQ(ReadUserDefault(dir), "b");
}

}  // namespace
