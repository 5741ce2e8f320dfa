// The notice a change is announced with: what it carries comes back exactly, a notice too long for an
// announcement is not made, anything short of a whole notice is refused, and a storage applies a
// notice only where it continues the changes it has seen.
#include "server/change_notice.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "infra/codepage.h"
#include "server/storage.h"
#include "server/storage_sql.h"

namespace {

using StorageSql::ChangeKind;

ChangeNotice Sample() {
    ChangeNotice n;
    n.first = 41;
    n.entries.push_back({int(ChangeKind::Dictionary),
                         QStringLiteral("object"),
                         7,
                         QStringLiteral("otdel"),
                         {SqlValue::Text(QStringLiteral("Маяк-2"))}});
    n.entries.push_back(
        {int(ChangeKind::Record),
         QStringLiteral("gps"),
         12,
         {},
         {SqlValue::Int(12), SqlValue::Int(std::numeric_limits<int64_t>::min()), SqlValue::Real(-0.5),
          SqlValue::Real(std::numeric_limits<double>::quiet_NaN()), SqlValue::Text(QStringLiteral("Ёлка")),
          SqlValue::Bytes(QByteArray("\0\1\xff", 3)), SqlValue::Bytes({})}});
    return n;
}

bool SameValue(const SqlValue& a, const SqlValue& b) {
    return a.type == b.type && a.integer == b.integer && a.bytes == b.bytes &&
           (a.real == b.real || (std::isnan(a.real) && std::isnan(b.real)));
}

TEST(ChangeNotice, CarriesEveryEntryAndValueExactly) {
    const ChangeNotice sent = Sample();
    const QByteArray text = EncodeChangeNotice(sent);
    ASSERT_FALSE(text.isEmpty());
    ChangeNotice got;
    ASSERT_TRUE(DecodeChangeNotice(text, got));
    EXPECT_EQ(got.first, 41);
    EXPECT_EQ(got.last(), 42);
    ASSERT_EQ(got.entries.size(), sent.entries.size());
    for (size_t i = 0; i < sent.entries.size(); ++i) {
        const ChangeNotice::Entry& a = sent.entries[i];
        const ChangeNotice::Entry& b = got.entries[i];
        EXPECT_EQ(b.kind, a.kind);
        EXPECT_EQ(b.table, a.table);
        EXPECT_EQ(b.item, a.item);
        EXPECT_EQ(b.column, a.column);
        ASSERT_EQ(b.values.size(), a.values.size());
        for (size_t v = 0; v < a.values.size(); ++v) {
            EXPECT_TRUE(SameValue(b.values[v], a.values[v])) << i << "." << v;
        }
    }
    // Read as a row: a value of another type, or past the end, is 0 or empty.
    const ParamsRow row(got.entries[1].values);
    EXPECT_EQ(row.integer(0), 12);
    EXPECT_EQ(row.real(2), -0.5);
    EXPECT_EQ(QString::fromUtf8(row.bytes(4)), QStringLiteral("Ёлка"));
    EXPECT_EQ(row.integer(4), 0);
    EXPECT_EQ(row.real(0), 0);
    EXPECT_TRUE(row.bytes(0).isEmpty());
    EXPECT_EQ(row.integer(99), 0);
    EXPECT_EQ(row.integer(-1), 0);
}

TEST(ChangeNotice, OneTooLongForAnAnnouncementIsNotMade) {
    ChangeNotice n = Sample();
    n.entries[1].values.push_back(SqlValue::Bytes(QByteArray(kMaxNoticeText, 'x')));
    EXPECT_TRUE(EncodeChangeNotice(n).isEmpty());
    n.entries[1].values.back() = SqlValue::Bytes(QByteArray(kMaxNoticeText / 2, 'x'));
    const QByteArray text = EncodeChangeNotice(n);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_LE(text.size(), kMaxNoticeText);
}

TEST(ChangeNotice, AnythingButAWholeNoticeIsRefused) {
    const QByteArray binary = QByteArray::fromBase64(EncodeChangeNotice(Sample()));
    ChangeNotice out;
    for (qsizetype n = 0; n < binary.size(); ++n) {
        EXPECT_FALSE(DecodeChangeNotice(binary.first(n).toBase64(), out)) << n;
    }
    EXPECT_FALSE(DecodeChangeNotice((binary + '\0').toBase64(), out));
    const auto patched = [&binary](qsizetype at, char byte) {
        QByteArray b = binary;
        b[at] = byte;
        return b.toBase64();
    };
    EXPECT_FALSE(DecodeChangeNotice(patched(0, 2), out));   // another version
    EXPECT_FALSE(DecodeChangeNotice(patched(9, 0), out));   // no entries
    EXPECT_FALSE(DecodeChangeNotice(patched(8, -1), out));  // numbered below 1
    EXPECT_FALSE(DecodeChangeNotice("not base64!", out));
    EXPECT_FALSE(DecodeChangeNotice("", out));
    EXPECT_FALSE(DecodeChangeNotice(QByteArray(kMaxNoticeText + 4, 'A'), out));
}

// The values of a gps record as its row holds them: the identifier, the name, every other column
// zero or empty.
SqlParams GpsRecord(int32_t nAbs, const QString& name) {
    const TableDef& def = *FindTable(QStringLiteral("gps"));
    SqlParams values(def.columns.size(), SqlValue::Int(0));
    values[0] = SqlValue::Int(nAbs);
    values[size_t(def.indexOf(QStringLiteral("name")))] = SqlValue::Text(name);
    return values;
}

QByteArray RecordNotice(int64_t first, int32_t nAbs, const QString& name,
                        int kind = int(ChangeKind::Record)) {
    return EncodeChangeNotice({first, {{kind, QStringLiteral("gps"), nAbs, {}, GpsRecord(nAbs, name)}}});
}

TEST(ChangeNotice, IsAppliedOnlyWhereItContinuesTheChangesSeen) {
    QTemporaryDir dir;
    Storage s;
    QString error;
    ASSERT_TRUE(s.open(dir.filePath(QStringLiteral("server.db")), error)) << error.toStdString();
    TableData& gps = *s.table(QStringLiteral("gps"));
    const int name = gps.def().indexOf(QStringLiteral("name"));
    TableData& object = *s.table(QStringLiteral("object"));
    const int otdel = object.def().indexOf(QStringLiteral("otdel"));

    const QByteArray first = EncodeChangeNotice({1,
                                                 {{int(ChangeKind::Dictionary),
                                                   QStringLiteral("object"),
                                                   5,
                                                   QStringLiteral("otdel"),
                                                   {SqlValue::Text(QStringLiteral("Маяк"))}},
                                                  {int(ChangeKind::Record),
                                                   QStringLiteral("gps"),
                                                   30,
                                                   {},
                                                   GpsRecord(30, QStringLiteral("первый"))}}});
    ASSERT_TRUE(s.applyNotice(first));
    ASSERT_EQ(gps.rowOf(30), 0);
    EXPECT_EQ(fromAnsi(gps.bytesAt(0, name)), QStringLiteral("первый"));
    ASSERT_EQ(object.column(otdel).dict.size(), 1u);
    EXPECT_EQ(object.column(otdel).dict[0].key, 5u);
    EXPECT_EQ(fromAnsi(object.column(otdel).dict[0].text), QStringLiteral("Маяк"));
    std::vector<Storage::Applied> applied = s.takeApplied();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_FALSE(applied[0].deleted);

    struct Case {
        const char* what;
        QByteArray notice;
        bool taken;
    };
    const Case cases[] = {
        {"seen already", first, true},
        {"one seen, one not",
         EncodeChangeNotice({2,
                             {{int(ChangeKind::Record),
                               QStringLiteral("gps"),
                               30,
                               {},
                               GpsRecord(30, QStringLiteral("пропуск"))},
                              {int(ChangeKind::Record),
                               QStringLiteral("gps"),
                               30,
                               {},
                               GpsRecord(30, QStringLiteral("пропуск"))}}}),
         false},
        {"after a gap", RecordNotice(4, 30, QStringLiteral("пропуск")), false},
        {"a kind no notice carries", RecordNotice(3, 30, QStringLiteral("пропуск"), int(ChangeKind::Table)),
         false},
        {"not a notice", QByteArray(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(s.applyNotice(c.notice), c.taken) << c.what;
        EXPECT_TRUE(s.takeApplied().empty()) << c.what;
        EXPECT_EQ(fromAnsi(gps.bytesAt(0, name)), QStringLiteral("первый")) << c.what;
    }

    ASSERT_TRUE(s.applyNotice(RecordNotice(3, 30, QStringLiteral("удалён"), int(ChangeKind::Deleted))));
    applied = s.takeApplied();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_TRUE(applied[0].deleted);
    EXPECT_EQ(fromAnsi(gps.bytesAt(0, name)), QStringLiteral("удалён"));
}

}  // namespace
