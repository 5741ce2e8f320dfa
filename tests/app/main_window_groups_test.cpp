// The main window's groups page: members, additions, the internal flag, navigation while editing.
#include "main_window_fixture.h"

namespace {

using app_test::Cell;
using app_test::Column;
using app_test::kPeople;
using app_test::kVehicles;
using app_test::Record;
using app_test::WindowTest;

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
