// AddFieldData: one column from a buffer laid out column by column, with usage counters for
// dictionaries, and buffers that end too early.
#include <gtest/gtest.h>

#include "client_table_builder.h"
#include "infra/byte_codec.h"
#include "table_file_builder.h"
#include "tables/base_client.h"

namespace {

using client_tables::Descriptor;

const table_files::WorkDir kWorkDir;

class ColumnBufferTest : public ::testing::Test {
  protected:
    int32_t Add(const Stru_NetFields& fi) {
        t.CountRecordFilter = 3;
        return t.AddField(fi);
    }
    TBaseClient t;
};

TEST_F(ColumnBufferTest, ReadsConsecutiveColumnsAndAdvances) {
    const Stru_NetFields id = Descriptor("n_abs", 1, 4);
    const Stru_NetFields dict = Descriptor("s", 16, 1, 6);
    const Stru_NetFields txt = Descriptor("t", 24, 4);
    QByteArray p;
    for (int32_t v : {7, 8, 9}) {
        AppendLE(p, v);
    }
    p.append("\x02\x00\x02", 3);  // keys of the three records
    AppendLE(p, int32_t(1));      // one entry: key 2, slot of 6 bytes
    AppendLE(p, uint16_t(2));
    p.append(TextSlot("two", 6));
    for (int32_t v : {0, -1, 0}) {
        AppendLE(p, v);
    }
    AppendLE(p, int32_t(3));
    p.append("\x02hi", 3);
    int64_t at = 0;
    ASSERT_TRUE(t.AddFieldData(id, p, Add(id), at));
    ASSERT_TRUE(t.AddFieldData(dict, p, Add(dict), at));
    ASSERT_TRUE(t.AddFieldData(txt, p, Add(txt), at));
    EXPECT_EQ(at, p.size());
    EXPECT_EQ(t.Fields[0]->Data.DataInteger, (ColumnArray<int32_t>{7, 8, 9}));
    const FieldGFB& s = *t.Fields[1];
    EXPECT_EQ(s.Data.DataInteger.size(), 256u);
    EXPECT_EQ(s.Data.DataInteger[2], 2);
    EXPECT_EQ(s.Data.DataInteger[0], 1);
    EXPECT_EQ(s.Data.DataStringN, (std::vector<QString>{"two"}));
    t.CountRecord = 3;
    t.RecNoTemp = 3;
    EXPECT_EQ(t.Fields[1]->AsString(), "two");
    t.RecNoTemp = 1;
    EXPECT_EQ(t.Fields[2]->AsString(), "hi");
}

TEST_F(ColumnBufferTest, ShortBufferReadsNothingAndKeepsTheOffset) {
    const struct {
        Stru_NetFields fi;
        qsizetype complete;  // bytes before the count that overreaches
    } cases[] = {{Descriptor("i", 1, 4), 0},
                 {Descriptor("s", 2, 10), 0},
                 {Descriptor("d", 15, 2, 8), 6},
                 {Descriptor("t", 24, 4), 12}};
    for (const auto& c : cases) {
        QByteArray p(c.complete, '\x01');
        AppendLE(p, int32_t(1'000'000));  // an entry count or blob length far beyond the buffer
        int64_t at = 0;
        EXPECT_FALSE(t.AddFieldData(c.fi, p, Add(c.fi), at)) << c.fi.name.toStdString();
        EXPECT_EQ(at, 0);
    }
    int64_t beyond = 100;
    EXPECT_FALSE(t.AddFieldData(cases[0].fi, QByteArray(4, '\0'), 0, beyond));
}

TEST_F(ColumnBufferTest, NoRecordsEmptiesTheCounters) {
    const Stru_NetFields id = Descriptor("n_abs", 1, 4);
    const int32_t index = Add(id);
    t.CountRecordFilter = 0;
    t.CountRecord = 5;
    int64_t at = 0;
    EXPECT_TRUE(t.AddFieldData(id, QByteArray(), index, at));
    EXPECT_EQ(t.CountRecord, 0);
}

}  // namespace
