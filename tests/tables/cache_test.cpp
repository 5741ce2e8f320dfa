// The local cache: what a table file leaves under "temp/<table>", reading it back with CacheLoad,
// the digests of the next request, and damaged or locked-out cache files.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <cstring>

#include "table_file_builder.h"
#include "tables/base_set.h"
#include "tables/table_file_layout.h"

namespace {

const table_files::WorkDir kWorkDir;

class CacheTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void SetUp() override {
        QDir("temp").removeRecursively();
        t = set[AddTable(set, "gps", "", "", true, false)];
    }

    void LoadFile(const TableFileContent& content) {
        ASSERT_TRUE(table_files::WriteBytes("temp/load.bin", WriteTableFile(content, false)));
        ASSERT_TRUE(t->LoadFromFile("temp/load.bin"));
    }

    // The table as the next session finds it: emptied and filled from the cache alone.
    void Reload() {
        t->Clear();
        ASSERT_TRUE(t->CacheLoad());
    }

    TBaseC set;
    TBaseClient* t = nullptr;
};

TEST_F(CacheTest, ColumnFileUnscramblesToThePayloadWhoseDigestItStores) {
    const TableFileContent content = table_files::EveryCodeTable();
    LoadFile(content);
    for (const TableFileColumn& c : content.columns) {
        if (c.TypeField == 10) {
            EXPECT_FALSE(QFile::exists("temp/gps/none.cache"));
            continue;
        }
        const QByteArray file = table_files::ReadUnscrambled("temp/gps/" + c.name + ".cache");
        ASSERT_GT(file.size(), 19) << c.name.toStdString();
        EXPECT_EQ(uint8_t(file[2]), c.TypeField);
        const QByteArray payload = file.mid(19);
        EXPECT_EQ(file.mid(3, 16), QCryptographicHash::hash(payload, QCryptographicHash::Md5));
        EXPECT_EQ(QString::fromLatin1(file.mid(3, 16).toHex().toUpper()), ColumnCacheMD5(c));
    }
    // A dictionary's payload: code, entry count, entries as in the file, then the record keys.
    const QByteArray s16 = table_files::ReadUnscrambled("temp/gps/s16.cache").mid(19);
    EXPECT_EQ(s16, QByteArray("\x10\x02\x00\x05\x00\x04\xef\xff\xf2\xfc\x09\x00\x04nine\x09\x03", 19));
    const QByteArray structure = table_files::ReadUnscrambled("temp/gps/gps.cacheb");
    EXPECT_EQ(structure.size(), 2 + kTableHeaderSize + 17 * kDescriptorSize);
    EXPECT_EQ(structure.mid(2), WriteTableFile(content, false).left(structure.size() - 2));
}

TEST_F(CacheTest, SecondLoadWritesOtherBytesOfTheSameContent) {
    LoadFile(table_files::EveryCodeTable());
    QFile first("temp/gps/fio.cache");
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    const QByteArray before = first.readAll();
    first.close();
    // The random head makes equal content differ; try a few loads, as two heads may collide.
    bool differs = false;
    for (int i = 0; i < 5 && !differs; ++i) {
        LoadFile(table_files::EveryCodeTable());
        QFile again("temp/gps/fio.cache");
        ASSERT_TRUE(again.open(QIODevice::ReadOnly));
        const QByteArray after = again.readAll();
        differs = after != before;
        QByteArray a = before;
        QByteArray b = after;
        ScrambleBytes(a, 1);
        ScrambleBytes(b, 1);
        EXPECT_EQ(a.mid(2), b.mid(2));
    }
    EXPECT_TRUE(differs);
}

TEST_F(CacheTest, CacheLoadRestoresEveryCode) {
    LoadFile(table_files::EveryCodeTable());
    Reload();
    EXPECT_EQ(t->CountRecord, 0);  // the counters come with the next table file
    t->CountRecord = 2;
    const struct {
        const char* column;
        int32_t rec;
        QString text;
    } cases[] = {
        {"n_abs", 2, "18"},
        {"fio", 1, "Иванов"},
        {"b", 1, "T"},
        {"w", 1, "65535"},
        {"f", 1, "1,5"},
        {"d", 2, "-0,5"},
        {"arr", 2, "255 0 128 "},
        {"i64", 1, "-5000000000"},
        {"s15", 1, "Два"},
        {"s16", 1, "nine"},
        {"color", 2, "FFFFFFFF"},
        {"txt", 1, "Текст \"в кавычках\""},
        {"st", 1, "02.01.2000 01:00:00"},
        {"dt", 1, "01.01.2000 12:00:00"},
    };
    for (const auto& c : cases) {
        t->RecNoTemp = c.rec;
        FieldGFB* f = t->FindColumn(c.column, false);
        ASSERT_NE(f, nullptr) << c.column;
        EXPECT_TRUE(f->Load);
        EXPECT_EQ(f->MD5.size(), 32);
        EXPECT_EQ(f->AsString(), c.text) << c.column;
    }
    EXPECT_TRUE(t->FindColumn("none", false)->MD5.isEmpty());
}

TEST_F(CacheTest, LongColumnsComeBackByteForByte) {
    // Values far beyond one key period, read straight into their arrays: offsets, blob and fixed
    // texts start at body offsets that are not period boundaries.
    TableFileContent content;
    content.name = "gps";
    content.RecordCount = 3001;
    content.columns = {table_files::Column(1, "n_abs", 1, 4), table_files::Column(2, "fio", 2, 7),
                       table_files::Column(3, "txt", 24, 4)};
    TableFileColumn& ids = content.columns[0];
    TableFileColumn& fixed = content.columns[1];
    TableFileColumn& texts = content.columns[2];
    for (int32_t r = 0; r < content.RecordCount; ++r) {
        AppendValue(ids, r * 7919);
        fixed.values.append(QByteArray(7, char(r * 31)));
        AppendValue(texts, int32_t(texts.blob.size()));
        AppendShortText(texts.blob, QByteArray::number(r * 13));
    }
    LoadFile(content);
    const Stru_Data loaded[] = {t->Fields[0]->Data, t->Fields[1]->Data, t->Fields[2]->Data};
    Reload();
    EXPECT_EQ(t->Fields[0]->Data.DataInteger, loaded[0].DataInteger);
    EXPECT_EQ(t->Fields[1]->Data.DataByte, loaded[1].DataByte);
    EXPECT_EQ(t->Fields[2]->Data.DataInteger, loaded[2].DataInteger);
    EXPECT_EQ(t->Fields[2]->Data.DataByte, loaded[2].DataByte);
    EXPECT_EQ(t->Fields[2]->Data.DataByte.size(), size_t(texts.blob.size()));
}

TEST_F(CacheTest, DeletedColumnFileLosesOnlyItsOwnDigest) {
    LoadFile(table_files::EveryCodeTable());
    ASSERT_TRUE(QFile::remove("temp/gps/fio.cache"));
    t->FlagLoadData = false;
    const QString request = t->GetJSONLoad();
    EXPECT_FALSE(request.contains("\"fio\""));
    EXPECT_TRUE(request.contains("\"n_abs\":\"" + t->FindColumn("n_abs", false)->MD5 + "\""));
    EXPECT_TRUE(request.contains("\"s16\":\""));
    EXPECT_FALSE(t->FindColumn("fio", false)->Load);
}

TEST_F(CacheTest, ARequestUsesTheCacheReadAheadOnce) {
    LoadFile(table_files::EveryCodeTable());
    t->FlagLoadData = false;
    t->ReadCacheAhead();
    EXPECT_TRUE(t->FindColumn("fio", false)->Load);
    // What the request names is what was read ahead, not what the folder holds by then.
    ASSERT_TRUE(QFile::remove("temp/gps/fio.cache"));
    EXPECT_TRUE(t->GetJSONLoad().contains("\"fio\":\""));
    // Once the request is out, reading ahead leaves the table as it is.
    t->ReadCacheAhead();
    EXPECT_FALSE(t->FindColumn("fio", false)->MD5.isEmpty());
    // The next request reads the cache again.
    t->SendLoadData = false;
    EXPECT_FALSE(t->GetJSONLoad().contains("\"fio\""));
}

TEST_F(CacheTest, NoCacheMeansNoColumns) {
    EXPECT_TRUE(t->CacheLoad());
    EXPECT_EQ(t->GetCountFields(), 0);
    t->Cache = false;
    LoadFile(table_files::EveryCodeTable());
    EXPECT_FALSE(QFile::exists("temp/gps/gps.cacheb"));
}

TEST_F(CacheTest, ColumnCountUsesItsLow16Bits) {
    LoadFile(table_files::EveryCodeTable());
    QByteArray structure = table_files::ReadUnscrambled("temp/gps/gps.cacheb");
    const int32_t count = 65536 + 2;
    std::memcpy(structure.data() + 2 + 17, &count, 4);
    ScrambleBytes(structure, 1);
    ASSERT_TRUE(table_files::WriteBytes("temp/gps/gps.cacheb", structure));
    Reload();
    EXPECT_EQ(t->GetCountFields(), 2);
}

TEST_F(CacheTest, DamagedCacheFilesAreDroppedSoTheServerSendsThemAgain) {
    const struct {
        const char* file;
        qsizetype keep;
        const char* column;  // the column that loses its cached values, or none for the structure
    } cases[] = {
        {"temp/gps/n_abs.cache", 10, "n_abs"},  // shorter than the digest
        {"temp/gps/n_abs.cache", 21, "n_abs"},  // half a value
        {"temp/gps/s15.cache", 25, "s15"},      // a dictionary entry cut short
        {"temp/gps/s16.cache", 37, "s16"},      // the record keys cut short
        {"temp/gps/txt.cache", 27, "txt"},      // the blob cut short
        {"temp/gps/gps.cacheb", 60, nullptr},   // a descriptor cut short
        {"temp/gps/gps.cacheb", 5, nullptr},    // a header cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " cut to " + std::to_string(c.keep));
        LoadFile(table_files::EveryCodeTable());
        QByteArray content = table_files::ReadUnscrambled(c.file);
        content.truncate(c.keep);
        ScrambleBytes(content, 1);
        ASSERT_TRUE(table_files::WriteBytes(c.file, content));
        t->FlagLoadData = false;
        t->SendLoadData = false;
        const QString request = t->GetJSONLoad();
        EXPECT_FALSE(t->CacheLoad());
        if (c.column) {
            const FieldGFB& damaged = *t->FindColumn(c.column, false);
            EXPECT_FALSE(damaged.Load);
            EXPECT_TRUE(damaged.MD5.isEmpty());
            EXPECT_TRUE(damaged.Data.DataInteger.empty() && damaged.Data.DataWord.empty());
            EXPECT_FALSE(request.contains(QStringLiteral("\"%1\"").arg(c.column)));
            EXPECT_TRUE(request.contains("\"fio\":\""));
            EXPECT_TRUE(t->FindColumn("fio", false)->Load);
        }
    }
}

}  // namespace
