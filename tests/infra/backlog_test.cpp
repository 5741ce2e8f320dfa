#include "infra/backlog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "infra/files.h"

namespace {

QByteArray Int32(int32_t value) {
    const auto v = uint32_t(value);
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

QByteArray Header(int32_t count, int32_t first, int32_t last, int32_t magic = 0x0FEEFFFF) {
    return Int32(magic) + Int32(count) + Int32(first) + Int32(last);
}

QByteArray Record(const QByteArray& text) {
    return QByteArray("\xFF\xFF", 2) + Int32(text.size()) + text + "\xFE\xFF";
}

class BacklogTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(temp.path());
        // A missing or locked file is found at once instead of after five seconds of retries.
        SetOpenRetries(0);
    }
    void TearDown() override {
        SetOpenRetries(5000);
        QDir::setCurrent(previous);
    }

    static std::unique_ptr<TBackSoobString> Open() {
        auto backlog = std::make_unique<TBackSoobString>();
        backlog->NameBack = QStringLiteral("dd8");
        backlog->Init();
        return backlog;
    }
    static QByteArray Read(const QString& name) {
        QFile file(QStringLiteral("dd8/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void Write(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(QStringLiteral("dd8"));
        QFile file(QStringLiteral("dd8/") + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static bool Exists(const QString& name) { return QFile::exists(QStringLiteral("dd8/") + name); }
    static QString Take(TBackSoobString& backlog) {
        QString message;
        EXPECT_TRUE(backlog.GetSoob(message));
        backlog.DeleteSoob();
        return message;
    }

    QTemporaryDir temp;
    QString previous;
};

TEST_F(BacklogTest, AFreshFolderGetsAnEmptyHeader) {
    auto backlog = Open();
    EXPECT_EQ(backlog->Count(), 0);
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), QByteArray("\xFF\xFF\xEE\x0F", 4) + QByteArray(12, '\0'));
    QString message = QStringLiteral("untouched");
    EXPECT_FALSE(backlog->GetSoob(message));
    EXPECT_EQ(message, QStringLiteral("untouched"));
}

TEST_F(BacklogTest, MessagesAreFramedRecordsReadBackInOrder) {
    auto backlog = Open();
    backlog->PutSoob(QStringLiteral("ab"));
    backlog->PutSoob(QString());
    backlog->PutSoob(QString::fromUtf8("Жук"));
    EXPECT_EQ(Read(QStringLiteral("bs0.dat")), Record("ab") + Record("") + Record("\xC6\xF3\xEA"));
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(3, 0, 0));

    QString message;
    ASSERT_TRUE(backlog->GetSoob(message));
    ASSERT_TRUE(backlog->GetSoob(message));
    EXPECT_EQ(message, QStringLiteral("ab")) << "looking does not remove";
    EXPECT_EQ(Take(*backlog), QStringLiteral("ab"));
    EXPECT_EQ(Take(*backlog), QString());
    EXPECT_EQ(Read(QStringLiteral("bs0.dat")), Record("\xC6\xF3\xEA"));
    EXPECT_EQ(Take(*backlog), QString::fromUtf8("Жук"));
    EXPECT_EQ(backlog->Count(), 0);
    EXPECT_EQ(Read(QStringLiteral("bs0.dat")), QByteArray()) << "the last file stays, empty";
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(0, 0, 0));
    EXPECT_FALSE(backlog->GetSoob(message));
}

TEST_F(BacklogTest, AFileIsClosedForNewRecordsBeyondOneMillionBytes) {
    auto backlog = Open();
    backlog->PutSoob(QString(600'000, u'a'));
    backlog->PutSoob(QString(500'000, u'b'));
    EXPECT_EQ(Read(QStringLiteral("bs0.dat")).size(), 600'008 + 500'008) << "not above the limit before";
    backlog->PutSoob(QStringLiteral("c"));
    EXPECT_EQ(Read(QStringLiteral("bs1.dat")), Record("c"));
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(3, 0, 1));

    EXPECT_EQ(Take(*backlog).size(), 600'000);
    EXPECT_EQ(Take(*backlog), QString(500'000, u'b'));
    EXPECT_FALSE(Exists(QStringLiteral("bs0.dat")));
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(1, 1, 1));
    EXPECT_EQ(Take(*backlog), QStringLiteral("c"));
}

TEST_F(BacklogTest, ANewInstanceContinuesWhereTheLastStopped) {
    {
        auto backlog = Open();
        backlog->PutSoob(QStringLiteral("first"));
        backlog->PutSoob(QStringLiteral("second"));
        backlog->DeleteSoob();
    }
    auto backlog = Open();
    EXPECT_EQ(backlog->Count(), 1);
    EXPECT_EQ(Take(*backlog), QStringLiteral("second"));
}

class BrokenHeaderTest : public BacklogTest, public testing::WithParamInterface<QByteArray> {};

TEST_P(BrokenHeaderTest, IsReplacedByAnEmptyOne) {
    Write(QStringLiteral("backsoob.dat"), GetParam());
    auto backlog = Open();
    EXPECT_EQ(backlog->Count(), 0);
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(0, 0, 0));
    backlog->PutSoob(QStringLiteral("x"));
    EXPECT_EQ(Take(*backlog), QStringLiteral("x"));
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenHeaderTest,
                         testing::Values(Header(5, 0, 0, 0x0FEEFFFE), Header(5, 0, 0).left(12), QByteArray(),
                                         Header(-1, 0, 0), Header(1, 3, 2), Header(1, -1, 0)));

TEST_F(BacklogTest, DeleteKeepsCountAndMessageWhenTheHeaderCannotBeOpened) {
    auto backlog = Open();
    backlog->PutSoob(QStringLiteral("one"));
    backlog->PutSoob(QStringLiteral("two"));
    ASSERT_TRUE(QFile::rename(QStringLiteral("dd8/backsoob.dat"), QStringLiteral("dd8/away")));
    backlog->DeleteSoob();
    EXPECT_EQ(backlog->Count(), 2) << "memory stays in step with the disk";
    ASSERT_TRUE(QFile::rename(QStringLiteral("dd8/away"), QStringLiteral("dd8/backsoob.dat")));
    EXPECT_EQ(Take(*backlog), QStringLiteral("one"));
    EXPECT_EQ(Open()->Count(), 1);
}

TEST_F(BacklogTest, PutLosesNothingElseWhenTheHeaderCannotBeOpened) {
    auto backlog = Open();
    backlog->PutSoob(QStringLiteral("one"));
    ASSERT_TRUE(QFile::rename(QStringLiteral("dd8/backsoob.dat"), QStringLiteral("dd8/away")));
    backlog->PutSoob(QStringLiteral("dropped"));
    EXPECT_EQ(backlog->Count(), 1);
    EXPECT_EQ(Read(QStringLiteral("bs0.dat")), Record("one"));
}

// Front files that hold no message (missing, empty or unreadable) while later files do: the reader
// moves on and the later messages are never thrown away.
struct FrontCase {
    const char* label;
    QByteArray contents;  // of bs0.dat; "<none>" leaves it missing
};

class UnreadableFrontTest : public BacklogTest, public testing::WithParamInterface<FrontCase> {};

TEST_P(UnreadableFrontTest, MovesOnToTheNextFile) {
    Write(QStringLiteral("backsoob.dat"), Header(2, 0, 2));
    if (GetParam().contents != "<none>") {
        Write(QStringLiteral("bs0.dat"), GetParam().contents);
    }
    Write(QStringLiteral("bs2.dat"), Record("b") + Record("c"));
    auto backlog = Open();
    QString message;
    ASSERT_TRUE(backlog->GetSoob(message));
    EXPECT_EQ(message, QStringLiteral("b"));
    EXPECT_FALSE(Exists(QStringLiteral("bs0.dat")));
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(2, 2, 2));
    backlog->DeleteSoob();
    EXPECT_EQ(Take(*backlog), QStringLiteral("c"));
    EXPECT_EQ(backlog->Count(), 0);
}

TEST_P(UnreadableFrontTest, DeleteAgreesOnTheOldestRecord) {
    Write(QStringLiteral("backsoob.dat"), Header(2, 0, 2));
    if (GetParam().contents != "<none>") {
        Write(QStringLiteral("bs0.dat"), GetParam().contents);
    }
    Write(QStringLiteral("bs2.dat"), Record("b") + Record("c"));
    auto backlog = Open();
    backlog->DeleteSoob();
    EXPECT_EQ(backlog->Count(), 1);
    EXPECT_EQ(Take(*backlog), QStringLiteral("c"));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnreadableFrontTest,
                         testing::Values(FrontCase{"missing", "<none>"}, FrontCase{"empty", QByteArray()},
                                         FrontCase{"noMarker", QByteArray("\x01\x02 no marker \xFE\xFF")},
                                         FrontCase{"loneByte", QByteArray("\xFF")},
                                         FrontCase{"cutHead", QByteArray("\xFF\xFF\x01\x00", 4)},
                                         FrontCase{"cutBody", QByteArray("\xFF\xFF\x05\x00\x00\x00"
                                                                         "ab",
                                                                         8)},
                                         FrontCase{"negativeLength", QByteArray("\xFF\xFF\xFE\xFF\xFF\xFF"
                                                                                "abcdefgh",
                                                                                14)},
                                         FrontCase{"hugeLength", QByteArray("\xFF\xFF\xFF\xFF\xFF\x7F"
                                                                            "ab\xFE\xFF",
                                                                            10)}),
                         [](const auto& info) { return std::string(info.param.label); });

struct ResyncCase {
    const char* label;
    QByteArray contents;
};

class ResyncTest : public BacklogTest, public testing::WithParamInterface<ResyncCase> {};

TEST_P(ResyncTest, FindsTheNextWholeRecord) {
    Write(QStringLiteral("backsoob.dat"), Header(1, 0, 0));
    Write(QStringLiteral("bs0.dat"), GetParam().contents);
    auto backlog = Open();
    EXPECT_EQ(Take(*backlog), QStringLiteral("a"));
    EXPECT_EQ(Read(QStringLiteral("bs0.dat")), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(Cases, ResyncTest,
                         testing::Values(ResyncCase{"garbageBefore", "xyz" + Record("a")},
                                         ResyncCase{"endMarkerBefore",
                                                    QByteArray("\xFE\xFF", 2) + Record("a")},
                                         ResyncCase{"lengthRunsPastTheEnd",
                                                    QByteArray("\xFF\xFF\x40\x00\x00\x00", 6) + Record("a")}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(BacklogTest, ABadEndMarkerReadsAsEmptyUntilDeleted) {
    Write(QStringLiteral("backsoob.dat"), Header(2, 0, 0));
    Write(QStringLiteral("bs0.dat"), QByteArray("\xFF\xFF\x01\x00\x00\x00"
                                                "aXX",
                                                9) +
                                         Record("b"));
    auto backlog = Open();
    QString message = QStringLiteral("stale");
    EXPECT_FALSE(backlog->GetSoob(message));
    EXPECT_TRUE(message.isEmpty());
    backlog->DeleteSoob();
    EXPECT_EQ(Take(*backlog), QStringLiteral("b"));
}

TEST_F(BacklogTest, AnOvercountedBacklogResetsWhenItsFilesRunDry) {
    Write(QStringLiteral("backsoob.dat"), Header(3, 0, 0));
    Write(QStringLiteral("bs0.dat"), Record("only"));
    auto backlog = Open();
    EXPECT_EQ(Take(*backlog), QStringLiteral("only"));
    EXPECT_EQ(backlog->Count(), 2);
    QString message;
    EXPECT_FALSE(backlog->GetSoob(message));
    EXPECT_EQ(backlog->Count(), 0);
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(0, 0, 0));
    backlog->PutSoob(QStringLiteral("next"));
    EXPECT_EQ(Take(*backlog), QStringLiteral("next"));
}

TEST_F(BacklogTest, DeleteAllRemovesEveryDataFile) {
    Write(QStringLiteral("bs7.dat"), Record("leftover"));
    auto backlog = Open();
    backlog->PutSoob(QString(1'000'001, u'a'));
    backlog->PutSoob(QStringLiteral("b"));
    backlog->DeleteAll();
    EXPECT_EQ(backlog->Count(), 0);
    EXPECT_EQ(Read(QStringLiteral("backsoob.dat")), Header(0, 0, 0));
    EXPECT_EQ(QDir(QStringLiteral("dd8")).entryList(QDir::Files), QStringList({"backsoob.dat"}));
}

TEST_F(BacklogTest, DeleteSoobMoreStopsAtTheEnd) {
    auto backlog = Open();
    for (const char* text : {"1", "2", "3"}) {
        backlog->PutSoob(QString::fromLatin1(text));
    }
    backlog->DeleteSoobMore(2);
    EXPECT_EQ(Take(*backlog), QStringLiteral("3"));
    backlog->DeleteSoobMore(5);
    EXPECT_EQ(backlog->Count(), 0);
}

TEST_F(BacklogTest, WithoutAFolderNameNothingHappens) {
    TBackSoobString backlog;
    backlog.Init();
    backlog.PutSoob(QStringLiteral("x"));
    QString message;
    EXPECT_FALSE(backlog.GetSoob(message));
    EXPECT_EQ(backlog.Count(), 0);
    EXPECT_TRUE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

}  // namespace
