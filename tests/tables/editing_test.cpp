// Editing and posting: the exact command texts and binary records, for every type code, and the
// values coming back through a record update.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "client_table_builder.h"
#include "table_file_builder.h"
#include "tables/base_client.h"
#include "tables/record_message.h"
#include "tables/regional.h"

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using namespace client_tables;

const table_files::WorkDir kWorkDir;

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// A table "t" with "n_abs", "p_d" and the given columns, holding records with identifiers 17, 18, ...
void MakeTable(TBaseClient& t, const std::vector<Column>& columns, int32_t records = 1) {
    t.NameTableS = "t";
    AddColumn(t, {"n_abs", 1, 4}, records);
    AddColumn(t, {"p_d", 3, 1}, records);
    for (const Column& c : columns) {
        AddColumn(t, c, records);
    }
    for (int32_t r = 0; r < records; ++r) {
        t.Fields[0]->Data.DataInteger[size_t(r)] = 17 + r;
    }
    t.CountRecord = records;
    t.RefreshData();
    t.First();
}

struct Sent {
    std::vector<QString> json;
    std::vector<uint32_t> commands;
    std::vector<QByteArray> records;
};

void Capture(TBaseClient& t, Sent& sent, bool binary = true) {
    t.OnNetDataSend9 = [&sent](TBaseClient*, const QString& data) { sent.json.push_back(data); };
    if (binary) {
        t.OnNetDataSend = [&sent](TBaseClient*, uint32_t command, const QByteArray& data, int32_t size) {
            EXPECT_EQ(size, data.size());
            sent.commands.push_back(command);
            sent.records.push_back(data);
        };
    }
}

QString EditCommand(const QString& fields) {
    return R"({"$c$":"database","command":"neteditdatadatabase","nametable":"t","n_abs":17,"fields":{)" +
           fields + "}}";
}

QString AddCommand(const QString& fields) {
    return R"({"$c$":"database","command":"netadddatadatabase","nametable":"t","fields":{)" + fields + "}}";
}

TDateTime March5() {
    return DaysFromDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
}

struct CodeCase {
    const char* label;
    Column column;
    std::function<void(FieldGFB&)> write;
    QString json;       // the value in the command text
    QByteArray binary;  // the value in the binary record
    QByteArray update;  // the value in a record update carrying the same value
    QString shown;      // AsString of the updated record (Russian regional settings)
};

std::vector<CodeCase> CodeCases() {
    return {
        {"Integer",
         {"v", 1, 4},
         [](FieldGFB& f) { f.SetAsInteger(-42); },
         "-42",
         LE<int32_t>(-42),
         LE<int32_t>(-42),
         "-42"},
        {"FixedText",
         {"v", 2, 10},
         [](FieldGFB& f) { f.SetAsString(R"(a"b/c)"); },
         R"("a\"b\/c")",
         Slot(R"(a"b/c)", 10),
         Slot(R"(a"b/c)", 10),
         R"(a"b/c)"},
        {"Byte", {"v", 3, 1}, [](FieldGFB& f) { f.SetAsInteger(200); }, "200", Hex("c8"), Hex("c8"), "200"},
        {"Boolean", {"v", 4, 1}, [](FieldGFB& f) { f.SetAsBoolean(true); }, "T", Hex("01"), Hex("01"), "T"},
        {"Word",
         {"v", 5, 2},
         [](FieldGFB& f) { f.SetAsInteger(65535); },
         "65535",
         Hex("ffff"),
         Hex("ffff"),
         "65535"},
        {"Float", {"v", 6, 4}, [](FieldGFB& f) { f.SetAsFloat(1.5f); }, "1.5", LE(1.5f), LE(1.5f), "1,5"},
        {"Double",
         {"v", 7, 8},
         [](FieldGFB& f) { f.SetAsString("-2,25"); },
         "-2.25",
         LE(-2.25),
         LE(-2.25),
         "-2,25"},
        {"Cardinal",
         {"v", 8, 4},
         [](FieldGFB& f) { f.SetAsCardinal(4000000000u); },
         "4000000000",
         LE<uint32_t>(4000000000u),
         LE<uint32_t>(4000000000u),
         "4000000000"},
        {"DateTime",
         {"v", 9, 8},
         [](FieldGFB& f) { f.SetAsDateTime(March5()); },
         R"("05.03.2024 14:07:09")",
         LE(March5()),
         LE(March5()),
         "05.03.2024 14:07:09"},
        {"ByteArray",
         {"v", 11, 3},
         [](FieldGFB& f) { f.SetAsArrayByte(Hex("010203")); },
         "[1,2,3]",
         Hex("010203"),
         Hex("010203"),
         "1 2 3 "},
        {"Int64",
         {"v", 13, 8},
         [](FieldGFB& f) { f.SetAsInt64(-5000000000); },
         "-5000000000",
         LE<int64_t>(-5000000000),
         LE<int64_t>(-5000000000),
         "-5000000000"},
        {"Dict16",
         {"v", 15, 2, 10},
         [](FieldGFB& f) { f.SetAsString(R"(он "к")"); },
         R"("Он \"К\"")",
         Slot(R"(Он "К")", 10),
         LE<uint16_t>(5) + Slot(R"(Он "К")", 10),
         R"(Он "К")"},
        {"Dict8",
         {"v", 16, 1, 10},
         [](FieldGFB& f) { f.SetAsString(R"(он "к")"); },
         R"("Он \"К\"")",
         Slot(R"(Он "К")", 10),
         Hex("05") + Slot(R"(Он "К")", 10),
         R"(Он "К")"},
        {"Color",
         {"v", 21, 4},
         [](FieldGFB& f) { f.SetAsInteger(255); },
         "255",
         LE<int32_t>(255),
         LE<int32_t>(255),
         "00FF"},
        {"VarText",
         {"v", 24, 4},
         [](FieldGFB& f) { f.SetAsString(R"(x\y)"); },
         R"("x\\y")",
         Slot(R"(x\y)", 4),
         LE<int32_t>(4) + LE<int32_t>(0) + Slot(R"(x\y)", 4),
         R"(x\y)"},
        {"Stamp2000",
         {"v", 25, 4},
         [](FieldGFB& f) { f.SetAsInteger(86400 + 3661); },
         "90061",
         LE<uint32_t>(90061),
         LE<uint32_t>(90061),
         "02.01.2000 01:01:01"},
    };
}

void PrintTo(const CodeCase& c, std::ostream* os) {
    *os << c.label;
}

class CodeTest : public ::testing::TestWithParam<CodeCase> {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
};

// Written in edit mode, posted as JSON and as a binary record, then the server's update of the
// same value is applied and read back.
TEST_P(CodeTest, WritePostAndReadBackAfterAnUpdate) {
    const CodeCase& c = GetParam();
    TBaseClient t;
    MakeTable(t, {c.column});
    FieldGFB& v = *t.Fields[2];
    if (c.column.code == 15) {
        v.Data.DataCardinal = {3, 5};
        v.Data.DataStringN = {"x", R"(Он "К")"};
    } else if (c.column.code == 16) {
        v.Data.DataWord = {3, 5};
        v.Data.DataStringN = {"x", R"(Он "К")"};
    }
    Sent sent;
    Capture(t, sent);

    ASSERT_TRUE(t.Edit());
    c.write(v);
    EXPECT_EQ(t.Post(), -1);
    ASSERT_EQ(sent.json.size(), 1u);
    EXPECT_EQ(sent.json[0], EditCommand(R"("v":)" + c.json));
    ASSERT_EQ(sent.records.size(), 1u);
    EXPECT_EQ(sent.commands[0], NetCommand::EditRecord);
    EXPECT_EQ(sent.records[0].toHex(),
              (Slot("t", 9) + LE<int32_t>(17) + Slot("v", 16) + c.binary + Slot("SYSUSER", 16) + Hex("00"))
                  .toHex());
    EXPECT_TRUE(t.RefreshYes);
    EXPECT_FALSE(t.RecordNE);

    // The replica changes only with the update.
    auto guard = t.Guard();
    EXPECT_NE(t.GetField("v", 1)->AsString(), c.shown);
    t.PutDataFieldPos(0, Update(0, 1).Entry("v", c.update).bytes);
    t.RefreshData();
    EXPECT_EQ(t.GetField("v", 1)->AsString(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(EveryCode, CodeTest, ::testing::ValuesIn(CodeCases()),
                         [](const auto& info) { return std::string(info.param.label); });

class EditingTest : public ::testing::Test {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    TBaseClient t;
    Sent sent;
};

TEST_F(EditingTest, AddSendsOnlyTheWrittenColumnsInColumnOrder) {
    MakeTable(t, {{"tel", 2, 20}, {"fio", 2, 40}, {"mask", 11, 3}, {"on", 4, 1}});
    Capture(t, sent);
    t.Add();
    EXPECT_FALSE(t.RefreshYes);
    t.GetFieldCurrent("on")->SetAsBoolean(false);
    t.GetFieldCurrent("fio")->SetAsString("Иванов");
    t.GetFieldCurrent("mask")->SetAsArrayByte(Hex("0102"));
    t.Post();
    ASSERT_EQ(sent.json.size(), 1u);
    EXPECT_EQ(sent.json[0], AddCommand(R"("fio":"Иванов","mask":[1,2,0],"on":F)"));
    EXPECT_EQ(sent.commands[0], NetCommand::AddRecord);
    EXPECT_EQ(sent.records[0].toHex(),
              (Slot("t", 9) + Slot("fio", 16) + Slot("Иванов", 40) + Slot("mask", 16) + Hex("010200") +
               Slot("on", 16) + Hex("00") + Slot("SYSUSER", 16) + Hex("00"))
                  .toHex());

    t.Add();
    t.UserLoc = "oper";
    t.Post();
    EXPECT_EQ(sent.json[1], AddCommand(""));
    EXPECT_EQ(sent.records[1].toHex(), (Slot("t", 9) + Slot("SYSUSER", 16) + Slot("oper", 5)).toHex());
}

TEST_F(EditingTest, NumbersAndDatesIgnoreRegionalSettings) {
    MakeTable(t, {{"f", 6, 4}, {"d", 7, 8}, {"dt", 9, 8}});
    Capture(t, sent, false);
    for (const QLocale& locale :
         {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        t.Edit();
        t.GetFieldCurrent("f")->SetAsFloat(0.1f);
        t.GetFieldCurrent("d")->SetAsFloat(1e20f);
        t.GetFieldCurrent("dt")->SetAsDateTime(March5());
        t.Post();
        EXPECT_EQ(
            sent.json.back(),
            EditCommand(R"("f":0.100000001490116,"d":1.00000002004088e+20,"dt":"05.03.2024 14:07:09")"));
    }
    t.Edit();
    t.GetFieldCurrent("d")->SetAsFloat(std::numeric_limits<float>::quiet_NaN());
    t.Post();
    EXPECT_EQ(sent.json.back(), EditCommand(R"("d":0)"));
}

TEST_F(EditingTest, EditKeepsTheDateWhileOnlyTheTimeChanges) {
    MakeTable(t, {{"dt", 9, 8}});
    t.Fields[2]->Data.DataDateTime[0] = March5();
    Capture(t, sent, false);
    t.Edit();
    t.GetFieldCurrent("dt")->SetAsTime(DaysFromDateTime(QDateTime(QDate(1899, 12, 30), QTime(8, 30, 0))));
    t.Post();
    EXPECT_EQ(sent.json.back(), EditCommand(R"("dt":"05.03.2024 08:30:00")"));
}

TEST_F(EditingTest, NothingIsSentOutsideEditModeOrAfterCancel) {
    MakeTable(t, {{"num", 1, 4}});
    Capture(t, sent);
    t.GetFieldCurrent("num")->SetAsInteger(5);
    t.RefreshYes = false;
    EXPECT_EQ(t.Post(), -1);
    EXPECT_TRUE(sent.json.empty());
    EXPECT_TRUE(t.RefreshYes);

    t.Edit();
    t.GetFieldCurrent("num")->SetAsInteger(5);
    t.Cancel();
    EXPECT_TRUE(t.RefreshYes);
    t.Edit();
    t.Post();
    EXPECT_EQ(sent.json.back(), EditCommand(""));
}

TEST_F(EditingTest, EditPostsTheCurrentRecordsIdentifier) {
    MakeTable(t, {{"num", 1, 4}}, 3);
    Capture(t, sent, false);
    t.SetRecordIndex(3);
    t.Edit();
    EXPECT_EQ(t.BEdit, 19);
    t.GetFieldCurrent("num")->SetAsInteger(7);
    EXPECT_EQ(t.GetFieldCurrent("num")->AsInteger(), 7);
    t.Post();
    EXPECT_EQ(
        sent.json.back(),
        R"({"$c$":"database","command":"neteditdatadatabase","nametable":"t","n_abs":19,"fields":{"num":7}})");
}

TEST_F(EditingTest, SlaveColumnTakesTheMastersCurrentValue) {
    TBaseClient master;
    MakeTable(master, {}, 2);
    master.SetRecordIndex(2);
    MakeTable(t, {{"grp", 1, 4}, {"name", 2, 10}});
    t.SetSlaveField("grp");
    t.SetMasterField("n_abs");
    t.SetMasterTable(&master);
    Capture(t, sent, false);
    t.Add();
    t.GetFieldCurrent("name")->SetAsString("a");
    t.Post();
    EXPECT_EQ(sent.json.back(), AddCommand(R"("grp":18,"name":"a")"));
}

TEST_F(EditingTest, DeleteSendsTheQuotedIdentifierAndChangesNothingLocally) {
    MakeTable(t, {}, 2);
    Capture(t, sent);
    t.UserLoc = "op";
    t.SetRecordIndex(2);
    t.DeleteRecordCurrent();
    ASSERT_EQ(sent.json.size(), 1u);
    EXPECT_EQ(sent.json[0],
              R"({"$c$":"database","command":"netdeletedatadatabase","nametable":"t","n_abs":"18",})");
    EXPECT_EQ(sent.commands[0], NetCommand::DeleteRecord);
    EXPECT_EQ(sent.records[0].toHex(), (Slot("t", 9) + LE<int32_t>(18) + Slot("op", 3)).toHex());
    t.RefreshData();
    EXPECT_EQ(t.Count(), 2);

    // Without a current record there is nothing to delete.
    TBaseClient empty;
    MakeTable(empty, {}, 0);
    Capture(empty, sent);
    empty.DeleteRecordCurrent();
    EXPECT_EQ(sent.json.size(), 1u);
}

TEST_F(EditingTest, DeletionFromTheServerSetsOnlyTheDeletedBit) {
    MakeTable(t, {}, 2);
    t.Fields[1]->Data.DataByte[1] = 6;
    EXPECT_TRUE(t.DeletedRecordL(18));
    EXPECT_EQ(t.Fields[1]->Data.DataByte[1], 7);
    EXPECT_FALSE(t.Fields[1]->Update);
    EXPECT_FALSE(t.DeletedRecordL(99));
    EXPECT_TRUE(t.DeletedRecord(17));
    EXPECT_EQ(t.Fields[1]->Data.DataByte[0], 1);
    EXPECT_TRUE(t.Fields[1]->Update);
    t.RefreshData();
    EXPECT_EQ(t.Count(), 0);
}

TEST_F(EditingTest, DictionaryEntryDeletionIsAThirtyByteRecord) {
    MakeTable(t, {{"k15", 15, 2, 20}, {"k16", 16, 1, 30}});
    Capture(t, sent);
    t.DeleteSprRecord("k15", 0x1234);
    t.DeleteSprRecord("k16", 0x1234);
    ASSERT_EQ(sent.records.size(), 2u);
    EXPECT_EQ(sent.commands[0], NetCommand::DeleteSprEntry);
    EXPECT_EQ(sent.records[0].toHex(),
              (Slot("t", 9) + Slot("k15", 16) + Hex("0f1403") + Hex("3412")).toHex());
    EXPECT_EQ(sent.records[1].toHex(),
              (Slot("t", 9) + Slot("k16", 16) + Hex("101e03") + Hex("34") + Hex("00")).toHex());
    EXPECT_TRUE(sent.json.empty());
}

}  // namespace
