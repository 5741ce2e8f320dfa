// Applying table files: every code loads, compressed or not; structure-only files; blocks that change
// a column's code; archives; and malformed files, which end the reading at the first fault.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <cstring>

#include "table_file_builder.h"
#include "tables/base_client.h"
#include "tables/table_file_layout.h"

namespace {

const table_files::WorkDir kWorkDir;
const QString kFile = QStringLiteral("temp/snapshot.bin");

class SnapshotFileTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void SetUp() override { t.NameTableS = QStringLiteral("gps"); }

    bool Load(const QByteArray& bytes) {
        EXPECT_TRUE(table_files::WriteBytes(kFile, bytes));
        return t.LoadFromFile(kFile);
    }
    QString Text(const char* column, int32_t rec) {
        t.RecNoTemp = rec;
        FieldGFB* f = t.FindColumn(QString::fromUtf8(column), false);
        return f ? f->AsString() : QStringLiteral("<no column>");
    }

    TBaseClient t;
};

TEST_F(SnapshotFileTest, EveryCodeLoadsPlainAndCompressed) {
    for (const bool zip : {false, true}) {
        t.Clear();
        t.Zip = zip;
        t.FlagLoadData = false;
        ASSERT_TRUE(Load(WriteTableFile(table_files::EveryCodeTable(), zip)));
        EXPECT_TRUE(t.FlagLoadData);
        EXPECT_TRUE(t.RefreshYes);
        EXPECT_FALSE(QFile::exists(kFile));
        EXPECT_EQ(t.CountRecord, 2);
        EXPECT_EQ(t.CountRecordFilter, 2);  // the view was rebuilt: both records are visible
        EXPECT_EQ(t.GetCountFields(), 17);
        EXPECT_EQ(Text("n_abs", 2), "18");
        EXPECT_EQ(Text("fio", 1), "Иванов");
        EXPECT_EQ(Text("s15", 1), "Два");
        EXPECT_EQ(Text("s16", 1), "nine");
        EXPECT_EQ(Text("txt", 1), "Текст \"в кавычках\"");
        EXPECT_EQ(Text("i64", 1), "-5000000000");
        EXPECT_EQ(t.FindColumn("s15", false)->Data.DataCardinal, (ColumnArray<uint32_t>{1, 70000, 2}));
        EXPECT_TRUE(t.FindColumn("none", false)->Load);
        EXPECT_TRUE(t.FindColumn("st", false)->Load);
    }
}

TEST_F(SnapshotFileTest, EmptyTableStillTakesColumnsAndDictionaries) {
    TableFileContent content = table_files::EveryCodeTable();
    content.RecordCount = 0;
    ASSERT_TRUE(Load(WriteTableFile(content, false)));
    EXPECT_EQ(t.CountRecord, 0);
    EXPECT_EQ(t.GetCountFields(), 17);
    const FieldGFB& s16 = *t.FindColumn("s16", false);
    EXPECT_EQ(s16.Data.DataWord, (ColumnArray<uint16_t>{5, 9}));
    EXPECT_EQ(s16.Data.DataStringN[0], "пять");
    EXPECT_TRUE(s16.Data.DataByte.empty());
    EXPECT_TRUE(t.FindColumn("n_abs", false)->Data.DataInteger.empty());
}

TEST_F(SnapshotFileTest, StructureOnlyFileNeedsTheNameInsideTheTableName) {
    t.NameTableS = QStringLiteral("gpsshab");
    t.veltax = true;
    ASSERT_TRUE(Load(WriteTableFile(table_files::EveryCodeTable("gps"), false)));
    EXPECT_EQ(t.GetCountFields(), 17);
    EXPECT_EQ(t.CountRecord, 2);
    EXPECT_FALSE(t.FindColumn("n_abs", false)->Load);  // no data blocks are read
    EXPECT_TRUE(t.FlagLoadData);

    TBaseClient other;
    other.NameTableS = QStringLiteral("gpeople");
    other.veltax = true;
    ASSERT_TRUE(table_files::WriteBytes(kFile, WriteTableFile(table_files::EveryCodeTable("gps"), false)));
    EXPECT_TRUE(other.LoadFromFile(kFile));
    EXPECT_EQ(other.GetCountFields(), 0);
    EXPECT_TRUE(other.FlagLoadData);  // a name that does not match still ends the load
}

TEST_F(SnapshotFileTest, FullFileWithAnotherNameTakesNothing) {
    ASSERT_TRUE(Load(WriteTableFile(table_files::EveryCodeTable("gp"), false)));
    EXPECT_EQ(t.GetCountFields(), 0);
    EXPECT_TRUE(t.FlagLoadData);
    EXPECT_TRUE(t.LoadFileName.isEmpty());
}

TEST_F(SnapshotFileTest, BlockChangesTheColumnsCode) {
    TableFileContent content = table_files::EveryCodeTable();
    QByteArray bytes = WriteTableFile(content, false);
    // Column 3 is announced as code 1 in the column list; its block still says code 2.
    bytes[kTableHeaderSize + 2 * kDescriptorSize + 20] = char(1);
    ASSERT_TRUE(Load(bytes));
    EXPECT_EQ(t.FindColumn("fio", false)->TypeField, 2);
    EXPECT_EQ(Text("fio", 1), "Иванов");
}

TEST_F(SnapshotFileTest, ArchiveCopiesOnlyWhenAsked) {
    ASSERT_TRUE(Load(WriteTableFile(table_files::EveryCodeTable(), false)));
    EXPECT_FALSE(QDir("arh").exists());
    t.Arh = true;
    ASSERT_TRUE(Load(WriteTableFile(table_files::EveryCodeTable(), false)));
    QFile ffb("arh/gps/n_abs.ffb");
    ASSERT_TRUE(ffb.open(QIODevice::ReadOnly));
    EXPECT_EQ(ffb.readAll(), QByteArray("\x11\0\0\0\x12\0\0\0", 8));
    QFile ffs("arh/gps/s16.ffs");
    ASSERT_TRUE(ffs.open(QIODevice::ReadOnly));
    const QByteArray entries = ffs.readAll();
    ASSERT_EQ(entries.size(), 2 * (1 + 10));  // one key byte and a 10-byte slot per entry
    EXPECT_EQ(entries.mid(11, 6), QByteArray("\x09\x04nine", 6));
    EXPECT_TRUE(QFile::exists("arh/gps/txt.ffv"));
    QDir("arh").removeRecursively();
}

TEST_F(SnapshotFileTest, MissingFileChangesNothing) {
    EXPECT_FALSE(t.LoadFromFile("temp/none.bin"));
    EXPECT_FALSE(t.FlagLoadData);
}

TEST_F(SnapshotFileTest, CompressedFileThatDoesNotInflateLeavesTheTableNotLoaded) {
    t.Zip = true;
    QByteArray bytes = WriteTableFile(table_files::EveryCodeTable(), true);
    bytes.truncate(bytes.size() / 2);
    EXPECT_FALSE(Load(bytes));
    EXPECT_FALSE(t.FlagLoadData);
    EXPECT_EQ(t.GetCountFields(), 0);
    EXPECT_FALSE(Load("not zlib at all"));
    EXPECT_FALSE(t.FlagLoadData);
}

// Byte offset of the block descriptor of column `pos` (1-based) in EveryCodeTable's file.
qsizetype BlockOffset(const QByteArray& file, int32_t pos) {
    ByteReader in(file);
    TableHeader h;
    ReadTableHeader(in, h);
    in.Skip(qsizetype(h.ColumnCount) * kDescriptorSize);
    for (;;) {
        const qsizetype at = in.Pos();
        ColumnDescriptor d;
        if (!ReadColumnDescriptor(in, d)) {
            return -1;
        }
        if (d.fields.n_abs == pos) {
            return at;
        }
        if (d.fields.TypeField == 15 || d.fields.TypeField == 16) {
            for (int32_t i = 0; i < d.Extra; ++i) {
                QByteArrayView text;
                in.Skip(d.fields.TypeField == 15 ? 4 : 2);
                in.ReadShortText(text);
            }
        }
        in.Skip(qsizetype(d.fields.Size) * h.RecordCount);
        if (d.fields.TypeField == 24) {
            in.Skip(d.Extra);
        }
    }
}

void PutInt(QByteArray& bytes, qsizetype at, int32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

TEST_F(SnapshotFileTest, MalformedFilesStopAtTheFirstFaultAndKeepWhatCameBefore) {
    const struct {
        const char* fault;
        std::function<void(QByteArray&)> damage;
        const char* lastLoaded;  // the last column whose block was taken
    } cases[] = {
        {"size differs from the element width", [](QByteArray& b) { PutInt(b, BlockOffset(b, 5) + 21, 4); },
         "b"},
        {"position outside the column list", [](QByteArray& b) { PutInt(b, BlockOffset(b, 5), 18); }, "b"},
        {"position zero", [](QByteArray& b) { PutInt(b, BlockOffset(b, 5), 0); }, "b"},
        {"block without storage followed by more",
         [](QByteArray& b) { b[BlockOffset(b, 5) + 20] = char(10); }, "b"},
        {"dictionary text past the end",
         [](QByteArray& b) { b.truncate(BlockOffset(b, 12) + kDescriptorSize + 4 + 3); }, "i64"},
        {"dictionary entry count beyond the file",
         [](QByteArray& b) { PutInt(b, BlockOffset(b, 12) + 33, 1'000'000'000); }, "i64"},
        {"negative dictionary entry count", [](QByteArray& b) { PutInt(b, BlockOffset(b, 13) + 33, -1); },
         "s15"},
        {"text blob past the end", [](QByteArray& b) { b.truncate(BlockOffset(b, 16) - 3); }, "txt"},
        {"text slot size of zero", [](QByteArray& b) { PutInt(b, BlockOffset(b, 3) + 21, 0); }, "p_d"},
        {"block count beyond the blocks", [](QByteArray& b) { PutInt(b, 13, 40); }, "st"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        t.Clear();
        QByteArray bytes = WriteTableFile(table_files::EveryCodeTable(), false);
        c.damage(bytes);
        EXPECT_FALSE(Load(bytes));
        EXPECT_TRUE(t.FlagLoadData);
        bool before = true;
        for (const auto& f : t.Fields) {
            EXPECT_EQ(f->Load, before) << f->name.toStdString();
            if (f->name == QLatin1String(c.lastLoaded)) {
                before = false;
            }
        }
    }
}

TEST_F(SnapshotFileTest, TruncatedValuesStayZero) {
    QByteArray bytes = WriteTableFile(table_files::EveryCodeTable(), false);
    bytes.truncate(BlockOffset(bytes, 1) + kDescriptorSize + 4);  // only record 1 of "n_abs"
    EXPECT_FALSE(Load(bytes));
    EXPECT_EQ(t.CountRecord, 2);
    EXPECT_EQ(t.Fields[0]->Data.DataInteger, (ColumnArray<int32_t>{17, 0}));
    EXPECT_FALSE(t.Fields[1]->Load);
}

TEST_F(SnapshotFileTest, ImpossibleCountsAreRefusedBeforeAnyAllocation) {
    const struct {
        const char* fault;
        qsizetype at;
        int32_t value;
    } cases[] = {
        {"record count beyond the cap", 9, 10'000'001},
        {"negative record count", 9, -1},
        {"negative column count", 17, -5},
        {"column count beyond the file", 17, 1'000'000'000},
        {"negative block count", 13, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        t.Clear();
        QByteArray bytes = WriteTableFile(table_files::EveryCodeTable(), false);
        PutInt(bytes, c.at, c.value);
        EXPECT_FALSE(Load(bytes));
        EXPECT_TRUE(t.FlagLoadData);
        for (const auto& f : t.Fields) {
            EXPECT_FALSE(f->Load);
        }
    }
    EXPECT_FALSE(Load(QByteArray(10, '\x03')));  // shorter than a header
}

TEST_F(SnapshotFileTest, JsonTableTextGoesThroughTheSameEntry) {
    t.LoadTypeRaw = false;
    EXPECT_TRUE(Load(R"({"$c$":"tabledata","count":2,"tablefields":{"n_abs":"1,1,4,0","p_d":"2,3,1,0"},)"
                     R"("fields":{"n_abs":"5,6"}})"));
    EXPECT_TRUE(t.FlagLoadData);
    EXPECT_FALSE(QFile::exists(kFile));
    EXPECT_EQ(t.Fields[0]->Data.DataInteger, (ColumnArray<int32_t>{5, 6}));
    EXPECT_FALSE(Load(R"({"$c$":"tabledata","count":1,"tablefields":{"x":"1,one,4,0"}})"));
    EXPECT_FALSE(QFile::exists(kFile));
}

}  // namespace
