// Arbitrary record updates applied to a table with a column of every type code, followed by a
// sorted and an unsorted view rebuild and a read of every visible value: nothing reads or writes
// outside an array, and no update makes the table grow beyond its caps.
#include <QByteArray>
#include <QtEndian>
#include <cstddef>
#include <cstdint>

#include "tables/base_client.h"
#include "tests/tables/client_table_builder.h"
#include "tests/tables/table_file_builder.h"

namespace {

using namespace client_tables;

const table_files::WorkDir kWorkDir;

// Codes 2, 11, 15 and 16 with slots, a column of a code without storage, and a fixed code whose Size
// is not its element width.
const Column kColumns[] = {{"n_abs", 1, 4, 0}, {"p_d", 3, 1, 0},  {"s", 2, 6, 0},    {"b", 4, 1, 0},
                           {"w", 5, 2, 0},     {"f", 6, 4, 0},    {"d", 7, 8, 0},    {"c", 8, 4, 0},
                           {"dt", 9, 8, 0},    {"a", 11, 3, 0},   {"i64", 13, 8, 0}, {"k15", 15, 2, 5},
                           {"k16", 16, 1, 4},  {"col", 21, 4, 0}, {"txt", 24, 4, 0}, {"ts", 25, 4, 0},
                           {"none", 10, 0, 0}, {"odd", 1, 3, 0}};
constexpr int32_t kRecords = 3;
// Larger record counts and text blobs only make each run slower and bigger (up to the library's caps,
// which the unit tests cover).
constexpr int32_t kMaxFuzzedCount = 64;
constexpr int32_t kMaxFuzzedBlob = 1 << 16;

void MakeTable(TBaseClient& t) {
    MakeBlankTable(t, kColumns, kRecords);
    t.Fields[11]->Data.DataCardinal = {1, 2};
    t.Fields[11]->Data.DataStringN = {QStringLiteral("a"), QStringLiteral("b")};
    t.Fields[11]->Data.DataInteger.assign(65536, 0);
    t.Fields[12]->Data.DataWord = {1};
    t.Fields[12]->Data.DataStringN = {QStringLiteral("x")};
    t.Fields[12]->Data.DataInteger.assign(256, 0);
    t.Fields[14]->Data.DataByte = {2, 'h', 'i'};
}

// Structured mode: each entry is a column index byte, a length byte and that many value bytes, so
// that well-formed names come easily; the raw mode hands the input over unchanged.
QByteArray BuildUpdate(const uint8_t* data, size_t size) {
    QByteArray out = Slot("t", 9) + QByteArray(8, '\0');
    size_t at = 0;
    for (int k = 0; k < 8 && at < size; ++k) {
        out[9 + k] = char(data[at++]);
    }
    while (at + 1 < size) {
        const size_t column = data[at++] % (std::size(kColumns) + 1);
        const size_t wanted = data[at++] % 24;
        const size_t len = std::min(wanted, size - at);
        out += Slot(column < std::size(kColumns) ? kColumns[column].name : QStringLiteral("zz"), 16);
        out.append(reinterpret_cast<const char*>(data + at), qsizetype(len));
        at += len;
    }
    return out;
}

void ReadEverything(TBaseClient& t) {
    auto guard = t.Guard();
    for (int32_t pos = 1; pos <= t.Count(); ++pos) {
        for (int32_t c = 1; c <= t.GetCountFields(); ++c) {
            FieldGFB* f = t.GetFieldNumber(c, pos);
            f->AsString();
            f->AsInt64();
            f->AsDateTime();
            f->GetSprValueNumber();
        }
    }
}

bool Affordable(const QByteArray& update) {
    if (update.size() >= 17 && qFromLittleEndian<int32_t>(update.constData() + 13) > kMaxFuzzedCount) {
        return false;
    }
    static const QByteArray blobColumn = QByteArray("\x03txt").append(12, '\0');
    for (qsizetype at = update.indexOf(blobColumn); at >= 0; at = update.indexOf(blobColumn, at + 1)) {
        const qsizetype length = at + blobColumn.size();
        if (length + 4 <= update.size() &&
            qFromLittleEndian<int32_t>(update.constData() + length) > kMaxFuzzedBlob) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool structured = data[0] & 1;
    const int32_t pos = int8_t(data[1]);
    const QByteArray update = structured
                                  ? BuildUpdate(data + 2, size - 2)
                                  : QByteArray(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    if (!Affordable(update)) {
        return 0;
    }

    TBaseClient t;
    MakeTable(t);
    t.PutDataFieldPos(pos, update);
    t.RefreshData();
    ReadEverything(t);
    t.SetSort(kColumns[data[0] >> 1 & 15].name);
    t.SetSorted(true);
    ReadEverything(t);
    return 0;
}
