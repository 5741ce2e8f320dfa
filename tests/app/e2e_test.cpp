// The real desktop tool's window logs in to the real stand-in server with its demo data, as an
// operator would through the login window, and shows and changes what the server holds.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <functional>

#include "../e2e/harness.h"
#include "app/groups_page.h"
#include "app/login_window.h"
#include "app/main_window.h"
#include "app/record_grid.h"
#include "app/table_access.h"
#include "app/terminals_page.h"
#include "app/vehicles_page.h"
#include "app_fixture.h"
#include "session/client_udp.h"
#include "window_e2e.h"

namespace {

using app_test::Cell;
using app_test::Column;

using AppE2eTest = WindowE2eTest;

TEST_F(AppE2eTest, WindowLogsInLoadsTheSixTablesAndShowsTheDemoVehicles) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    TForm1 form;
    ASSERT_TRUE(LogIn(form)) << server->Log().toStdString();
    for (int i = 0; i < form.Base.Count(); ++i) {
        EXPECT_TRUE(form.Base[i]->FlagLoadData) << form.Base[i]->NameTableS.toStdString();
    }
    form.show();
    RecordGrid* grid = form.vehicles->StringGrid2();
    const int32_t vehicles = form.Base.Find("gps")->Count();
    EXPECT_EQ(vehicles, 12);
    ASSERT_TRUE(WaitUntil([&] { return int32_t(grid->Idx().size()) == vehicles; }));
    EXPECT_EQ(form.ActivePage(), "gps");
    for (int r = 1; r <= vehicles; ++r) {
        EXPECT_EQ(Cell(grid, r, 1), QString::number(100 + r));
        EXPECT_TRUE(Cell(grid, r, 2).endsWith(QString::number(100 + r)));
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

TEST_F(AppE2eTest, AnEditTheServerDoesNotConfirmEndsWithItsRecordUpdate) {
    auto server = StartServer({"--demo", "--no-edit-confirm"});
    ASSERT_TRUE(server);
    TForm1 form;
    ASSERT_TRUE(LogIn(form)) << server->Log().toStdString();
    VehiclesPage* page = form.vehicles;
    RecordGrid* grid = page->StringGrid2();
    ASSERT_TRUE(WaitUntil([&] { return grid->Idx().size() == 12u; }));
    grid->SelectRow(2);
    for (const QString name : {"Переименованный", "Ещё раз"}) {
        page->SecondButton()->click();
        page->Edit13->setText(name);
        page->FirstButton()->click();
        // Nothing typed while the server has the record could be sent.
        EXPECT_FALSE(page->DetailPanel()->isEnabled());
        EXPECT_FALSE(page->FirstButton()->isEnabled());
        ASSERT_TRUE(WaitUntil([&] { return page->FirstButton()->text() == "Новый"; }))
            << server->Log().toStdString();
        EXPECT_TRUE(page->FirstButton()->isEnabled());
        EXPECT_TRUE(page->SecondButton()->isEnabled());
        EXPECT_TRUE(grid->isEnabled());
        EXPECT_TRUE(form.Panel1->isEnabled());
        EXPECT_EQ(grid->CurrentRow(), 2);
        EXPECT_EQ(Cell(grid, 2, 2), name);
        EXPECT_EQ(page->Edit13->text(), name);
    }
}

TEST_F(AppE2eTest, APhotoTheServerDoesNotHaveIsReportedAndFetchedOnceItIs) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const QString picked = Path("holder.jpg");
    QImage picture(24, 32, QImage::Format_RGB32);
    picture.fill(Qt::green);
    ASSERT_TRUE(picture.save(picked, "JPEG"));
    Dialogs dialogs = RealDialogs();
    dialogs.openPicture = [&picked](QWidget*) { return picked; };
    TForm1 form(dialogs);
    ASSERT_TRUE(LogIn(form)) << server->Log().toStdString();
    form.ShowPage("Default");
    TerminalsPage* page = form.terminals;
    RecordGrid* grid = page->StringGrid1();
    ASSERT_TRUE(WaitUntil([&] { return grid->Idx().size() == 10u; }));

    // The first terminal gets a photo; the server then loses the file.
    grid->SelectRow(1);
    page->SecondButton()->click();
    page->BitBtn8Click();
    page->FirstButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return page->FirstButton()->text() == "Новый"; }));
    const QString foto = TextAt(page->Table(), QStringLiteral("foto"), grid->Idx()[0]);
    ASSERT_TRUE(foto.startsWith("photo\\mobile\\"));
    const QString onServer = Path("server/server-files/") + QString(foto).replace(u'\\', u'/');
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(onServer); }));
    ASSERT_TRUE(QFile::rename(onServer, Path("lost.jpg")));

    grid->SelectRow(2);
    EXPECT_TRUE(page->Label4->isHidden());
    grid->SelectRow(1);
    EXPECT_FALSE(page->Label4->isHidden());
    ASSERT_TRUE(WaitUntil([&] { return page->Image1->text() == "Фото нет на сервере"; }))
        << server->Log().toStdString();
    EXPECT_TRUE(page->Label4->isHidden());

    ASSERT_TRUE(QFile::rename(Path("lost.jpg"), onServer));
    grid->SelectRow(2);
    grid->SelectRow(1);
    ASSERT_TRUE(WaitUntil([&] { return page->Image1->pixmap().size() == QSize(24, 32); }));
    EXPECT_TRUE(page->Label4->isHidden());
}

TEST_F(AppE2eTest, AVehicleAddedToAGroupByADoubleClickJoinsItOnce) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    TForm1 form;
    ASSERT_TRUE(LogIn(form)) << server->Log().toStdString();
    form.ShowPage("group");
    GroupsPage* page = form.groups;
    ASSERT_TRUE(WaitUntil([&] { return page->StringGrid3()->Idx().size() == 4u; }));
    ASSERT_TRUE(WaitUntil([&] { return page->StringGrid5()->Idx().size() == 12u; }));
    page->StringGrid3()->SelectRow(1);
    const size_t before = page->StringGrid4()->Idx().size();
    int row = 1;
    while (!page->MonaUp(row)) {
        ++row;
    }
    page->StringGrid5()->SelectRow(row);
    page->SpeedButton4->click();
    page->SpeedButton4->click();
    EXPECT_FALSE(page->SpeedButton4->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return page->StringGrid4()->Idx().size() > before; }));
    // A second member would follow the first at once.
    EXPECT_FALSE(WaitUntil([&] { return page->StringGrid4()->Idx().size() > before + 1; }, 1000));
    EXPECT_EQ(Column(page->StringGrid4(), 1).count(Cell(page->StringGrid5(), row, 2)), 1);
    EXPECT_FALSE(page->SpeedButton4->isEnabled());
    page->StringGrid5()->SelectRow(row == 1 ? 2 : row - 1);
    EXPECT_EQ(page->SpeedButton4->isEnabled(), page->MonaUp(page->StringGrid5()->CurrentRow()));
}

}  // namespace
