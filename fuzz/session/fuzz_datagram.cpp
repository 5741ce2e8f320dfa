// Arbitrary bytes as a datagram from the server: the decoder, then the receiving thread's checks, then
// whatever those queued, the way the client thread reads it. The first input byte picks whether the
// rest is taken as it is or as a plain datagram that is scrambled first, so that the fuzzer reaches
// past the marker check.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "session/datagram.h"
#include "session/recieve.h"

namespace {

constexpr UdpAddress kServer{0x7F000001, 9010};

void checkRoundTrip(const char* data, int size) {
    DatagramHeader header;
    if (!DecodeDatagram(QByteArrayView(data, size), header)) {
        return;
    }
    // Whatever decodes must encode back to the same header.
    char again[kHeaderEnd];
    EncodeDatagramHead(header, again);
    QByteArray wire(again, kHeaderEnd);
    wire.append(data + kHeaderEnd, size - kHeaderEnd);
    DatagramHeader decoded;
    if (!DecodeDatagram(wire, decoded) || !(decoded == header)) {
        std::abort();
    }
    QByteArrayView payload;
    if (!DecodeDatagramInPlace(wire.data(), wire.size(), decoded, payload)) {
        std::abort();
    }
    if (payload.size() != (header.DataSize >= kHeadSize ? header.DataSize - kHeadSize : 0)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
    if (inputSize < 1 || inputSize > 65536) {
        return 0;
    }
    QByteArray bytes(reinterpret_cast<const char*>(input) + 1, qsizetype(inputSize - 1));
    if ((input[0] & 1) != 0 && bytes.size() >= kHeaderEnd) {
        ScramblePayload(bytes.data(), kHeaderEnd);
        ScramblePayload(bytes.data() + kHeaderEnd, bytes.size() - kHeaderEnd);
    }
    const char* data = bytes.constData();
    const size_t size = size_t(bytes.size());
    const int length = int(size);
    checkRoundTrip(data, length);

    static SessionLink link;
    static UdpSocket socket;
    static recieve rec(socket, link);
    link.SetServer(kServer);
    std::vector<char> frame(recieve::kFrameLead + size);
    if (size > 0) {
        std::memcpy(frame.data() + recieve::kFrameLead, data, size);
    }
    char ack[kHeaderEnd];
    if (rec.TakeDatagram(frame.data(), length, kServer, ack)) {
        DatagramHeader answer;
        if (!DecodeDatagram(QByteArrayView(ack, kHeaderEnd), answer) ||
            answer.PacketType != PacketTypes::Ack) {
            std::abort();
        }
    }
    QByteArray record;
    while (link.soobE.GetSoobD(record)) {
        int64_t number = 0;
        int32_t packet = 0;
        if (ReadAckRecord(record, number, packet)) {
            continue;
        }
        QByteArray datagram = RecordDatagram(record).toByteArray();
        DatagramHeader header;
        QByteArrayView payload;
        if (!DecodeDatagramInPlace(datagram.data(), datagram.size(), header, payload)) {
            std::abort();  // the thread queued something the client cannot read
        }
    }
    return 0;
}
