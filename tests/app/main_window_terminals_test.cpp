// The main window's terminals page: its grid, photos, flags and popup menu.
#include "main_window_fixture.h"

namespace {

using app_test::Cell;
using app_test::Column;
using app_test::kPeople;
using app_test::Record;
using app_test::WindowTest;

TEST_F(WindowTest, TerminalsGridShowsRegistrationAndSortsByTheClickedHeader) {
    form->ShowPage("Default");
    Load("object", {{{"n_abs", 1}, {"number", 1001}, {"name", "Склад"}}});
    Load("gpeople", kPeople);
    RecordGrid* grid = form->terminals->StringGrid1();
    const QString asked = QLocale().toString(QDate(1899, 12, 30).addDays(45000), QLocale::ShortFormat) + " 3";
    EXPECT_EQ(Column(grid, 4), QStringList({"Зарегистрирован", asked, "Не запрашивал"}));

    // A press with any button on a header sorts by its column.
    QHeaderView* header = grid->horizontalHeader();
    const QPoint onFio(header->sectionViewportPosition(1) + 5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, onFio, header->viewport()->mapToGlobal(onFio),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);  // "ФИО", case-insensitive
    EXPECT_EQ(Column(grid, 1), QStringList({"алексеев Иван", "Борисов Олег", "Петров Пётр"}));
    form->terminals->SortByColumn(2);  // "Телефон"
    EXPECT_EQ(Column(grid, 2), QStringList({"111", "222", "333"}));
    form->terminals->SortByColumn(3);  // "Адрес": an empty one first
    EXPECT_EQ(Column(grid, 3), QStringList({"", "Ленина 1", "Мира 2"}));
    EXPECT_EQ(grid->Model().SortField(), 3);
}

TEST_F(WindowTest, TerminalPhotoIsFetchedOnceShownOnArrivalAndItsFileRemoved) {
    Load("gpeople", kPeople);
    TerminalsPage* page = form->terminals;
    page->StringGrid1()->SelectRow(2);
    const QStringList sent = TakeSoob();
    ASSERT_EQ(sent.size(), 1);
    const QString name = page->Image1Name;
    EXPECT_TRUE(name.endsWith(".jpg"));
    EXPECT_EQ(name.size(), 40);
    EXPECT_EQ(sent[0],
              "{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\mobile\\\\a.jpg\",\"name\":\"" + name + "\"}");
    EXPECT_FALSE(page->Label4->isHidden());
    page->SelectRow(2);
    EXPECT_TRUE(TakeSoob().isEmpty());

    QImage picture(20, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save("temp/" + name, "JPEG"));
    Notice("{\"$c$\":\"getfileok\",\"name\":\"someone-else.jpg\"}");
    EXPECT_TRUE(QFile::exists("temp/" + name));
    Notice("{\"$c$\":\"getfileok\",\"name\":\"" + name + "\"}");
    EXPECT_TRUE(page->Label4->isHidden());
    EXPECT_EQ(page->Image1->pixmap().size(), QSize(20, 30));
    EXPECT_FALSE(QFile::exists("temp/" + name));
    EXPECT_TRUE(page->Image1Name.isEmpty());
}

TEST_F(WindowTest, AShownPhotoStaysThroughChangesOfTheTableWhileItsRowsFotoIsTheSame) {
    Load("gpeople", kPeople);
    TerminalsPage* page = form->terminals;
    page->StringGrid1()->SelectRow(2);
    ASSERT_EQ(TakeSoob().size(), 1);
    QImage picture(20, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save("temp/" + page->Image1Name, "JPEG"));
    Notice("{\"$c$\":\"getfileok\",\"name\":\"" + page->Image1Name + "\"}");
    ASSERT_EQ(page->Image1->pixmap().size(), QSize(20, 30));

    now = now.addSecs(11);
    form->Timer1Timer();
    std::vector<Record> changed = kPeople;
    changed[0]["tel"] = "112";
    Load("gpeople", changed);
    page->SortByColumn(0);
    EXPECT_TRUE(TakeSoob().isEmpty());
    EXPECT_EQ(page->Image1->pixmap().size(), QSize(20, 30));

    // A new foto is fetched.
    changed[1]["foto"] = "photo\\mobile\\c.jpg";
    Load("gpeople", changed);
    const QStringList sent = TakeSoob();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].contains("c.jpg"));
    EXPECT_TRUE(page->Image1->pixmap().isNull());
}

TEST_F(WindowTest, APhotoThatDoesNotComeIsReportedAndAskedForAgainAtTheNextSelection) {
    Load("gpeople", kPeople);
    TerminalsPage* page = form->terminals;
    RecordGrid* grid = page->StringGrid1();
    grid->SelectRow(2);
    EXPECT_FALSE(page->Label4->isHidden());
    // A row without a photo shows an empty box, also while another row's photo is on its way.
    grid->SelectRow(1);
    EXPECT_TRUE(page->Label4->isHidden());
    EXPECT_EQ(page->Image1->text(), "");
    grid->SelectRow(2);
    ASSERT_EQ(TakeSoob().size(), 2);

    now = now.addSecs(11);
    form->Timer1Timer();
    EXPECT_TRUE(page->Label4->isHidden());
    EXPECT_EQ(page->Image1->text(), "Фото не получено");
    Load("gpeople", kPeople);
    EXPECT_TRUE(TakeSoob().isEmpty());
    EXPECT_EQ(page->Image1->text(), "Фото не получено");

    grid->SelectRow(1);
    grid->SelectRow(2);
    EXPECT_EQ(TakeSoob().size(), 1);
    EXPECT_FALSE(page->Label4->isHidden());
    EXPECT_EQ(page->Image1->text(), "");
    Notice("{\"$c$\":\"sendfilenotfind\",\"nameinserv\":\"photo\\\\mobile\\\\other.jpg\"}");
    EXPECT_FALSE(page->Label4->isHidden());
    Notice("{\"$c$\":\"sendfilenotfind\",\"nameinserv\":\"photo\\\\mobile\\\\a.jpg\"}");
    EXPECT_TRUE(page->Label4->isHidden());
    EXPECT_EQ(page->Image1->text(), "Фото нет на сервере");
}

TEST_F(WindowTest, TerminalFlagsKeepOnlyTheLowByteAndStationaryNeedsAnObject) {
    Load("object", {{{"n_abs", 1}, {"number", 1001}, {"name", "Склад"}}});
    Load("gpeople", kPeople);
    TerminalsPage* page = form->terminals;
    page->StringGrid1()->SelectRow(3);
    EXPECT_EQ(page->Edit16->text(), "Склад");
    page->StringGrid1()->SelectRow(2);
    TakeSoob();
    page->SecondButton()->click();
    page->CheckBox3->setChecked(true);  // "Патруль" on rez 256 + 1
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gpeople\",\"n_abs\":2,\"fields\":{\"rez\":3}}"}));

    page->SecondButton()->click();  // "Отменить"
    page->SecondButton()->click();  // "Редактировать"
    page->Edit15->setText("0");
    EXPECT_EQ(page->Edit16->text(), "");
    page->FirstButton()->click();
    page->Edit15->setText("99");
    page->FirstButton()->click();
    EXPECT_EQ(informed, QStringList(2, "Не введен объект в стационарном режиме"));
    EXPECT_TRUE(TakeSoob().isEmpty());
    EXPECT_EQ(page->FirstButton()->text(), "Сохранить");
    page->Edit15->setText("1001");
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob().size(), 1);
}

TEST_F(WindowTest, ANewTerminalIsSavedWithTheFlagsItsBoxesShow) {
    // The row selected before "Новый" is stationary and blocked, with a bit above the three boxes.
    Load("object", {{{"n_abs", 1}, {"number", 1001}, {"name", "Склад"}}});
    Load("gpeople",
         {{{"n_abs", 4}, {"fio", "Занятый"}, {"tel", "444"}, {"number", "1001"}, {"rez", 1 | 4 | 16}}});
    TerminalsPage* page = form->terminals;
    struct Case {
        std::vector<QCheckBox*> clicks;
        QString rez;  // the command's "rez" field, empty when it has none
    };
    const std::vector<Case> cases = {
        {{page->CheckBox3, page->CheckBox4}, ",\"rez\":6"},
        {{page->CheckBox4, page->CheckBox3, page->CheckBox4}, ",\"rez\":2"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rez.toStdString());
        page->StringGrid1()->SelectRow(1);
        TakeSoob();
        page->FirstButton()->click();
        // Cleared before the addition began, so nothing of the selected terminal is written.
        for (QLineEdit* edit : {page->Edit1, page->Edit2, page->Edit3, page->Edit15, page->Edit16}) {
            EXPECT_EQ(edit->text(), "");
        }
        for (QCheckBox* box : {page->CheckBox2, page->CheckBox3, page->CheckBox4}) {
            EXPECT_FALSE(box->isChecked());
        }
        page->Edit1->setText("Новиков");
        for (QCheckBox* box : c.clicks) {
            box->click();
        }
        page->FirstButton()->click();
        EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"netadddatadatabase\","
                                           "\"nametable\":\"gpeople\",\"fields\":{\"fio\":\"Новиков\"" +
                                           c.rez + "}}"}));
        page->SecondButton()->click();
    }
}

TEST_F(WindowTest, PopupMenuResetsTheRequestCountOrTheRegistrationOfTheSelectedTerminal) {
    Load("gpeople", kPeople);
    TerminalsPage* page = form->terminals;
    page->StringGrid1()->SelectRow(1);  // registered
    page->PopupMenu1Popup();
    EXPECT_FALSE(page->N1->isEnabled());
    ASSERT_TRUE(page->N3->isEnabled());
    page->N3->trigger();
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gpeople\",\"n_abs\":1,\"fields\":{\"status\":0}}"}));
    page->StringGrid1()->SelectRow(3);  // never asked
    page->PopupMenu1Popup();
    ASSERT_TRUE(page->N1->isEnabled());
    EXPECT_FALSE(page->N3->isEnabled());
    page->N1->trigger();
    EXPECT_EQ(page->FirstButton()->text(), "Новый");
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gpeople\",\"n_abs\":3,\"fields\":{\"smssend\":0}}"}));
}

TEST_F(WindowTest, APickedPhotoIsSentWithTheRecordAndUndoneByCancel) {
    Load("object", {{{"n_abs", 1}, {"number", 1001}, {"name", "Склад"}}});
    Load("gpeople", kPeople);
    TerminalsPage* page = form->terminals;
    // The row's own photo is shown.
    page->StringGrid1()->SelectRow(2);
    QImage shown(20, 30, QImage::Format_RGB32);
    shown.fill(Qt::red);
    ASSERT_TRUE(shown.save("temp/" + page->Image1Name, "JPEG"));
    Notice("{\"$c$\":\"getfileok\",\"name\":\"" + page->Image1Name + "\"}");
    TakeSoob();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    pickedPicture = QDir::current().filePath("holder.jpeg");
    ASSERT_TRUE(picture.save(pickedPicture, "JPEG"));
    QString file;

    page->SecondButton()->click();
    page->BitBtn8Click();
    EXPECT_EQ(page->Image1->pixmap().size(), QSize(8, 8));
    page->SecondButton()->click();  // "Отменить"
    EXPECT_EQ(page->Image1->pixmap().size(), QSize(20, 30));
    EXPECT_FALSE(form->clientU->SoobFile.GetSoobD(file));
    EXPECT_TRUE(TakeSoob().isEmpty());

    page->SecondButton()->click();
    page->BitBtn8Click();
    EXPECT_FALSE(form->clientU->SoobFile.GetSoobD(file));
    page->FirstButton()->click();
    ASSERT_TRUE(form->clientU->SoobFile.GetSoobD(file));
    const QString escapedPath = QString(pickedPicture).replace("/", "\\/");
    EXPECT_TRUE(file.startsWith("{\"$c$\":\"putfile\",\"nameinserv\":\"photo\\\\mobile\\\\"));
    EXPECT_TRUE(file.endsWith(".jpeg\",\"name\":\"" + escapedPath + "\"}"));
    const QString nameInServ = GetJSONValue(file, "nameinserv");
    EXPECT_EQ(nameInServ.size(), 13 + 36 + 5);
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gpeople\",\"n_abs\":2,\"fields\":{\"foto\":\"" +
                                       StrToJSONStr(nameInServ) + "\"}}"}));

    // The record's update leaves the picked photo in place instead of fetching it back.
    std::vector<Record> stored = kPeople;
    stored[1]["foto"] = nameInServ;
    Load("gpeople", stored);
    EXPECT_EQ(page->FirstButton()->text(), "Новый");
    EXPECT_TRUE(TakeSoob().isEmpty());
    EXPECT_EQ(page->Image1->pixmap().size(), QSize(8, 8));
}

}  // namespace
