// The operator's tools in the real window, logged in to the real stand-in server with its demo data:
// find, sort, keys and the question before a duplicate; export of the rows a grid shows and their
// import back; the status line and the change journal through a stop and a restart of the server.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>

#include "app/find_bar.h"
#include "app/groups_page.h"
#include "app/import_dialog.h"
#include "app/journal_window.h"
#include "app/login_window.h"
#include "app/main_window.h"
#include "app/record_grid.h"
#include "app/table_access.h"
#include "app/vehicles_page.h"
#include "app_fixture.h"
#include "journal/change_journal.h"
#include "session/client_udp.h"
#include "window_e2e.h"

namespace {

class ToolsTest : public WindowE2eTest {
  protected:
    void SetUp() override {
        WindowE2eTest::SetUp();
        server = StartServer();
        ASSERT_TRUE(server);
    }

    // Logs in as an operator would and waits until the vehicles grid shows the demo's twelve.
    void LogIn() {
        Dialogs d;
        d.confirm = [this](QWidget*, const QString& text) {
            questions << text;
            return answer;
        };
        d.inform = [this](QWidget*, const QString& text) { informed << text; };
        d.saveSheet = [this](QWidget*, const QString&) { return sheetPath; };
        d.openSheet = [this](QWidget*) { return sheetPath; };
        form = std::make_unique<TForm1>(d);
        ASSERT_TRUE(WindowE2eTest::LogIn(*form)) << server->Log().toStdString();
        form->show();
        ASSERT_TRUE(Until([this] { return Grid()->Idx().size() == 12; }));
    }

    static bool Until(const std::function<bool()>& done, int ms = 20000) { return WaitUntil(done, ms); }

    RecordGrid* Grid() { return form->vehicles->StringGrid2(); }
    QStringList Column(int column) {
        QStringList texts;
        for (int r = 0; r < int(Grid()->Idx().size()); ++r) {
            texts << Grid()->model()->index(r, column).data().toString();
        }
        return texts;
    }
    // A key as the operator types it: the window's shortcuts see it first.
    void Key(QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(to, key, modifiers);
        QCoreApplication::processEvents();
    }
    QString TextOfImei(int row) {
        return TextAt(form->vehicles->Table(), 23, Grid()->Idx()[size_t(row - 1)]);
    }
    void PressHeader(int column) {
        QHeaderView* header = Grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + 5, 5);
        QMouseEvent press(QEvent::MouseButtonPress, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &press);
    }

    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<TForm1> form;
    QStringList questions;
    QStringList informed;
    bool answer = false;
    QString sheetPath;
};

TEST_F(ToolsTest, FindSortKeysAndTheQuestionBeforeADuplicate) {
    LogIn();
    FindBar* find = form->vehicles->Finder();
    const QStringList names = Column(2);
    // Every word must be found, letters in any case; "ё" is found by "е".
    const QString word = names[4].split(' ').first().toUpper();
    find->Field()->setText(word + QStringLiteral(" 105"));
    ASSERT_EQ(Column(2), QStringList{names[4]});
    EXPECT_EQ(find->Count()->text(), "найдено 1 из 12");
    EXPECT_EQ(form->vehicles->Edit13->text(), names[4]) << "the detail panel follows the row found";
    find->Field()->setText(QString());
    EXPECT_EQ(Column(2), names);
    EXPECT_EQ(form->vehicles->Edit13->text(), names[4]) << "the selected vehicle stays selected";

    // A press on "Номер" sorts by it as numbers; a second press reverses; "№" is the page's order.
    PressHeader(1);
    QStringList numbers = Column(1);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end(),
                               [](auto& a, auto& b) { return a.toInt() < b.toInt(); }));
    PressHeader(1);
    EXPECT_EQ(Column(1).first(), "112");
    EXPECT_EQ(Grid()->Model().SortField(), 1);
    PressHeader(0);
    EXPECT_EQ(Column(2), names);

    // Keys: F2 edits, Escape cancels, Ctrl+1/2/3 switch pages, Ctrl+F finds.
    Grid()->setFocus();
    Grid()->SelectRow(2);
    Key(form.get(), Qt::Key_F2);
    EXPECT_EQ(form->vehicles->FirstButton()->text(), "Сохранить");
    Key(form.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(form->ActivePage(), "gps") << "no page change while editing";
    // A vehicle whose IMEI another vehicle holds: the operator is asked, naming that vehicle.
    const QString otherImei = TextOfImei(1);
    form->vehicles->Edit14->setText(otherImei);
    Key(form.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains("IMEI " + otherImei + " уже есть у ТС «" + names[0] + "»"))
        << questions[0].toStdString();
    EXPECT_EQ(form->vehicles->FirstButton()->text(), "Сохранить") << "No: still editing, nothing sent";
    Key(form.get(), Qt::Key_Escape);
    EXPECT_EQ(form->vehicles->FirstButton()->text(), "Новый");
    Key(form.get(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(form->ActivePage(), "Default");
    Key(form.get(), Qt::Key_1, Qt::ControlModifier);
    Key(form.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(find->Field()->hasFocus() || !form->isActiveWindow());
    EXPECT_TRUE(form->vehicles->FirstButton()->toolTip().contains("Ctrl+N"));
    EXPECT_TRUE(form->vehicles->SecondButton()->toolTip().contains("F2"));
}

TEST_F(ToolsTest, ExportedRowsImportBackAsTheSameRecordsAndABadFileImportsNothing) {
    LogIn();
    // The vehicles a find shows, exported with all their columns.
    form->vehicles->Finder()->Field()->setText("10");
    const std::vector<int32_t> shown = Grid()->Idx();
    ASSERT_GE(shown.size(), 2u);
    const QStringList names = Column(2);
    sheetPath = Path("found.xlsx");
    form->ExportGrid(Grid());
    ASSERT_TRUE(informed.isEmpty()) << informed.join(' ').toStdString();

    // Deleted through the page, then imported back from the file.
    answer = true;
    for (size_t i = 0; i < shown.size(); ++i) {
        Grid()->SelectRow(1);
        form->vehicles->ThirdButtonClick();
        ASSERT_TRUE(Until([&] { return Grid()->Idx().size() == shown.size() - i - 1; }));
    }
    form->vehicles->Finder()->Field()->clear();
    ImportDialog* dialog = form->ImportIntoPage();
    ASSERT_NE(dialog, nullptr) << informed.join(' ').toStdString();
    ASSERT_TRUE(dialog->StartButton()->isEnabled()) << dialog->Summary()->text().toStdString();
    dialog->Start();
    ASSERT_TRUE(Until([&] { return dialog->Run()->Finished(); }, 60000));
    EXPECT_EQ(dialog->Run()->Count(ImportRun::State::Confirmed), int(shown.size()));
    EXPECT_TRUE(
        dialog->Summary()->text().startsWith("Подтверждено сервером: " + QString::number(shown.size())));
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form->vehicles->Finder()->Field()->setText("10");
    ASSERT_TRUE(Until([&] { return Grid()->Idx().size() == shown.size(); }));
    EXPECT_EQ(Column(2), names);

    // A file that is no table imports nothing and says why.
    sheetPath = Path("binary.csv");
    QFile binary(sheetPath);
    ASSERT_TRUE(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("\x00\x01\x02\x03garbage", 11));
    binary.close();
    EXPECT_EQ(form->ImportIntoPage(), nullptr);
    ASSERT_FALSE(informed.isEmpty());
    EXPECT_TRUE(informed.last().startsWith("Файл не загружен")) << informed.last().toStdString();
}

// Each confirmed line brings its record; the pages take the records in batches while the lines
// stream in, and once the import ends every record is shown.
TEST_F(ToolsTest, AnImportOfHundredsOfLinesEndsWithEveryRecordShown) {
    LogIn();
    constexpr int kLines = 300;
    sheetPath = Path("many.csv");
    QFile file(sheetPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QStringList names;
    QByteArray text = "Номер;Наименование;IMEI\r\n";
    for (int i = 0; i < kLines; ++i) {
        names << QStringLiteral("Привезённый %1").arg(i);
        text += QStringLiteral("%1;%2;%3\r\n")
                    .arg(7000 + i)
                    .arg(names.last())
                    .arg(861000000000000LL + i)
                    .toUtf8();
    }
    file.write(text);
    file.close();

    ImportDialog* dialog = form->ImportIntoPage();
    ASSERT_NE(dialog, nullptr) << informed.join(' ').toStdString();
    ASSERT_TRUE(dialog->StartButton()->isEnabled()) << dialog->Summary()->text().toStdString();
    dialog->Start();
    ASSERT_TRUE(Until([&] { return dialog->Run()->Finished(); }, 120000));
    ASSERT_EQ(dialog->Run()->Count(ImportRun::State::Confirmed), kLines);
    ASSERT_TRUE(Until([&] { return Grid()->Idx().size() == 12 + kLines; }))
        << Grid()->Idx().size() << " rows shown";
    const QStringList shown = Column(2);
    for (const QString& name : names) {
        EXPECT_TRUE(shown.contains(name)) << name.toStdString();
    }
    EXPECT_EQ(form->groups->StringGrid5()->Idx().size(), 12u + kLines) << "the groups page's vehicles too";
}

TEST_F(ToolsTest, TheStatusLineAndTheJournalFollowAnEditThroughAStopAndARestartOfTheServer) {
    LogIn();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port_);
    ASSERT_TRUE(Until([&] { return form->LinkState->text() == "Связь есть: " + address; }));
    server->Kill();
    ASSERT_TRUE(Until([&] { return form->LinkState->text().startsWith("Нет связи"); }, 60000))
        << form->LinkState->text().toStdString();

    // An edit made without a link waits, and the operator sees that it does.
    Grid()->SelectRow(1);
    form->vehicles->SecondButtonClick();
    form->vehicles->Edit12->setText("Без связи");
    form->vehicles->FirstButtonClick();
    ASSERT_TRUE(Until([&] { return form->WaitingState->text() == "Ожидают отправки: 1"; }));
    ASSERT_FALSE(form->Journal()->Entries().empty());
    const JournalEntry& edit = form->Journal()->Entries().back();
    EXPECT_EQ(edit.action, JournalAction::Edit);
    EXPECT_EQ(edit.state, JournalState::Waiting);

    server = std::make_unique<ServerProcess>(Path("server"), port_, QStringList{"--demo"});
    ASSERT_TRUE(server->Start()) << server->Log().toStdString();
    ASSERT_TRUE(Until([&] { return form->LinkState->text() == "Связь есть: " + address; }, 60000));
    ASSERT_TRUE(
        Until([&] { return form->Journal()->Entries().back().state == JournalState::Confirmed; }, 60000))
        << JournalStateText(form->Journal()->Entries().back().state).toStdString();
    EXPECT_TRUE(Until([&] { return form->WaitingState->text() == "Ожидают отправки: 0"; }))
        << form->WaitingState->text().toStdString();
    EXPECT_EQ(form->Journal()->Entries().back().fields.back().after, "Без связи");

    JournalWindow* window = form->ShowJournal();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Журнал изменений");
    window->TextFilter()->setText("Без связи");
    ASSERT_EQ(window->Model()->rowCount(), 1);
    EXPECT_EQ(window->Model()->index(0, 5).data().toString(), "подтверждено сервером");
    window->TextFilter()->setText("нет такого текста");
    EXPECT_EQ(window->Model()->rowCount(), 0);
}

// A picture of the window with a find, the status line and the journal, for the documentation:
// only when MOBCFG_APP_SCREENSHOTS names a folder (scripts/screenshot runs it under Xvfb).
TEST_F(ToolsTest, PictureForTheDocumentation) {
    const QString folder = qEnvironmentVariable("MOBCFG_APP_SCREENSHOTS");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "MOBCFG_APP_SCREENSHOTS is not set";
    }
    LogIn();
    form->move(0, 0);
    Grid()->SelectRow(3);
    form->vehicles->SecondButtonClick();
    form->vehicles->Edit12->setText("Замена трекера");
    form->vehicles->FirstButtonClick();
    ASSERT_TRUE(Until([&] {
        return !form->Journal()->Entries().empty() &&
               form->Journal()->Entries().back().state == JournalState::Confirmed;
    }));
    form->vehicles->Finder()->Field()->setText(Column(2).first().split(' ').first().toLower());
    JournalWindow* journal = form->ShowJournal();
    journal->resize(860, 200);
    journal->move(410, 430);
    Until([] { return false; }, 1500);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 1282, 940);
    ASSERT_TRUE(screen.save(folder + QStringLiteral("/operator-tools.png")));
}

}  // namespace
