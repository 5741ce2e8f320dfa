// Export of a vehicles table and its import back: the check of every line, and the run that sends
// the valid lines one at a time as the server confirms them.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>
#include <map>

#include "exchange/cell_values.h"
#include "exchange/import_check.h"
#include "exchange/import_run.h"
#include "exchange/sheet_file.h"
#include "exchange/table_export.h"
#include "infra/json_text.h"
#include "tables/regional.h"
#include "tests/tables/configured_tables.h"

namespace {

using configured_tables::Record;

class ImportTest : public testing::Test {
  protected:
    void SetUp() override {
        QDir::setCurrent(dir.path());
        gps.NameTableS = QStringLiteral("gps");
        gpeople.NameTableS = QStringLiteral("gpeople");
        objects.NameTableS = QStringLiteral("object");
        for (TBaseClient* t : {&gps, &gpeople}) {
            t->OnNetDataSend9 = [this](TBaseClient*, const QString& command) { sent << command; };
        }
        configured_tables::Fill(&objects, {{{"n_abs", 1}, {"number", 77}, {"name", "Склад"}}});
    }

    SheetRead RoundTrip(TBaseClient& table, const std::vector<int32_t>& positions, const QString& name) {
        const QString path = dir.filePath(name);
        EXPECT_EQ(ExportRecords(table, positions, path), QString());
        return ReadSheetFile(path);
    }

    std::vector<ImportLine> Check(TBaseClient& table, const Sheet& sheet) {
        return CheckLines(table, &objects, *ImportProfileOf(table.NameTableS), sheet,
                          MapColumns(table, sheet.header));
    }

    QTemporaryDir dir;
    TBaseClient gps;
    TBaseClient gpeople;
    TBaseClient objects;
    QStringList sent;
};

const std::vector<Record> kVehicles = {
    {{"n_abs", 5},
     {"number", "101"},
     {"name", "Газель; белая"},
     {"imei", 860000000000001LL},
     {"sim", "+7 900 1"},
     {"lat", 55.75},
     {"dt_last", 45323.4375},
     {"active", 1},
     {"hexid", 255},
     {"gosnum", "А001АА96"}},
    {{"n_abs", 6}, {"number", "102"}, {"name", "УАЗ"}, {"imei", 860000000000002LL}},
    {{"n_abs", 7}, {"number", "103"}, {"name", "Снятый"}, {"p_d", 1}}};

TEST_F(ImportTest, ExportedRowsComeBackAsTheSameValuesInCsvAndXlsx) {
    configured_tables::Fill(&gps, kVehicles);
    for (const char* name : {"gps.csv", "gps.xlsx"}) {
        const SheetRead read = RoundTrip(gps, {2, 1}, QString::fromLatin1(name));
        ASSERT_TRUE(read.ok()) << read.error.toStdString();
        EXPECT_TRUE(read.sheet.header.contains("Гос. номер"));
        EXPECT_TRUE(read.sheet.header.contains("n_abs"));
        ASSERT_EQ(read.sheet.lines.size(), 2u) << name;
        // Columns the server keeps (identifier, flags, stamps) are not imported.
        const QStringList mapping = MapColumns(gps, read.sheet.header);
        EXPECT_FALSE(mapping.contains("n_abs"));
        EXPECT_TRUE(mapping.contains("gosnum"));

        // Into a table that no longer holds them, they import as they were, in the exported order.
        TBaseClient empty;
        empty.NameTableS = QStringLiteral("gps");
        configured_tables::Fill(&empty, {{{"n_abs", 1}, {"name", "Другое"}}});
        empty.OnNetDataSend9 = [this](TBaseClient*, const QString& command) { sent << command; };
        const std::vector<ImportLine> lines = Check(empty, read.sheet);
        ASSERT_TRUE(lines[0].Valid() && lines[1].Valid()) << lines[0].errors.join(';').toStdString();
        sent.clear();
        ImportRun run(empty, lines, std::chrono::seconds(5));
        const auto now = ImportRun::Clock::now();
        run.Step(now);
        run.TakeNotice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":8})");
        run.Step(now);
        ASSERT_EQ(sent.size(), 2);
        EXPECT_TRUE(sent[0].contains(R"("name":"УАЗ")")) << sent[0].toStdString();
        const QString fields = GetJSONValue(sent[1], "fields");
        for (const QString& pair :
             {QStringLiteral("\"name\":\"Газель; белая\""), QStringLiteral("\"imei\":860000000000001"),
              QStringLiteral("\"sim\":\"+7 900 1\""), QStringLiteral("\"active\":T"),
              QStringLiteral("\"hexid\":255"), QStringLiteral("\"gosnum\":\"А001АА96\""),
              QStringLiteral("\"lat\":") + QLocale().toString(55.75)}) {
            EXPECT_TRUE(fields.contains(pair))
                << name << ": " << pair.toStdString() << " in " << fields.toStdString();
        }
        EXPECT_FALSE(fields.contains("n_abs"));
    }
}

TEST_F(ImportTest, AnExportWhileARecordIsEditedWritesWhatTheRecordsHold) {
    configured_tables::Fill(&gps, kVehicles);
    {
        const auto guard = gps.Guard();
        ASSERT_TRUE(gps.GotoAbs(5));
        ASSERT_TRUE(gps.Edit());
        gps.FindColumn("type", true)->SetAsInteger(42);
        gps.FindColumn("mapcolor", true)->SetAsCardinal(7);
        gps.FindColumn("dt_last", true)->SetAsDateTime(1000);
        gps.FindColumn("dt_reg", true)->SetAsDateTime(45000);
    }
    // Per exported line (records 5 and 6): what each column holds, an empty cell counting as 0.
    const std::map<QString, std::pair<double, double>> stored = {{"type", {0, 0}},
                                                                 {"mapcolor", {0, 0}},
                                                                 {"dt_last", {45323.4375, 0}},
                                                                 {"dt_reg", {kDays2000, kDays2000}},
                                                                 {"lat", {55.75, 0}}};
    for (const char* name : {"gps.csv", "gps.xlsx"}) {
        const SheetRead read = RoundTrip(gps, {1, 2}, QString::fromLatin1(name));
        ASSERT_TRUE(read.ok()) << read.error.toStdString();
        ASSERT_EQ(read.sheet.lines.size(), 2u);
        const QStringList mapping = MapColumns(gps, read.sheet.header);
        for (const auto& [column, values] : stored) {
            const qsizetype at = mapping.indexOf(column);
            ASSERT_GE(at, 0) << column.toStdString();
            for (size_t line = 0; line < 2; ++line) {
                CellValue value;
                const QString cell = read.sheet.lines[line].cells.value(at);
                ASSERT_EQ(ParseCell(*gps.FindColumn(column, true), cell, value), QString());
                const double number =
                    value.kind == CellValue::Kind::Integer ? double(value.integer) : value.real;
                EXPECT_DOUBLE_EQ(number, line == 0 ? values.first : values.second)
                    << name << ": " << column.toStdString() << " «" << cell.toStdString() << "»";
            }
        }
    }
    gps.Cancel();
}

TEST_F(ImportTest, EveryLineIsCheckedAndOnlyValidOnesWouldBeSent) {
    configured_tables::Fill(&gps, kVehicles);
    Sheet sheet;
    sheet.header = {"Наименование", "IMEI", "Номер SIM", "lat", "sensors", "лишний"};
    sheet.lines = {{2, {"Новая", "860000000000009", "8 (900) 555", "1,5", "1 2 3", "x"}},
                   {3, {"", "", "", "", "", ""}},
                   {4, {"Вторая", "86000000000000x", "", "юг", "1 256", ""}},
                   {5, {"Третья", "860000000000001", "+7 900 1", "", "", ""}},
                   {6, {"Четвёртая", "860000000000009", "8900555", "", "", ""}},
                   {7, {"Удалённая", "", "", "", "", ""}}};
    const std::vector<ImportLine> lines = Check(gps, sheet);
    const std::vector<std::pair<int, QStringList>> expected = {
        {2, {}},
        {3, {"Не заполнено: Наименование"}},
        {4, {"не число (imei)", "не число (lat)", "не ряд чисел"}},
        {5,
         {"IMEI 860000000000001 уже есть у ТС «Газель; белая» (запись 5)",
          "Номер SIM +7 900 1 уже есть у ТС"}},
        {6, {"IMEI 860000000000009 повторяет строку 2", "Номер SIM 8900555 повторяет строку 2"}},
        {7, {}}};
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].line, expected[i].first);
        EXPECT_EQ(lines[i].errors.size(), expected[i].second.size())
            << lines[i].errors.join(" | ").toStdString();
        for (const QString& part : expected[i].second) {
            EXPECT_TRUE(lines[i].errors.join(" | ").contains(part))
                << part.toStdString() << " in " << lines[i].errors.join(" | ").toStdString();
        }
    }
    EXPECT_EQ(CheckMapping(*ImportProfileOf("gps"), MapColumns(gps, sheet.header)), QString());
    EXPECT_EQ(CheckMapping(*ImportProfileOf("gps"), {"imei", "imei"}),
              "Столбец «IMEI» выбран для двух столбцов файла");
    EXPECT_EQ(CheckMapping(*ImportProfileOf("gps"), {"imei"}),
              "Не выбран обязательный столбец «Наименование»");
    EXPECT_FALSE(ImportProfileOf("groupgps"));
}

TEST_F(ImportTest, AStationaryTerminalNeedsAnExistingObjectAsThePageDemands) {
    configured_tables::Fill(&gpeople, {{{"n_abs", 1}, {"fio", "Петров"}, {"tel", "+7 (900) 111-22-33"}}});
    Sheet sheet;
    sheet.header = {"ФИО", "Телефон", "rez", "Номер объекта"};
    sheet.lines = {{2, {"Иванов", "89001112234", "1", "77"}},
                   {3, {"Сидоров", "", "1", "78"}},
                   {4, {"Кузнецов", "", "1", "0"}},
                   {5, {"Смирнов", "79001112233", "2", ""}}};
    const std::vector<ImportLine> lines = Check(gpeople, sheet);
    EXPECT_TRUE(lines[0].Valid()) << lines[0].errors.join(';').toStdString();
    EXPECT_EQ(lines[1].errors, QStringList{"Не введен объект в стационарном режиме"});
    EXPECT_EQ(lines[2].errors, QStringList{"Не введен объект в стационарном режиме"});
    ASSERT_EQ(lines[3].errors.size(), 1);
    EXPECT_TRUE(lines[3].errors[0].startsWith("Телефон 79001112233 уже есть у МТК «Петров»"));
}

class ImportRunTest : public ImportTest {
  protected:
    std::vector<ImportLine> ThreeLines() {
        configured_tables::Fill(&gps, {{{"n_abs", 1}, {"name", "Было"}}});
        Sheet sheet;
        sheet.header = {"Наименование"};
        sheet.lines = {{2, {"Один"}}, {3, {""}}, {4, {"Два"}}, {5, {"Три"}}};
        return Check(gps, sheet);
    }
    const ImportRun::Clock::time_point t0 = ImportRun::Clock::now();
};

TEST_F(ImportRunTest, SendsTheNextLineOnlyOnceTheServerSettledTheLastOne) {
    ImportRun run(gps, ThreeLines(), std::chrono::seconds(10));
    EXPECT_EQ(run.Results().size(), 3u);
    EXPECT_TRUE(run.Step(t0));
    EXPECT_TRUE(run.Step(t0 + std::chrono::seconds(1)));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].contains("Один"));
    // Notices of other tables or other kinds are not the run's.
    EXPECT_FALSE(run.TakeNotice(R"({"$c$":"netyesadddatadatabase","nametable":"gpeople","n_abs":4})"));
    EXPECT_FALSE(run.TakeNotice(R"({"$c$":"getfileok","name":"a.jpg"})"));
    EXPECT_TRUE(run.TakeNotice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":40})"));
    run.Step(t0);
    EXPECT_TRUE(run.TakeNotice(R"({"$c$":"neterrordatadatabase","nametable":"gps","error":"bad value"})"));
    run.Step(t0);
    EXPECT_TRUE(run.TakeNotice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":41})"));
    EXPECT_FALSE(run.Step(t0));
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(sent.size(), 3);
    const auto& r = run.Results();
    EXPECT_EQ(r[0].line, 2);
    EXPECT_EQ(r[0].state, ImportRun::State::Confirmed);
    EXPECT_EQ(r[0].n_abs, 40);
    EXPECT_EQ(r[1].line, 4);
    EXPECT_EQ(r[1].state, ImportRun::State::Refused);
    EXPECT_EQ(r[1].note, "bad value");
    EXPECT_EQ(r[2].state, ImportRun::State::Confirmed);
}

TEST_F(ImportRunTest, ALineWithoutAnAnswerEndsTheRunAndNothingIsSentBehindIt) {
    ImportRun run(gps, ThreeLines(), std::chrono::seconds(10));
    run.Step(t0);
    EXPECT_TRUE(run.Step(t0 + std::chrono::seconds(9)));
    EXPECT_FALSE(run.Step(t0 + std::chrono::seconds(10)));
    EXPECT_EQ(sent.size(), 1);
    EXPECT_EQ(run.Count(ImportRun::State::Unconfirmed), 1);
    EXPECT_EQ(run.Count(ImportRun::State::NotSent), 2);
    // A late confirmation no longer belongs to the run.
    EXPECT_FALSE(run.TakeNotice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":40})"));
}

TEST_F(ImportRunTest, StopWaitsForTheLineInFlightAndSendsNoMore) {
    ImportRun run(gps, ThreeLines(), std::chrono::seconds(10));
    run.Step(t0);
    run.Stop();
    EXPECT_FALSE(run.Finished());
    EXPECT_TRUE(run.TakeNotice(R"({"$c$":"netyesadddatadatabase","nametable":"gps","n_abs":40})"));
    EXPECT_FALSE(run.Step(t0));
    EXPECT_EQ(sent.size(), 1);
    EXPECT_EQ(run.Count(ImportRun::State::Confirmed), 1);
    EXPECT_EQ(run.Count(ImportRun::State::NotSent), 2);
    EXPECT_EQ(run.Settled(), 3);
}

TEST_F(ImportRunTest, WaitsWhileTheOperatorEditsTheSameTable) {
    const std::vector<ImportLine> lines = ThreeLines();
    gps.Add();
    ImportRun run(gps, lines, std::chrono::seconds(10));
    EXPECT_TRUE(run.Step(t0));
    EXPECT_TRUE(sent.isEmpty());
    gps.Cancel();
    run.Step(t0);
    EXPECT_EQ(sent.size(), 1);
}

}  // namespace
