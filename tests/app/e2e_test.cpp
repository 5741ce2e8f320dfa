// The real desktop tool's window logs in to the real stand-in server with its demo data, as an
// operator would through the login window, and shows what the server holds.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "../e2e/harness.h"
#include "app/login_window.h"
#include "app/main_window.h"
#include "app/record_grid.h"
#include "app/vehicles_page.h"
#include "app_fixture.h"
#include "session/client_udp.h"

namespace {

class AppE2eTest : public E2eTest {
  protected:
    void SetUp() override {
        app_test::Application();
        E2eTest::SetUp();
    }
};

TEST_F(AppE2eTest, WindowLogsInLoadsTheSixTablesAndShowsTheDemoVehicles) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const QString client = Path("client");
    QDir().mkpath(client);
    QDir::setCurrent(client);
    {
        QFile ini("setup.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[ServerHost]\r\nAddress=127.0.0.1\r\nPort=%1\r\n").arg(port_).toLatin1());
    }

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
    QTimer::singleShot(30000, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* login = dynamic_cast<TPasZas*>(w)) {
                login->Button2Click();
            }
        }
    });

    TForm1 form;
    ASSERT_TRUE(form.FormCreate()) << server->Log().toStdString();
    for (int i = 0; i < form.Base.Count(); ++i) {
        EXPECT_TRUE(form.Base[i]->FlagLoadData) << form.Base[i]->NameTableS.toStdString();
    }
    form.show();
    RecordGrid* grid = form.vehicles->StringGrid2();
    const int32_t vehicles = form.Base.Find("gps")->Count();
    EXPECT_EQ(vehicles, 12);
    const QDeadlineTimer deadline(10000);
    while (int32_t(grid->Idx().size()) != vehicles && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_EQ(int32_t(grid->Idx().size()), vehicles);
    EXPECT_EQ(form.ActivePage(), "gps");
    for (int r = 1; r <= vehicles; ++r) {
        EXPECT_EQ(grid->model()->index(r - 1, 1).data().toString(), QString::number(100 + r));
        EXPECT_TRUE(grid->model()->index(r - 1, 2).data().toString().endsWith(QString::number(100 + r)));
    }
    EXPECT_EQ(form.vehicles->Edit19->text(), "101");

    // Pictures of the three pages for a person to look at, when asked for.
    const QString pictures = qEnvironmentVariable("MOBCFG_APP_SCREENSHOTS");
    if (!pictures.isEmpty()) {
        for (const QString page : {"gps", "Default", "group"}) {
            form.ShowPage(page);
            QCoreApplication::processEvents();
            form.grab().save(pictures + u'/' + page + QStringLiteral(".png"));
        }
    }
}

}  // namespace
