// The fixture of the main window's tests: the real main window, offscreen, over tables filled from
// table files and a session client whose loop is not running: its queues show what the window sends
// and take what it is told. The vehicles and terminals most tests load.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QRegularExpression>
#include <thread>

#include "app/groups_page.h"
#include "app/main_window.h"
#include "app/record_grid.h"
#include "app/terminals_page.h"
#include "app/vehicles_page.h"
#include "app_fixture.h"
#include "infra/json_text.h"
#include "infra/ticks.h"
#include "session/application_id.h"
#include "session/client_udp.h"

namespace app_test {

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

    // What the window queued, additions without the mark the session gives each of them.
    QStringList TakeSoob() {
        static const QRegularExpression mark(QStringLiteral("\"mark\":\"[0-9a-f-]{36}\","));
        QStringList all;
        QString m;
        while (form->clientU->Soob.GetSoobD(m)) {
            const bool addition = m.contains(QStringLiteral("netadddatadatabase"));
            EXPECT_EQ(mark.match(m).hasMatch(), addition) << m.toStdString();
            all << m.remove(mark);
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

inline const std::vector<Record> kVehicles = {
    {{"n_abs", 99999},
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

inline const std::vector<Record> kPeople = {
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

}  // namespace app_test
