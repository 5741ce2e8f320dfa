// Arbitrary dictionary change messages, with an arbitrary Size argument, applied to dictionary
// columns of both key widths; the records and every dictionary entry are read afterwards.
#include <QByteArray>
#include <QtEndian>
#include <cstddef>
#include <cstdint>

#include "tables/base_client.h"
#include "tables/record_message.h"
#include "tests/tables/client_table_builder.h"
#include "tests/tables/table_file_builder.h"

namespace {

using namespace client_tables;

const table_files::WorkDir kWorkDir;

constexpr int32_t kRecords = 3;

void MakeTable(TBaseClient& t) {
    const Column columns[] = {
        {"n_abs", 1, 4}, {"p_d", 3, 1}, {"k15", 15, 2, 8}, {"k16", 16, 1, 8}, {"n", 1, 4}};
    MakeBlankTable(t, columns, kRecords);
    t.Fields[2]->Data.DataWord = {1, 2, 0};
    t.Fields[2]->Data.DataCardinal = {1, 2};
    t.Fields[2]->Data.DataStringN = {QStringLiteral("a"), QStringLiteral("b")};
    t.Fields[3]->Data.DataByte = {1, 5, 0};
    t.Fields[3]->Data.DataWord = {1};
}

// Lets the fuzzer reach the handling of each action without guessing the command and a column name:
// bit 0 of the control byte writes the command, bits 1-2 pick a column name (or leave the bytes).
void Patch(QByteArray& message, uint8_t control) {
    if ((control & 1) && message.size() >= 8) {
        qToLittleEndian(NetCommand::SprChange, message.data() + 4);
    }
    static const char* const names[] = {"k15", "k16", "n"};
    const int pick = control >> 1 & 3;
    if (pick > 0 && message.size() >= 42) {
        message.replace(26, 16, Slot(names[pick - 1], 16));
    }
}

}  // namespace

// Input: bytes 0-1 a signed adjustment of the Size argument, then messages of up to 64 bytes each,
// every one preceded by a control byte and its length byte (so that several changes meet the same
// dictionary).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int32_t adjust = qFromLittleEndian<int16_t>(data);
    TBaseClient t;
    MakeTable(t);
    size_t at = 2;
    while (at + 1 < size) {
        const uint8_t control = data[at++];
        const size_t wanted = data[at++] % 65;
        const size_t len = std::min(wanted, size - at);
        QByteArray message(reinterpret_cast<const char*>(data + at), qsizetype(len));
        at += len;
        Patch(message, control);
        t.NetData(message, int32_t(len) + adjust);
    }
    t.RefreshData();
    auto guard = t.Guard();
    for (const char* name : {"k15", "k16"}) {
        for (int32_t pos = 1; pos <= t.Count(); ++pos) {
            FieldGFB* f = t.GetField(QString::fromLatin1(name), pos);
            f->AsString();
            f->GetSprValueNumber();
        }
        FieldGFB* f = t.GetField(QString::fromLatin1(name), 0);
        for (int32_t k = 0; k <= f->GetSprCount() + 1; ++k) {
            f->GetSprString(k);
            f->GetSprNumber(k);
        }
    }
    return 0;
}
