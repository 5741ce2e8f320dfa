// The change journal over a real vehicles table whose commands it is handed, kept in a real SQLite
// file in a temporary folder, and read again as the next run of the program would.
#include "journal/change_journal.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <future>

#include "tests/tables/configured_tables.h"

namespace {

class JournalTest : public testing::Test {
  protected:
    void SetUp() override {
        QDir::setCurrent(dir.path());
        gps.NameTableS = QStringLiteral("gps");
        configured_tables::Fill(&gps, {{{"n_abs", 5}, {"name", "Газель"}, {"imei", 860000000000001LL}},
                                       {{"n_abs", 6}, {"name", "УАЗ"}}});
        Open();
    }

    void Open() {
        journal = std::make_unique<ChangeJournal>(path());
        std::promise<std::vector<JournalEntry>> loaded;
        journal->StartLoad(
            [&loaded](std::vector<JournalEntry> entries) { loaded.set_value(std::move(entries)); });
        journal->Loaded(loaded.get_future().get());
        gps.OnNetDataSend9 = [this](TBaseClient* table, const QString& command) {
            journal->CommandQueued(*table, command, queued);
        };
    }

    QString path() const { return dir.filePath("journal.db"); }

    void EditName(int position, const QString& name) {
        const auto guard = gps.Guard();
        gps.SetRecordIndex(position);
        gps.Edit();
        gps.GetFieldCurrent("name")->SetAsString(name);
        gps.Post();
    }

    QTemporaryDir dir;
    TBaseClient gps;
    std::unique_ptr<ChangeJournal> journal;
    bool queued = true;
};

TEST_F(JournalTest, KeepsWhatTheOperatorChangedFromWhatToWhatAndFollowsItToTheServersAnswer) {
    EditName(1, "Газель 2");
    {
        const auto guard = gps.Guard();
        gps.Add();
        gps.GetFieldCurrent("name")->SetAsString("Новая");
        gps.Post();
        gps.SetRecordIndex(2);
        gps.DeleteRecordCurrent();
    }
    queued = false;
    EditName(2, "Потерянная");

    const auto& e = journal->Entries();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].action, JournalAction::Edit);
    EXPECT_EQ(e[0].n_abs, 5);
    EXPECT_EQ(e[0].fields, (std::vector<JournalField>{{"name", "Газель", "Газель 2"}}));
    EXPECT_EQ(e[1].action, JournalAction::Add);
    EXPECT_EQ(e[1].fields, (std::vector<JournalField>{{"name", "", "Новая"}}));
    EXPECT_EQ(e[2].action, JournalAction::Delete);
    EXPECT_EQ(e[2].n_abs, 6);
    EXPECT_TRUE(std::find(e[2].fields.begin(), e[2].fields.end(), JournalField{"name", "УАЗ", ""}) !=
                e[2].fields.end());
    EXPECT_EQ(e[3].state, JournalState::NotQueued);
    EXPECT_LT(e[0].key, e[1].key);

    journal->AllDelivered();
    EXPECT_EQ(e[0].state, JournalState::Sent);
    // The addition's confirmation names the new record; a refusal goes to the oldest open entry.
    journal->Notice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":7})");
    EXPECT_EQ(e[1].state, JournalState::Confirmed);
    EXPECT_EQ(e[1].n_abs, 7);
    journal->Notice(R"({"$c$":"neterrordatadatabase","nametable":"gps","error":"bad value"})");
    EXPECT_EQ(e[0].state, JournalState::Refused);
    EXPECT_EQ(e[0].note, "bad value");
    // The deletion is confirmed once the replica no longer shows the record.
    journal->TableChanged(gps);
    EXPECT_EQ(e[2].state, JournalState::Sent);
    gps.DeletedRecordL(6);
    gps.RefreshData();
    journal->TableChanged(gps);
    EXPECT_EQ(e[2].state, JournalState::Confirmed);
}

TEST_F(JournalTest, ASecondRunReadsTheJournalBackAndSettlesWhatCouldNotBeAnswered) {
    EditName(1, "Газель 2");
    EditName(2, "УАЗ 2");
    journal->AllDelivered();
    EditName(1, "Газель 3");
    journal->Notice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":6})");
    const std::vector<JournalEntry> before = journal->Entries();
    journal.reset();

    Open();
    const auto& after = journal->Entries();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].fields, before[0].fields);
    EXPECT_EQ(after[0].when, before[0].when);
    // Sent without an answer in the last run: its answer went to a session that is gone.
    EXPECT_EQ(after[0].state, JournalState::Unconfirmed);
    EXPECT_EQ(after[1].state, JournalState::Confirmed);
    // Still waiting: the session sends it after the next login, and its answer is taken then.
    EXPECT_EQ(after[2].state, JournalState::Waiting);
    journal->Notice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":5})");
    EXPECT_EQ(after[2].state, JournalState::Confirmed);
}

TEST_F(JournalTest, AFileThatIsNoJournalIsSetAsideAndANewJournalBegins) {
    journal.reset();
    QFile::remove(path());
    QFile junk(path());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'x'));
    junk.close();
    Open();
    EXPECT_TRUE(journal->Entries().empty());
    EditName(1, "Газель 2");
    journal.reset();
    Open();
    EXPECT_EQ(journal->Entries().size(), 1u);
    EXPECT_TRUE(QFile::exists(path() + ".damaged"));
}

}  // namespace
