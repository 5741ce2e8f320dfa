// A session's worth of pieces with arbitrary headers through the codec and the reassembly: whatever
// the headers claim, nothing is stored outside its buffer or bitmap and nothing huge is allocated.
#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "session/datagram.h"
#include "session/reassembly.h"

namespace {

const uint8_t kTypes[] = {PacketTypes::Json, PacketTypes::File, PacketTypes::Raw, PacketTypes::RawAlt,
                          PacketTypes::JsonBeforeLogin};

// Small numbers most of the time, so that pieces of one message meet; any number sometimes.
int32_t number(FuzzedDataProvider& in, int32_t usual) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, usual) : in.ConsumeIntegral<int32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::atomic<int64_t> lastCountSoob{0};
    TReassembly reassembly(lastCountSoob);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange<int>(0, 31) == 0) {
            reassembly.Discard();
            lastCountSoob = 0;
        }
        DatagramHeader h;
        h.PacketType = in.PickValueInArray(kTypes);
        h.PacketCount = number(in, 12);
        h.PacketNumber = number(in, 12);
        h.Offset = number(in, 12 * kMaxDataBytes);
        h.MessageSize = number(in, 12 * kMaxDataBytes);
        h.MessageNumber =
            in.ConsumeBool() ? in.ConsumeIntegralInRange<int64_t>(-1, 4) : in.ConsumeIntegral<int64_t>();
        const std::string bytes = in.ConsumeRandomLengthString(kMaxDataBytes);
        QByteArray payload = QByteArray(kHeadSize, '\0') + QByteArray::fromStdString(bytes);
        WriteRandomHead(payload.data());
        ScramblePayload(payload.data(), payload.size());

        QByteArray wire = EncodeDatagram(h, payload);
        DatagramHeader header;
        QByteArrayView piece;
        if (!DecodeDatagramInPlace(wire.data(), wire.size(), header, piece)) {
            std::abort();  // everything we encode must decode
        }
        const Delivery out = reassembly.Take(header, piece, in.ConsumeBool());
        if (out.route != Route::FilePiece) {
            continue;
        }
        if (reassembly.FileRsM.IsEmpty() && !reassembly.StartFile(header)) {
            std::abort();  // a piece passed as fit must open its bitmap
        }
        reassembly.FileRsM.Set(header.PacketNumber);
        if (reassembly.FileRsM.Complete()) {
            reassembly.FinishFile(header.MessageNumber);
        }
    }
    return 0;
}
