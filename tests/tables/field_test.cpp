// Typed values of a column: every type code read back from a loaded table file, the conversion
// rules of the writers, the edit buffer's pending mark, dictionaries and byte arrays.
#include <gtest/gtest.h>

#include <QLocale>
#include <functional>

#include "table_file_builder.h"
#include "tables/base_client.h"
#include "tables/table_error.h"

namespace {

const table_files::WorkDir kWorkDir;

class FieldTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void SetUp() override {
        t.NameTableS = QStringLiteral("gps");
        ASSERT_TRUE(WriteTableFileTo(QStringLiteral("temp/gps.bin"), table_files::EveryCodeTable(), false));
        ASSERT_TRUE(t.LoadFromFile(QStringLiteral("temp/gps.bin")));
    }

    FieldGFB& Col(const char* name) { return *t.FindColumn(QString::fromUtf8(name), false); }
    FieldGFB& At(const char* name, int32_t rec) {
        t.RecNoTemp = rec;
        return Col(name);
    }
    void BeginEdit() {
        t.RecordNE = true;
        t.EditRecord = true;
        t.RecNoTemp = 1;
    }

    TBaseClient t;
};

TEST_F(FieldTest, AsStringShowsEveryCode) {
    const struct {
        const char* column;
        int32_t rec;
        QString text;
    } cases[] = {
        {"n_abs", 1, "17"},
        {"p_d", 2, "6"},
        {"fio", 1, "Иванов"},
        {"fio", 2, "12"},
        {"b", 1, "T"},
        {"b", 2, "F"},
        {"w", 1, "65535"},
        {"f", 1, "1,5"},
        {"f", 2, "-2"},
        {"d", 2, "-0,5"},
        {"r_dt", 1, "02.01.2000 00:00:00"},
        {"dt", 1, "01.01.2000 12:00:00"},
        {"dt", 2, ""},
        {"arr", 1, "1 2 3 "},
        {"arr", 2, "255 0 128 "},
        {"i64", 1, "-5000000000"},
        {"s15", 1, "Два"},
        {"s15", 2, ""},
        {"s16", 1, "nine"},
        {"s16", 2, ""},
        {"color", 1, "00FF"},
        {"color", 2, "FFFFFFFF"},
        {"txt", 1, "Текст \"в кавычках\""},
        {"txt", 2, ""},
        {"st", 1, "02.01.2000 01:00:00"},
        {"none", 1, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(At(c.column, c.rec).AsString(), c.text) << c.column << " record " << c.rec;
    }
    Col("r_dt").name = QStringLiteral("c");
    EXPECT_EQ(At("c", 1).AsString(), "86400");
}

TEST_F(FieldTest, NumericReadersConvertByCode) {
    const struct {
        const char* column;
        int32_t rec;
        int32_t asInteger;
        int64_t asInt64;
        float asFloat;
        bool asBoolean;
    } cases[] = {
        {"n_abs", 1, 17, 17, 17, false},
        {"fio", 2, 12, 12, 12, false},
        {"b", 1, 1, 1, 1, true},
        {"w", 1, 65535, 65535, 65535, false},
        {"f", 2, -2, -2, -2, false},
        {"d", 1, 2, 2, 2.25f, false},
        {"r_dt", 2, int32_t(4000000000u), 4000000000, 4e9f, false},
        {"dt", 1, 36526, 36526, 36526.5f, false},
        {"i64", 1, 0, -5000000000, 0, false},
        {"s15", 1, 2, 0, 0, false},
        {"s16", 1, 9, 0, 0, false},
        {"color", 1, 0, 0, 0, false},
        {"st", 1, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(At(c.column, c.rec).AsInteger(), c.asInteger) << c.column;
        EXPECT_EQ(At(c.column, c.rec).AsInt64(), c.asInt64) << c.column;
        EXPECT_FLOAT_EQ(At(c.column, c.rec).AsFloat(), c.asFloat) << c.column;
        EXPECT_EQ(At(c.column, c.rec).AsBoolean(), c.asBoolean) << c.column;
    }
    EXPECT_EQ(At("color", 2).AsColor(), -1);
    EXPECT_EQ(At("r_dt", 2).AsCardinal(), 4000000000u);
    EXPECT_DOUBLE_EQ(At("r_dt", 1).AsDateTime(), 36527.0);
    EXPECT_DOUBLE_EQ(At("st", 1).AsDateTime(), 36527.0 + 1.0 / 24);
    EXPECT_DOUBLE_EQ(At("dt", 1).AsDate(), 36526.0);
    EXPECT_DOUBLE_EQ(At("dt", 1).AsTime(), 0.5);
}

TEST_F(FieldTest, ConversionErrorsReachTheCallerAsTheDocumentedType) {
    EXPECT_THROW(At("txt", 1).AsInteger(), TableConversionError);
    EXPECT_THROW(At("fio", 1).AsFloat(), TableConversionError);
    EXPECT_EQ(At("txt", 2).AsInteger(), 0);  // no text at all
    EXPECT_EQ(At("txt", 1).AsIntegerA(), 0);
    EXPECT_EQ(At("txt", 1).AsInt64(), 0);
}

TEST_F(FieldTest, NothingSelectedOrNotLoadedReadsZero) {
    EXPECT_EQ(At("n_abs", 0).AsString(), "Запись не найдена");
    EXPECT_EQ(At("n_abs", 0).AsInteger(), 0);
    EXPECT_EQ(At("n_abs", 3).AsInteger(), 0);  // beyond the stored records
    EXPECT_EQ(At("fio", 3).AsString(), "");
    Col("n_abs").Load = false;
    EXPECT_EQ(At("n_abs", 1).AsInteger(), 0);
    EXPECT_EQ(At("n_abs", 1).AsString(), "17");
    t.CountRecord = 0;
    EXPECT_EQ(At("n_abs", 1).AsString(), "Запись не найдена");
}

TEST_F(FieldTest, WritersConvertIntoTheEditBuffer) {
    using Check = std::function<bool(const Stru_Temp&)>;
    const struct {
        const char* column;
        std::function<void(FieldGFB&)> write;
        Check buffered;
    } cases[] = {
        {"p_d", [](FieldGFB& f) { f.SetAsInteger(-5); },
         [](const Stru_Temp& b) { return b.DataByte == 255; }},
        {"p_d", [](FieldGFB& f) { f.SetAsString("-5"); }, [](const Stru_Temp& b) { return b.DataByte == 0; }},
        {"p_d", [](FieldGFB& f) { f.SetAsInt64(-5); }, [](const Stru_Temp& b) { return b.DataByte == 0; }},
        {"p_d", [](FieldGFB& f) { f.SetAsInteger(300); },
         [](const Stru_Temp& b) { return b.DataByte == 255; }},
        {"w", [](FieldGFB& f) { f.SetAsString("70000"); },
         [](const Stru_Temp& b) { return b.DataWord == 65535; }},
        {"w", [](FieldGFB& f) { f.SetAsInt64(-1); }, [](const Stru_Temp& b) { return b.DataWord == 0; }},
        {"b", [](FieldGFB& f) { f.SetAsString("t"); }, [](const Stru_Temp& b) { return !b.DataBoolean; }},
        {"b", [](FieldGFB& f) { f.SetAsInteger(1); }, [](const Stru_Temp& b) { return b.DataBoolean; }},
        {"fio", [](FieldGFB& f) { f.SetAsInteger(42); },
         [](const Stru_Temp& b) { return b.DataString == "42"; }},
        {"fio", [](FieldGFB& f) { f.SetAsBoolean(true); },
         [](const Stru_Temp& b) { return b.DataString == "T"; }},
        {"fio", [](FieldGFB& f) { f.SetAsFloat(1.5f); },
         [](const Stru_Temp& b) { return b.DataString == "1,5"; }},
        {"fio", [](FieldGFB& f) { f.SetAsString(QString(300, u'я')); },
         [](const Stru_Temp& b) { return b.DataString.size() == 255; }},
        {"r_dt", [](FieldGFB& f) { f.SetAsString("-1"); },
         [](const Stru_Temp& b) { return b.DataCardinal == 4294967295u; }},
        {"r_dt", [](FieldGFB& f) { f.SetAsInteger(-3); },
         [](const Stru_Temp& b) { return b.DataCardinal == 0; }},
        {"f", [](FieldGFB& f) { f.SetAsString("2,5"); },
         [](const Stru_Temp& b) { return b.DataFloat == 2.5f; }},
        {"f", [](FieldGFB& f) { f.SetAsString("x"); }, [](const Stru_Temp& b) { return b.DataFloat == 0; }},
        {"d", [](FieldGFB& f) { f.SetAsString("3,25"); },
         [](const Stru_Temp& b) { return b.DataDouble == 3.25; }},
        {"dt", [](FieldGFB& f) { f.SetAsString("02.01.2000 06:00:00"); },
         [](const Stru_Temp& b) { return b.DataDateTime == 36527.25; }},
        {"dt", [](FieldGFB& f) { f.SetAsInteger(5); },
         [](const Stru_Temp& b) { return b.DataDateTime == 5.0; }},
        {"st", [](FieldGFB& f) { f.SetAsDateTime(36527.5); },
         [](const Stru_Temp& b) { return b.DataCardinal == 86400 + 43200; }},
        {"st", [](FieldGFB& f) { f.SetAsDate(36528.7); },
         [](const Stru_Temp& b) { return b.DataCardinal == 2 * 86400; }},
        {"st", [](FieldGFB& f) { f.SetAsTime(0.25); },
         [](const Stru_Temp& b) { return b.DataCardinal == 21600; }},
        {"s15", [](FieldGFB& f) { f.SetAsString("ДВА"); },
         [](const Stru_Temp& b) { return b.DataWord == 2 && b.DataString == "Два"; }},
        {"s15", [](FieldGFB& f) { f.SetAsString("нет"); },
         [](const Stru_Temp& b) { return b.DataWord == 0 && b.DataString == "нет"; }},
        {"s16", [](FieldGFB& f) { f.SetAsString("NINE"); },
         [](const Stru_Temp& b) { return b.DataByte == 9 && b.DataString == "nine"; }},
        {"i64", [](FieldGFB& f) { f.SetAsInt64(-7); }, [](const Stru_Temp& b) { return b.DataInt64 == -7; }},
        {"color", [](FieldGFB& f) { f.SetAsColor(0x123456); },
         [](const Stru_Temp& b) { return b.DataInteger == 0x123456; }},
        {"arr", [](FieldGFB& f) { f.SetAsArrayByte(QByteArray("\x07", 1)); },
         [](const Stru_Temp& b) { return b.DataArrayByte == QByteArray("\x07\x00\x00", 3); }},
    };
    BeginEdit();
    for (const auto& c : cases) {
        FieldGFB& f = Col(c.column);
        f.Temp = Stru_Temp{};
        c.write(f);
        EXPECT_EQ(f.Temp.TypeField, f.TypeField) << c.column;
        EXPECT_TRUE(c.buffered(f.Temp)) << c.column;
    }
}

TEST_F(FieldTest, UnreadableDoubleTextLeavesTheColumnNotPending) {
    BeginEdit();
    Col("d").SetAsString("abc");
    EXPECT_EQ(Col("d").Temp.TypeField, 0);
}

TEST_F(FieldTest, WritesOutsideEditModeChangeNothing) {
    Col("n_abs").SetAsInteger(99);
    Col("fio").SetAsString("x");
    EXPECT_EQ(Col("n_abs").Temp.TypeField, 0);
    EXPECT_EQ(Col("fio").Temp.DataString, "");
}

TEST_F(FieldTest, PendingIntegerIsReadOnlyWhileAnExistingRecordIsEdited) {
    BeginEdit();
    Col("n_abs").SetAsInteger(99);
    EXPECT_EQ(At("n_abs", 1).AsInteger(), 99);
    EXPECT_EQ(At("n_abs", 1).AsIntegerA(), 17);
    t.EditRecord = false;  // adding a new record
    EXPECT_EQ(At("n_abs", 1).AsInteger(), 17);
    t.RecordNE = false;  // the edit ended: the stale mark goes on the next read
    EXPECT_EQ(At("n_abs", 1).AsInteger(), 17);
    EXPECT_EQ(Col("n_abs").Temp.TypeField, 0);
}

TEST_F(FieldTest, DictionariesAndByteArrays) {
    FieldGFB& s15 = Col("s15");
    EXPECT_EQ(s15.GetSprCount(), 3);
    EXPECT_EQ(s15.GetSprString(2), "Много");
    EXPECT_EQ(s15.GetSprNumber(2), 70000);
    EXPECT_EQ(s15.GetSprNumber(4), -1);
    EXPECT_EQ(Col("s16").GetSprNumber(1), 5);
    EXPECT_EQ(Col("n_abs").GetSprCount(), -1);
    EXPECT_EQ(At("s15", 1).GetSprValueNumber(), 2);
    s15.Data.DataWord[0] = 65535;
    EXPECT_EQ(At("s15", 1).GetSprValueNumber(), -1);
    EXPECT_EQ(At("s16", 1).GetSprValueNumber(), 9);

    FieldGFB& arr = At("arr", 1);
    EXPECT_TRUE(arr.GetByteArrayAsBitBool(0, 1));
    EXPECT_FALSE(arr.GetByteArrayAsBitBool(1, 1));
    EXPECT_TRUE(arr.GetByteArrayAsBitBool(1, 2));
    EXPECT_FALSE(arr.GetByteArrayAsBitBool(3, 1));  // beyond the record's bytes
    EXPECT_TRUE(At("arr", 2).GetByteArrayAsBitBool(2, 8));
    QByteArray bytes;
    At("arr", 2).GetAsArrayByte(bytes);
    EXPECT_EQ(bytes, QByteArray("\xff\x00\x80", 3));
    At("arr", 0).GetAsArrayByte(bytes);
    EXPECT_EQ(bytes, QByteArray(3, '\0'));
}

TEST_F(FieldTest, SelectedMarksOneRecord) {
    At("fio", 2).SetSelected(true);
    EXPECT_TRUE(At("fio", 2).Selected());
    EXPECT_FALSE(At("fio", 1).Selected());
    EXPECT_FALSE(At("n_abs", 2).Selected());
}

}  // namespace
