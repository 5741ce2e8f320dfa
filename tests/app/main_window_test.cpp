// The real main window, offscreen, over tables filled from table files and a session client whose
// loop is not running: its queues show what the window sends and take what it is told.
#include "app/main_window.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <thread>

#include "app/groups_page.h"
#include "app/record_grid.h"
#include "app/terminals_page.h"
#include "app/vehicles_page.h"
#include "app_fixture.h"
#include "infra/json_text.h"
#include "infra/ticks.h"
#include "session/application_id.h"
#include "session/client_udp.h"

namespace {

using app_test::Cell;
using app_test::Column;
using app_test::Record;

class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        app_test::Application();
        Dialogs d;
        d.confirm = [this](QWidget*, const QString& text) {
            questions << text;
            return confirmAnswer;
        };
        d.inform = [this](QWidget*, const QString& text) { informed << text; };
        d.pickColor = [this](QWidget*, const QColor&) { return pickedColour; };
        d.openPicture = [this](QWidget*) { return pickedPicture; };
        SetDateTimeSource([this] { return now; });
        form = std::make_unique<TForm1>(d);
        form->ReadSettingsAndRegisterTables();
        form->AttachClient(MakeThread<client_udp>(kApplicationId, QStringLiteral("127.0.0.1"), 9));
        // As the client does when the server accepts the login.
        client_udp* client = form->clientU.get();
        for (int32_t i = 0; i < form->Base.Count(); ++i) {
            form->Base[i]->OnNetDataSend9 = [client](TBaseClient* sender, const QString& data) {
                client->GFBaseNetDataSend9(sender, data);
            };
        }
    }

    void TearDown() override { SetDateTimeSource({}); }

    TBaseClient* Table(const char* name) { return form->Base.Find(QString::fromLatin1(name)); }

    // Loads the table and lets the window rebuild it as after the client's report.
    void Load(const char* name, const std::vector<Record>& records) {
        app_test::Fill(Table(name), records);
        form->RefreshDataBase(form->clientU.get(), QString::fromLatin1(name));
        QCoreApplication::processEvents();
    }

    QStringList TakeSoob() {
        QStringList all;
        QString m;
        while (form->clientU->Soob.GetSoobD(m)) {
            all << m;
        }
        return all;
    }

    void Notice(const QString& text) {
        ASSERT_TRUE(form->clientU->ReadJSON.PutSoob(text));
        form->Timer1Timer();
    }

    // The window's clock, moved by hand.
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(10, 0));
    app_test::WorkFolder work;
    std::unique_ptr<TForm1> form;
    QStringList questions;
    QStringList informed;
    bool confirmAnswer = true;
    QColor pickedColour;
    QString pickedPicture;
};

const std::vector<Record> kVehicles = {{{"n_abs", 99999},
                                        {"number", "7"},
                                        {"name", "Газель 7"},
                                        {"gosnum", "А001АА96"},
                                        {"owner", "ООО Охрана"},
                                        {"type", 0},
                                        {"mapcolor", 255},
                                        {"coord", 1},
                                        {"imei", 860000000000001LL}},
                                       {{"n_abs", 100000}, {"number", "8"}, {"name", "УАЗ 8"}, {"type", -1}},
                                       {{"n_abs", 12}, {"number", "9"}, {"name", "Снятый"}, {"p_d", 1}},
                                       {{"n_abs", 5}, {"number", "5"}, {"name", "Нива 5"}, {"type", 7}}};

TEST_F(WindowTest, StartsOnTheVehiclesPageWithTheCaptionAndTheSixTables) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("КПО Велта 8 - Настройка мониторинга мобильных объектов"));
    EXPECT_EQ(form->ActivePage(), QStringLiteral("gps"));
    EXPECT_TRUE(form->SpeedButton2->isChecked());
    ASSERT_EQ(form->Base.Count(), 6);
    const QStringList names = {"object", "gps", "gpeople", "groupgps", "gpsug", "gpsshab"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(form->Base[i]->NameTableS, names[i]);
    }
    EXPECT_EQ(form->host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(form->port, 9010);
}

TEST_F(WindowTest, VehiclesGridShowsVisibleRecordsInIdentifierTextOrder) {
    Load("gps", kVehicles);
    RecordGrid* grid = form->vehicles->StringGrid2();
    const QStringList headers = {"№", "Номер", "Наименование", "Гос. номер", "Владелец"};
    for (int c = 0; c < headers.size(); ++c) {
        EXPECT_EQ(grid->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
    }
    // The deleted record is not shown; 100000 sorts before 99999 as text.
    EXPECT_EQ(Column(grid, 2), QStringList({"Нива 5", "УАЗ 8", "Газель 7"}));
    EXPECT_EQ(Column(grid, 0), QStringList({"1", "2", "3"}));
    EXPECT_EQ(Cell(grid, 3, 1), "7");
    EXPECT_EQ(Cell(grid, 3, 3), "А001АА96");
    EXPECT_EQ(Cell(grid, 3, 4), "ООО Охрана");
    // The groups page lists the same vehicles in the same order.
    EXPECT_EQ(Column(form->groups->StringGrid5(), 2), Column(grid, 2));
}

TEST_F(WindowTest, ATableReportedOnTheClientThreadIsRebuiltOnTheWindowsThread) {
    app_test::Fill(Table("gps"), kVehicles);
    std::thread clientThread([this] { form->RefreshDataBase(form->clientU.get(), "gps"); });
    clientThread.join();
    EXPECT_TRUE(form->vehicles->StringGrid2()->Idx().empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(form->vehicles->StringGrid2()->Idx().size(), 3u);
    EXPECT_EQ(form->groups->StringGrid5()->Idx().size(), 3u);
}

TEST_F(WindowTest, SelectingAVehicleFillsTheDetailPanelWithoutWriting) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->StringGrid2()->SelectRow(3);
    EXPECT_EQ(page->Edit13->text(), "Газель 7");
    EXPECT_EQ(page->Edit14->text(), "860000000000001");
    EXPECT_EQ(page->ComboBox1->currentText(), "GT-20");
    EXPECT_EQ(page->MapColour(), 255u);
    EXPECT_EQ(page->RadioGroup1->checkedId(), 1);
    page->StringGrid2()->SelectRow(2);
    EXPECT_EQ(page->ComboBox1->currentIndex(), -1);
    EXPECT_EQ(page->RadioGroup1->checkedId(), 0);
    // A type beyond the list keeps what the previous record showed.
    page->StringGrid2()->SelectRow(3);
    page->StringGrid2()->SelectRow(1);
    EXPECT_EQ(page->ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(TakeSoob().isEmpty());
}

TEST_F(WindowTest, EmptyTableShowsOneBlankRowAndOnlyNewIsOffered) {
    Load("gps", {});
    VehiclesPage* page = form->vehicles;
    EXPECT_EQ(page->StringGrid2()->model()->rowCount(), 1);
    EXPECT_EQ(Cell(page->StringGrid2(), 1, 0), "");
    EXPECT_TRUE(page->FirstButton()->isEnabled());
    EXPECT_FALSE(page->SecondButton()->isEnabled());
    EXPECT_FALSE(page->ThirdButton()->isEnabled());
    EXPECT_EQ(page->MapColour(), 0u);
    EXPECT_EQ(page->RadioGroup1->checkedId(), 0);
}

TEST_F(WindowTest, EditModeLocksTheGridAndTheNavigationUntilCancelled) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->SecondButton()->click();
    EXPECT_EQ(page->FirstButton()->text(), "Сохранить");
    EXPECT_EQ(page->SecondButton()->text(), "Отменить");
    EXPECT_FALSE(page->ThirdButton()->isEnabled());
    EXPECT_TRUE(page->DetailPanel()->isEnabled());
    EXPECT_FALSE(page->StringGrid2()->isEnabled());
    EXPECT_FALSE(form->Panel1->isEnabled());
    EXPECT_TRUE(Table("gps")->RecordNE);

    page->Edit13->setText("Черновик");
    page->SecondButton()->click();
    EXPECT_EQ(page->FirstButton()->text(), "Новый");
    EXPECT_EQ(page->SecondButton()->text(), "Редактировать");
    EXPECT_TRUE(page->ThirdButton()->isEnabled());
    EXPECT_FALSE(page->DetailPanel()->isEnabled());
    EXPECT_TRUE(page->StringGrid2()->isEnabled());
    EXPECT_TRUE(form->Panel1->isEnabled());
    // The edits show the record again and nothing was sent.
    EXPECT_EQ(page->Edit13->text(), Cell(page->StringGrid2(), page->StringGrid2()->CurrentRow(), 2));
    EXPECT_TRUE(TakeSoob().isEmpty());
}

TEST_F(WindowTest, SavingAnEditedVehicleSendsExactlyTheChangedColumns) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->StringGrid2()->SelectRow(3);
    page->SecondButton()->click();
    page->Edit13->setText("Газель \"Next\"");
    page->Edit14->setText("860000000000001");  // the same IMEI writes nothing
    pickedColour = QColor(0, 0, 255);
    page->BitBtn7Click();
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gps\",\"n_abs\":99999,\"fields\":{\"name\":"
                                       "\"Газель \\\"Next\\\"\",\"mapcolor\":16711680}}"}));
    // Still in edit mode until the server confirms.
    EXPECT_EQ(page->FirstButton()->text(), "Сохранить");
}

TEST_F(WindowTest, ASavedEditWaitsForItsRecordsUpdateOrItsConfirmation) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->StringGrid2()->SelectRow(3);
    page->SecondButton()->click();
    page->Edit13->setText("Газель 8");
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob().size(), 1);
    EXPECT_FALSE(page->DetailPanel()->isEnabled());
    EXPECT_FALSE(page->FirstButton()->isEnabled());
    EXPECT_TRUE(page->SecondButton()->isEnabled());

    // Another record's change is not the one awaited: the page still shows what was saved.
    std::vector<Record> stored = kVehicles;
    stored.push_back({{"n_abs", 1}, {"name", "Чужая"}});
    app_test::Fill(Table("gps"), stored);
    form->RefreshTable("gps");
    EXPECT_EQ(page->FirstButton()->text(), "Сохранить");
    EXPECT_EQ(page->Edit13->text(), "Газель 8");

    stored[0]["name"] = "Газель 8";
    app_test::Fill(Table("gps"), stored);
    form->RefreshTable("gps");
    EXPECT_EQ(page->FirstButton()->text(), "Новый");
    EXPECT_TRUE(page->FirstButton()->isEnabled());
    EXPECT_EQ(Cell(page->StringGrid2(), page->StringGrid2()->CurrentRow(), 2), "Газель 8");
    EXPECT_EQ(page->Edit13->text(), "Газель 8");

    // The confirmation of that edit comes late, after the next edit has begun: it ends nothing.
    page->SecondButton()->click();
    page->Edit13->setText("Газель 9");
    Notice("{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gps\",\"n_abs\":99999}");
    EXPECT_EQ(page->FirstButton()->text(), "Сохранить");
    EXPECT_TRUE(page->DetailPanel()->isEnabled());
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob().size(), 1);
    // "Отменить" ends a wait that nothing ends.
    page->SecondButton()->click();
    EXPECT_EQ(page->FirstButton()->text(), "Новый");
    EXPECT_TRUE(page->FirstButton()->isEnabled());
    EXPECT_FALSE(page->DetailPanel()->isEnabled());
    EXPECT_TRUE(form->Panel1->isEnabled());
}

TEST_F(WindowTest, LettersInTheImeiStoreZero) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->StringGrid2()->SelectRow(3);
    page->SecondButton()->click();
    page->Edit14->setText("86abc");
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                       "\"nametable\":\"gps\",\"n_abs\":99999,\"fields\":{\"imei\":0}}"}));
}

TEST_F(WindowTest, ConfirmedAdditionReturnsToBrowseModeAndSelectsTheNewRecord) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->FirstButton()->click();
    page->Edit13->setText("Новая");
    page->FirstButton()->click();
    const QStringList sent = TakeSoob();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].startsWith(
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"gps\","));
    EXPECT_TRUE(sent[0].contains("\"name\":\"Новая\""));

    // A report for the table while the page waits changes nothing; the confirmation does.
    std::vector<Record> stored = kVehicles;
    stored.push_back({{"n_abs", 200}, {"name", "Новая"}});
    app_test::Fill(Table("gps"), stored);
    Notice("{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gps\",\"n_abs\":200}");
    EXPECT_EQ(page->FirstButton()->text(), "Новый");
    EXPECT_EQ(page->SecondButton()->text(), "Редактировать");
    EXPECT_TRUE(form->Panel1->isEnabled());
    EXPECT_TRUE(page->StringGrid2()->isEnabled());
    EXPECT_EQ(Cell(page->StringGrid2(), page->StringGrid2()->CurrentRow(), 2), "Новая");
    EXPECT_EQ(page->Edit13->text(), "Новая");
    EXPECT_EQ(page->RememberedId, -1);
}

TEST_F(WindowTest, ANewVehicleIsSentWithWhatWasEnteredAndTheTextsClearedForIt) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->StringGrid2()->SelectRow(3);
    page->FirstButton()->click();
    EXPECT_FALSE(page->StringGrid2()->isEnabled());
    EXPECT_EQ(page->ComboBox1->currentIndex(), -1);
    EXPECT_EQ(page->RadioGroup1->checkedId(), 0);
    EXPECT_EQ(page->MapColour(), 0u);
    page->Edit19->setText("12");
    page->Edit13->setText("Новая");
    page->Edit14->setText("860000000000002");
    page->ComboBox1->setCurrentIndex(0);
    emit page->ComboBox1->activated(0);
    page->RadioGroup1->button(1)->click();
    pickedColour = QColor(0, 255, 0);
    page->BitBtn7Click();
    page->FirstButton()->click();
    // Clearing after the addition began writes the emptied texts of the row selected before.
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"netadddatadatabase\","
                                       "\"nametable\":\"gps\",\"fields\":{\"number\":\"12\",\"name\":"
                                       "\"Новая\",\"owner\":\"\",\"imei\":860000000000002,\"gosnum\":\"\","
                                       "\"type\":0,\"mapcolor\":65280,\"coord\":1}}"}));
}

TEST_F(WindowTest, NoticesForOtherTablesOrUnreadableOnesAreDropped) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->FirstButton()->click();
    Notice("{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"gpsshab\",\"n_abs\":1}");
    Notice("not json at all");
    Notice("{\"$c$\":\"newlk\"}");
    EXPECT_EQ(page->FirstButton()->text(), "Сохранить");
    EXPECT_EQ(form->clientU->ReadJSON.CountSoob(), 0);
}

TEST_F(WindowTest, AChangeReportWhileEditingLeavesTheGridUntilTheTableIsReportedAgain) {
    Load("gps", kVehicles);
    VehiclesPage* page = form->vehicles;
    page->SecondButton()->click();
    std::vector<Record> grown = kVehicles;
    grown.push_back({{"n_abs", 1}, {"name", "Пришла с сервера"}});
    app_test::Fill(Table("gps"), grown);
    Table("gps")->RecordNE = true;  // the edit is still under way
    form->RefreshTable("gps");
    EXPECT_EQ(page->StringGrid2()->Idx().size(), 3u);
    page->SecondButton()->click();
    form->RefreshTable("gps");
    EXPECT_EQ(Column(page->StringGrid2(), 2),
              QStringList({"Пришла с сервера", "Нива 5", "УАЗ 8", "Газель 7"}));
}

TEST_F(WindowTest, DeletingAsksFirstAndSendsOnlyOnYes) {
    Load("gps", kVehicles);
    form->vehicles->StringGrid2()->SelectRow(1);
    confirmAnswer = false;
    form->vehicles->ThirdButton()->click();
    EXPECT_TRUE(TakeSoob().isEmpty());
    confirmAnswer = true;
    form->vehicles->ThirdButton()->click();
    EXPECT_EQ(questions, QStringList(2, "Вы действительно хотите удалить эту запись?"));
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"netdeletedatadatabase\","
                                       "\"nametable\":\"gps\",\"n_abs\":\"5\",}"}));
}

const std::vector<Record> kPeople = {
    {{"n_abs", 1},
     {"fio", "Петров Пётр"},
     {"tel", "111"},
     {"address", "Ленина 1"},
     {"status", 1},
     {"smsdate", 45000}},
    {{"n_abs", 2},
     {"fio", "алексеев Иван"},
     {"tel", "333"},
     {"address", "Мира 2"},
     {"smsdate", 45000},
     {"smssend", 3},
     {"rez", 257},
     {"number", "1001"},
     {"foto", "photo\\mobile\\a.jpg"}},
    {{"n_abs", 3}, {"fio", "Борисов Олег"}, {"tel", "222"}, {"address", ""}, {"number", "1001"}, {"rez", 1}}};

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

TEST_F(WindowTest, GroupMembersAreListedByNameAndMembersCannotJoinTwice) {
    Load("gps", kVehicles);
    Load("groupgps", {{{"n_abs", 1}, {"name", "Первая"}}, {{"n_abs", 2}, {"name", "Вторая"}}});
    Load("gpsug", {{{"n_abs", 10}, {"n_absg", 1}, {"n_absu", 99999}, {"typeu", 1}},
                   {{"n_abs", 11}, {"n_absg", 1}, {"n_absu", 4242}, {"typeu", 1}},
                   {{"n_abs", 12}, {"n_absg", 1}, {"n_absu", 5}, {"typeu", 1}},
                   {{"n_abs", 13}, {"n_absg", 2}, {"n_absu", 100000}, {"typeu", 1}}});
    GroupsPage* page = form->groups;
    page->StringGrid3()->SelectRow(1);
    EXPECT_EQ(page->Tek_n_abs_gtoupgps, 1);
    EXPECT_EQ(Column(page->StringGrid4(), 1), QStringList({"Газель 7", "Запись не найдена", "Нива 5"}));
    EXPECT_TRUE(page->SpeedButton5->isEnabled());

    page->StringGrid5()->SelectRow(1);  // "Нива 5", already a member
    EXPECT_FALSE(page->SpeedButton4->isEnabled());
    page->StringGrid5()->SelectRow(2);  // "УАЗ 8"
    ASSERT_TRUE(page->SpeedButton4->isEnabled());
    page->SpeedButton4->click();
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"netadddatadatabase\","
                                       "\"nametable\":\"gpsug\",\"fields\":{\"n_absg\":1,\"n_absu\":100000,"
                                       "\"typeu\":1}}"}));

    page->StringGrid3()->SelectRow(2);
    EXPECT_EQ(Column(page->StringGrid4(), 1), QStringList({"УАЗ 8"}));
    page->SpeedButton5->click();
    EXPECT_EQ(questions, QStringList({"Вы действительно хотите удалить эту запись?"}));
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"netdeletedatadatabase\","
                                       "\"nametable\":\"gpsug\",\"n_abs\":\"13\",}"}));
}

TEST_F(WindowTest, AConfirmedAdditionOfATerminalOrAGroupSelectsItsRow) {
    struct Case {
        const char* table;
        RecordPage* page;
        QLineEdit* name;
        const char* column;  // the name's column
        std::vector<Record> records;
    };
    const std::vector<Case> cases = {
        {"gpeople", form->terminals, form->terminals->Edit1, "fio", kPeople},
        {"groupgps", form->groups, form->groups->Edit30, "name", {{{"n_abs", 1}, {"name", "Первая"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        Load(c.table, c.records);
        c.page->Grid()->SelectRow(1);
        c.page->FirstButton()->click();
        c.name->setText("Новая");
        c.page->FirstButton()->click();
        ASSERT_EQ(TakeSoob().size(), 1);
        std::vector<Record> stored = c.records;
        stored.push_back({{"n_abs", 50}, {c.column, "Новая"}});
        app_test::Fill(Table(c.table), stored);
        Notice(QStringLiteral("{\"$c$\":\"netyesadddatadatabase\",\"nametable\":\"%1\",\"n_abs\":50}")
                   .arg(c.table));
        EXPECT_EQ(c.page->FirstButton()->text(), "Новый");
        EXPECT_FALSE(c.page->DetailPanel()->isEnabled());
        EXPECT_TRUE(c.page->Grid()->isEnabled());
        EXPECT_TRUE(form->Panel1->isEnabled());
        EXPECT_EQ(c.page->Grid()->CurrentRow(), int(stored.size()));
        EXPECT_EQ(Cell(c.page->Grid(), c.page->Grid()->CurrentRow(), 1), "Новая");
        EXPECT_EQ(c.name->text(), "Новая");
    }
}

TEST_F(WindowTest, AnEmptyGroupsTableOffersOnlyANewGroup) {
    Load("gps", kVehicles);
    Load("groupgps", {{{"n_abs", 1}, {"name", "Первая"}}});
    Load("gpsug", {{{"n_abs", 10}, {"n_absg", 1}, {"n_absu", 5}, {"typeu", 1}}});
    GroupsPage* page = form->groups;
    page->StringGrid3()->SelectRow(1);
    // The last group is deleted.
    Load("groupgps", {{{"n_abs", 1}, {"name", "Первая"}, {"p_d", 1}}});
    EXPECT_EQ(page->StringGrid3()->model()->rowCount(), 1);
    EXPECT_EQ(Cell(page->StringGrid3(), 1, 1), "");
    EXPECT_EQ(page->Edit30->text(), "");
    EXPECT_TRUE(page->FirstButton()->isEnabled());
    EXPECT_FALSE(page->SecondButton()->isEnabled());
    EXPECT_FALSE(page->ThirdButton()->isEnabled());
    // The members grid keeps the last group's members; no vehicle can join a group that is not there.
    EXPECT_EQ(Column(page->StringGrid4(), 1), QStringList({"Нива 5"}));
    for (int row = 1; row <= 3; ++row) {
        page->StringGrid5()->SelectRow(row);
        EXPECT_FALSE(page->SpeedButton4->isEnabled());
    }
    page->SpeedButton4Click();
    EXPECT_TRUE(TakeSoob().isEmpty());
}

TEST_F(WindowTest, AVehicleJoinsAGroupOnceAndNotAGroupBeingAdded) {
    Load("gps", kVehicles);
    Load("groupgps", {{{"n_abs", 1}, {"name", "Первая"}}, {{"n_abs", 2}, {"name", "Вторая"}}});
    std::vector<Record> members = {{{"n_abs", 10}, {"n_absg", 1}, {"n_absu", 99999}, {"typeu", 1}}};
    Load("gpsug", members);
    GroupsPage* page = form->groups;
    RecordGrid* vehicles = page->StringGrid5();
    page->StringGrid3()->SelectRow(1);
    vehicles->SelectRow(2);  // "УАЗ 8"
    ASSERT_TRUE(page->SpeedButton4->isEnabled());
    page->SpeedButton4->click();
    EXPECT_FALSE(page->SpeedButton4->isEnabled());
    page->SpeedButton4Click();  // a second press before the new member has come
    EXPECT_EQ(TakeSoob().size(), 1);
    vehicles->SelectRow(1);
    EXPECT_FALSE(page->SpeedButton4->isEnabled());

    // The new member comes: "Нива 5" may join, "УАЗ 8" is a member now.
    members.push_back({{"n_abs", 11}, {"n_absg", 1}, {"n_absu", 100000}, {"typeu", 1}});
    Load("gpsug", members);
    EXPECT_TRUE(page->SpeedButton4->isEnabled());
    vehicles->SelectRow(2);
    EXPECT_FALSE(page->SpeedButton4->isEnabled());

    // A member that does not come in time is reported, and "Добавить" is back.
    vehicles->SelectRow(1);
    page->SpeedButton4->click();
    ASSERT_EQ(TakeSoob().size(), 1);
    now = now.addSecs(11);
    form->Timer1Timer();
    EXPECT_EQ(informed, QStringList({"Сервер не подтвердил добавление в группу"}));
    EXPECT_TRUE(page->SpeedButton4->isEnabled());

    // While a group is being added there is no group to join.
    page->FirstButton()->click();
    EXPECT_FALSE(page->SpeedButton4->isEnabled());
    vehicles->SelectRow(2);
    vehicles->SelectRow(1);
    EXPECT_FALSE(page->SpeedButton4->isEnabled());
    page->SpeedButton4Click();
    EXPECT_TRUE(TakeSoob().isEmpty());
    page->SecondButton()->click();
    EXPECT_TRUE(page->SpeedButton4->isEnabled());
}

TEST_F(WindowTest, NavigationIsRefusedWhileAPageIsBeingEdited) {
    Load("groupgps", {{{"n_abs", 1}, {"name", "Первая"}, {"status", 1}}});
    form->SpeedButton3->click();
    EXPECT_EQ(form->ActivePage(), "group");
    GroupsPage* page = form->groups;
    EXPECT_TRUE(page->CheckBox1->isChecked());
    page->FirstButton()->click();
    EXPECT_EQ(page->Edit30->text(), "");
    EXPECT_TRUE(page->CheckBox1->isChecked());  // kept for the new group
    EXPECT_FALSE(form->Panel1->isEnabled());
    page->Edit30->setText("Ночная смена");
    page->FirstButton()->click();
    EXPECT_EQ(TakeSoob(), QStringList({"{\"$c$\":\"database\",\"command\":\"netadddatadatabase\","
                                       "\"nametable\":\"groupgps\",\"fields\":{\"name\":\"Ночная смена\","
                                       "\"status\":1}}"}));
}

TEST_F(WindowTest, AGroupIsSavedWithTheInternalFlagItsBoxShows) {
    // The first group is internal and carries another flag the page does not show.
    Load("groupgps",
         {{{"n_abs", 1}, {"name", "Первая"}, {"status", 1 | 2}}, {{"n_abs", 2}, {"name", "Вторая"}}});
    GroupsPage* page = form->groups;
    struct Case {
        int row;
        bool adding;  // "Новый", else "Редактировать"
        int clicks;   // on "Внутренние"
        QString command;
    };
    const QString add =
        "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"groupgps\","
        "\"fields\":{\"name\":\"Новая\"";
    const QString edit =
        "{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"nametable\":\"groupgps\","
        "\"n_abs\":%1,\"fields\":{";
    const std::vector<Case> cases = {
        {1, true, 0, add + ",\"status\":1}}"},
        {1, true, 1, add + ",\"status\":0}}"},
        {2, true, 0, add + "}}"},
        {2, true, 1, add + ",\"status\":1}}"},
        {1, false, 1, edit.arg(1) + "\"status\":2}}"},
        {1, false, 3, edit.arg(1) + "\"status\":2}}"},
        {2, false, 1, edit.arg(2) + "\"status\":1}}"},
        {2, false, 0, edit.arg(2) + "}}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.toStdString());
        page->StringGrid3()->SelectRow(c.row);
        (c.adding ? page->FirstButton() : page->SecondButton())->click();
        if (c.adding) {
            page->Edit30->setText("Новая");
        }
        for (int i = 0; i < c.clicks; ++i) {
            page->CheckBox1->click();
        }
        page->FirstButton()->click();
        EXPECT_EQ(TakeSoob(), QStringList({c.command}));
        page->SecondButton()->click();
    }
}

}  // namespace
