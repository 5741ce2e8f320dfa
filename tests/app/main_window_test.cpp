// The main window: its pages, the vehicles page's grid and editing, and the notices it is told.
#include "main_window_fixture.h"

namespace {

using app_test::Cell;
using app_test::Column;
using app_test::kPeople;
using app_test::kVehicles;
using app_test::Record;
using app_test::WindowTest;

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

// Nothing the operator issued is lost in silence: a request or an edit the session's full queues
// refuse, and an upload the session gives up, are told; a page waiting for its answer stops.
TEST_F(WindowTest, WhatTheSessionRefusesOrGivesUpIsToldToTheOperator) {
    Load("object", {{{"n_abs", 1}, {"number", 1001}, {"name", "Склад"}}});
    Load("gpeople", kPeople);
    Load("gps", kVehicles);
    const auto fill = [](OchFIFOJSON& queue) {
        while (queue.PutSoob(QStringLiteral("{\"$c$\":\"filler\"}"))) {
        }
    };
    fill(form->clientU->Soob);
    fill(form->clientU->SoobFile);

    TerminalsPage* terminals = form->terminals;
    terminals->StringGrid1()->SelectRow(2);
    EXPECT_EQ(terminals->Image1->text(), "Фото не запрошено: очередь отправки заполнена");
    EXPECT_TRUE(terminals->Label4->isHidden());

    VehiclesPage* vehicles = form->vehicles;
    vehicles->FirstButton()->click();
    vehicles->Edit13->setText("Новая");
    vehicles->FirstButton()->click();
    EXPECT_EQ(informed, QStringList({kCommandNotQueued}));
    EXPECT_EQ(vehicles->FirstButton()->text(), "Новый");

    informed.clear();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    pickedPicture = QDir::current().filePath("holder.jpeg");
    ASSERT_TRUE(picture.save(pickedPicture, "JPEG"));
    terminals->SecondButton()->click();
    terminals->BitBtn8Click();
    terminals->FirstButton()->click();
    EXPECT_EQ(informed, QStringList({"Фото не отправлено: очередь файлов заполнена", kCommandNotQueued}));

    informed.clear();
    Notice("{\"$c$\":\"sendfileerror\",\"name\":\"a.jpg\",\"nameinserv\":\"b\",\"reason\":\"refused\"}");
    EXPECT_EQ(informed, QStringList({"Фото не отправлено: сервер его не принял"}));
}

}  // namespace
