// Record updates and dictionary changes from the server, including short and inconsistent
// messages, and the view read by one thread while another applies updates.
#include <gtest/gtest.h>

#include <QLocale>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "client_table_builder.h"
#include "table_file_builder.h"
#include "tables/base_client.h"
#include "tables/record_message.h"

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using namespace client_tables;

const table_files::WorkDir kWorkDir;

// Columns: n_abs, p_d, name (2, Size 10), k15 (15, SprSize 8), k16 (16, SprSize 8), txt (24), num (1);
// identifiers 1, 2, ...
void MakeTable(TBaseClient& t, int32_t records) {
    const Column columns[] = {{"n_abs", 1, 4},   {"p_d", 3, 1},  {"name", 2, 10}, {"k15", 15, 2, 8},
                              {"k16", 16, 1, 8}, {"txt", 24, 4}, {"num", 1, 4}};
    MakeBlankTable(t, columns, records);
    for (int32_t r = 0; r < records; ++r) {
        t.Fields[0]->Data.DataInteger[size_t(r)] = r + 1;
    }
    t.RefreshData();
}

QString Text(TBaseClient& t, const QString& column, int32_t pos) {
    auto guard = t.Guard();
    FieldGFB* f = t.GetField(column, pos);
    return f ? f->AsString() : QString("no column");
}

class NetDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        MakeTable(t, 2);
    }
    TBaseClient t;
};

TEST_F(NetDataTest, UpdateBeyondTheRecordsAppendsOne) {
    t.PutDataFieldPos(2, Update(2, 3).Entry("n_abs", LE<int32_t>(30)).Entry("name", Slot("новая", 10)).bytes);
    EXPECT_EQ(t.CountRecord, 3);
    for (const auto& f : t.Fields) {
        EXPECT_EQ(f->RecordArrayLength(), 3) << f->name.toStdString();
        EXPECT_EQ(f->Data.DataSelected.size(), 3u) << f->name.toStdString();
    }
    t.RefreshData();
    ASSERT_EQ(t.Count(), 3);
    EXPECT_EQ(Text(t, "n_abs", 3), "30");
    EXPECT_EQ(Text(t, "name", 3), "новая");
    EXPECT_EQ(Text(t, "num", 3), "0");
    EXPECT_EQ(t.Fields[5]->Data.DataInteger[2], -1);  // no text, rather than the blob's first one

    t.PutDataFieldPos(3, Update(3, 4).Entry("n_abs", LE<int32_t>(40)).Entry("p_d", "\x01").bytes);
    t.RefreshData();
    EXPECT_EQ(t.CountRecord, 4);
    EXPECT_EQ(t.Count(), 3);
}

TEST_F(NetDataTest, SmallerCountKeepsTheArraysButNarrowsTheView) {
    t.PutDataFieldPos(0, Update(0, 1).Entry("num", LE<int32_t>(5)).bytes);
    EXPECT_EQ(t.CountRecord, 1);
    EXPECT_EQ(t.Fields[0]->RecordArrayLength(), 2);
    t.RefreshData();
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(Text(t, "num", 1), "5");
}

TEST_F(NetDataTest, DictionaryValuesAddAndRenameEntries) {
    FieldGFB& k15 = *t.Fields[3];
    k15.Data.DataCardinal = {4};
    k15.Data.DataStringN = {"старое"};
    k15.Data.DataInteger.assign(65536, 0);
    t.PutDataFieldPos(0, Update(0, 2).Entry("k15", LE<uint16_t>(9) + Slot("Новый", 8)).bytes);
    t.PutDataFieldPos(1, Update(1, 2).Entry("k15", LE<uint16_t>(4) + Slot("другое", 8)).bytes);
    t.PutDataFieldPos(1, Update(1, 2).Entry("k16", "\x07" + Slot("семь", 8)).bytes);
    t.PutDataFieldPos(0, Update(0, 2).Entry("k16", QByteArray(1, '\0') + Slot("пусто", 8)).bytes);
    EXPECT_EQ(Text(t, "k15", 1), "Новый");
    EXPECT_EQ(Text(t, "k15", 2), "другое");
    EXPECT_EQ(k15.GetSprCount(), 2);
    EXPECT_EQ(k15.Data.DataInteger[9], 1);
    EXPECT_EQ(k15.Data.DataInteger[4], 1);
    EXPECT_EQ(Text(t, "k16", 2), "семь");
    EXPECT_EQ(Text(t, "k16", 1), "");
    EXPECT_EQ(t.Fields[4]->GetSprCount(), 1);  // key 0 adds no entry
}

TEST_F(NetDataTest, VarTextWithoutOffsetReadsNoText) {
    t.PutDataFieldPos(0, Update(0, 2)
                             .Entry("txt", LE<int32_t>(6) + LE<int32_t>(0) + Slot("abcde", 6))
                             .Entry("num", LE(1))
                             .bytes);
    EXPECT_EQ(Text(t, "txt", 1), "abcde");
    t.PutDataFieldPos(1,
                      Update(1, 2).Entry("txt", LE<int32_t>(6) + LE<int32_t>(-1)).Entry("num", LE(2)).bytes);
    EXPECT_EQ(t.Fields[5]->Data.DataInteger[1], -1);
    EXPECT_EQ(Text(t, "txt", 2), "");
    EXPECT_EQ(Text(t, "num", 2), "2");
    EXPECT_EQ(Text(t, "txt", 1), "abcde");
}

TEST_F(NetDataTest, UnloadedColumnsAreSkippedAndWatchedNamesReported) {
    t.Fields[2]->Load = false;
    t.FieldRefreshEvent = QStringList{"num", "name"};
    t.PutDataFieldPos(
        0, Update(0, 2).Entry("name", Slot("x", 10)).Entry("n_abs", LE(9)).Entry("num", LE(3)).bytes);
    EXPECT_EQ(t.FieldRefresh, (QStringList{"name", "num"}));
    EXPECT_EQ(Text(t, "name", 1), "");
    EXPECT_EQ(Text(t, "n_abs", 1), "9");
    t.PutDataFieldPos(0, Update(0, 2).bytes);
    EXPECT_TRUE(t.FieldRefresh.isEmpty());
}

// Every prefix of an update: only complete entries change the table, and nothing reads past the end.
TEST_F(NetDataTest, ShortUpdatesApplyOnlyTheirCompleteEntries) {
    const Update full = Update(1, 2)
                            .Entry("num", LE(7))
                            .Entry("k15", LE<uint16_t>(3) + Slot("три", 8))
                            .Entry("txt", LE<int32_t>(4) + LE<int32_t>(0) + Slot("abc", 4))
                            .Entry("name", Slot("имя", 10));
    const qsizetype ends[] = {17 + 20, 17 + 20 + 26, 17 + 20 + 26 + 28, full.bytes.size()};
    for (qsizetype len = 0; len <= full.bytes.size(); ++len) {
        TBaseClient u;
        MakeTable(u, 2);
        u.PutDataFieldPos(1, full.bytes.left(len));
        EXPECT_EQ(u.CountRecord, 2);
        EXPECT_EQ(Text(u, "num", 2), len >= ends[0] ? "7" : "0") << len;
        EXPECT_EQ(Text(u, "k15", 2), len >= ends[1] ? "три" : "") << len;
        EXPECT_EQ(Text(u, "txt", 2), len >= ends[2] ? "abc" : "") << len;
        EXPECT_EQ(Text(u, "name", 2), len >= ends[3] ? "имя" : "") << len;
    }
}

struct BadUpdate {
    const char* label;
    int32_t pos;
    QByteArray bytes;
    int32_t countAfter;
};

void PrintTo(const BadUpdate& c, std::ostream* os) {
    *os << c.label;
}

class BadUpdateTest : public NetDataTest, public ::testing::WithParamInterface<BadUpdate> {};

// The first entry (num := 7) is complete; whatever is wrong comes after it or in the header.
TEST_P(BadUpdateTest, ChangesNothingBeyondTheFault) {
    const BadUpdate& c = GetParam();
    t.PutDataFieldPos(c.pos, c.bytes);
    EXPECT_EQ(t.CountRecord, c.countAfter);
    EXPECT_EQ(Text(t, "name", 1), "");
    EXPECT_EQ(Text(t, "txt", 1), "");
    EXPECT_EQ(t.Fields[3]->GetSprCount(), 0);
    EXPECT_LE(t.Fields[5]->Data.DataByte.size(), 16u);
}

QByteArray Num7() {
    return Update(0, 2).Entry("num", LE(7)).bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadUpdateTest,
    ::testing::Values(
        BadUpdate{"PosBeyondCount", 2, Update(2, 2).Entry("name", Slot("x", 10)).bytes, 2},
        BadUpdate{"NegativePos", -1, Update(0, 2).Entry("name", Slot("x", 10)).bytes, 2},
        BadUpdate{"NegativeCount", 0, Update(0, -1).Entry("name", Slot("x", 10)).bytes, 2},
        BadUpdate{"CountBeyondCap", 0, Update(0, 20'000'000).Entry("name", Slot("x", 10)).bytes, 2},
        BadUpdate{"NameLongerThanItsSlot", 0, Num7() + "\x10" + Slot("name", 15) + Slot("x", 10), 2},
        BadUpdate{"DictionaryTextOverrunsItsSlot", 0,
                  Num7() + Slot("k15", 16) + LE<uint16_t>(3) + "\x08" + QByteArray(7, 'a') +
                      Slot("name", 16) + Slot("x", 10),
                  2},
        BadUpdate{"NegativeBlobLength", 0,
                  Num7() + Slot("txt", 16) + LE<int32_t>(-4) + LE<int32_t>(0) + "\x01x", 2},
        BadUpdate{"BlobBeyondCap", 0,
                  Num7() + Slot("txt", 16) + LE<int32_t>(0x7fffffff) + LE<int32_t>(0) + "\x01x", 2},
        BadUpdate{"TextBeyondTheMessage", 0,
                  Num7() + Slot("txt", 16) + LE<int32_t>(16) + LE<int32_t>(0) + "\x09" + "abc", 2},
        BadUpdate{"TextBeyondTheBlob", 0,
                  Num7() + Slot("txt", 16) + LE<int32_t>(3) + LE<int32_t>(0) + Slot("abcdef", 7), 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(NetDataTest, DictionaryMessagesAddChangeAndDeleteEntries) {
    auto message = [](const char* column, uint8_t action, uint16_t key, const QString& text) {
        return QByteArray(4, '\0') + LE<uint32_t>(NetCommand::SprChange) + QByteArray(9, '\0') +
               Slot("t", 9) + Slot(column, 16) + QByteArray(1, '\0') + char(text.size() + 1) + char(action) +
               LE(key) + Slot(text, int(text.size()) + 1);
    };
    auto apply = [this](const QByteArray& m) { t.NetData(m, int32_t(m.size())); };
    FieldGFB& k15 = *t.Fields[3];
    FieldGFB& k16 = *t.Fields[4];
    apply(message("k15", 1, 0x1234, "один"));
    apply(message("k15", 1, 7, "семь"));
    apply(message("k16", 1, 0x0105, "пять"));
    apply(message("k15", 2, 7, "СЕМЬ"));
    EXPECT_EQ(k15.Data.DataCardinal, (ColumnArray<uint32_t>{0x1234, 7}));
    EXPECT_EQ(k15.Data.DataStringN, (std::vector<QString>{"один", "СЕМЬ"}));
    EXPECT_EQ(k16.Data.DataWord, (ColumnArray<uint16_t>{5}));
    apply(message("k15", 3, 0x1234, ""));
    EXPECT_EQ(k15.Data.DataCardinal, (ColumnArray<uint32_t>{7}));
    EXPECT_EQ(k15.Data.DataStringN, (std::vector<QString>{"СЕМЬ"}));

    // Unknown key, unknown column, another command, a short message, a text past the end, a
    // Size argument smaller than the message: nothing changes.
    apply(message("k15", 3, 99, ""));
    apply(message("nope", 1, 1, "x"));
    QByteArray other = message("k15", 1, 1, "x");
    other[4] = 0x4c;
    apply(other);
    apply(message("k15", 1, 1, "x").left(46));
    apply(message("k15", 1, 1, "xyz").left(50));
    const QByteArray m = message("k15", 1, 1, "x");
    t.NetData(m, int32_t(m.size()) - 1);
    t.NetData(m, 1 << 30);
    EXPECT_EQ(k15.Data.DataCardinal, (ColumnArray<uint32_t>{7, 1}));
}

TEST_F(NetDataTest, CopyFromRecordFillsTheBuffersOfTheLaterColumns) {
    TBaseClient c;
    c.NameTableS = "c";
    for (int i = 1; i <= 8; ++i) {
        const QString name = i == 1 ? QString("n_abs") : i == 2 ? QString("p_d") : QString("c%1").arg(i);
        FieldGFB& f = AddColumn(c, {name, uint8_t(i == 2 ? 3 : i == 8 ? 24 : 1), i == 2 ? 1 : 4}, 2);
        if (f.TypeField == 1) {
            f.Data.DataInteger = {i * 10, i * 10 + 1};
        }
    }
    c.Fields[7]->Data.DataInteger = {-1, 0};
    c.Fields[7]->Data.DataByte = {4, 'n', 'o', 't', 'e'};
    c.CountRecord = 2;
    QString sent;
    c.OnNetDataSend9 = [&sent](TBaseClient*, const QString& data) { sent = data; };
    c.CopyFromRecord(11);
    c.Add();
    c.Post();
    EXPECT_EQ(
        sent,
        R"({"$c$":"database","command":"netadddatadatabase","nametable":"c","fields":{"c7":71,"c8":"note"}})");
    c.CopyFromRecord(99);
    c.Add();
    c.Post();
    EXPECT_EQ(sent, R"({"$c$":"database","command":"netadddatadatabase","nametable":"c","fields":{}})");
}

TEST_F(NetDataTest, PortsAndBinaryRecordsForTheHost) {
    t.NetClient = QStringList{"9010", "x", "-1"};
    stru_ia ports{5};
    t.GetClientPort(ports);
    EXPECT_EQ(ports, (stru_ia{9010, 0, -1}));

    t.SendToNet(NetCommand::AddRecord, "abc");
    std::vector<std::pair<uint32_t, QByteArray>> records;
    t.OnNetDataSend = [&records](TBaseClient* sender, uint32_t command, const QByteArray& data,
                                 int32_t size) {
        EXPECT_EQ(size, data.size());
        EXPECT_NE(sender, nullptr);
        records.emplace_back(command, data);
    };
    t.SendToNet(NetCommand::AddRecord, "abc");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].first, NetCommand::AddRecord);
    EXPECT_EQ(records[0].second, "abc");
}

// The session thread applies updates while the user interface walks the (sorted) view and reads
// values; a reader holding the table's guard sees each record whole: its name always matches its
// identifier.
TEST(NetDataThreads, ReadersSeeWholeRecordsWhileUpdatesArrive) {
    TBaseClient t;
    MakeTable(t, 0);
    t.SetSort("name");
    t.SetSorted(true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int32_t i = 0; i < 1200; ++i) {
            const int32_t pos = i < 300 ? i : i % 300;
            const int32_t id = i;
            t.PutDataFieldPos(pos, Update(pos, std::max(pos + 1, std::min(i + 1, 300)))
                                       .Entry("n_abs", LE(id))
                                       .Entry("p_d", QByteArray(1, char(i % 7 == 0 ? 1 : 0)))
                                       .Entry("name", Slot(QString("r%1").arg(id), 10))
                                       .bytes);
            t.RefreshYes = true;
            t.RefreshData();
        }
        done = true;
    });
    int walks = 0;
    int torn = 0;
    while (!done || walks == 0) {
        {
            auto guard = t.Guard();
            for (int32_t pos = 1; pos <= t.Count(); ++pos) {
                const int32_t id = t.GetFieldNumber(1, pos)->AsInteger();
                torn += t.GetFieldNumber(3, pos)->AsString() == QString("r%1").arg(id) ? 0 : 1;
            }
            ++walks;
        }
        // The lock is not fair: a reader that takes it again at once can starve the writer
        // for minutes on a busy machine. A reader such as a grid walks now and then.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(t.CountRecord, 300);
}

}  // namespace
