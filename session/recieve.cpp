#include "recieve.h"

#include <cstring>
#include <vector>

#include "infra/ticks.h"

namespace {

// recvfrom's buffer: any datagram the kernel can deliver fits, so none arrives cut.
constexpr int kReceiveCapacity = 65536;
constexpr int kAckRecordNumber = 19;
constexpr int kAckRecordPacket = 27;

uint64_t pack(const UdpAddress& address) {
    return (uint64_t(address.ip) << 16) | address.port;
}

}  // namespace

void SessionLink::SetServer(const UdpAddress& address) {
    server_.store(pack(address));
}

UdpAddress SessionLink::Server() const {
    const uint64_t packed = server_.load();
    return {uint32_t(packed >> 16), uint16_t(packed & 0xFFFF)};
}

void MakeAckRecord(const DatagramHeader& header, char* record) {
    std::memset(record, 0, kAckRecordSize);
    record[0] = kRecordAck;
    for (int k = 0; k < 8; ++k) {
        record[kAckRecordNumber + k] = char(uint64_t(header.MessageNumber) >> (8 * k));
    }
    for (int k = 0; k < 4; ++k) {
        record[kAckRecordPacket + k] = char(uint32_t(header.PacketNumber) >> (8 * k));
    }
}

bool ReadAckRecord(QByteArrayView record, int64_t& messageNumber, int32_t& packetNumber) {
    if (record.size() != kAckRecordSize || record[0] != kRecordAck) {
        return false;
    }
    uint64_t number = 0;
    for (int k = 0; k < 8; ++k) {
        number |= uint64_t(uint8_t(record[kAckRecordNumber + k])) << (8 * k);
    }
    uint32_t packet = 0;
    for (int k = 0; k < 4; ++k) {
        packet |= uint32_t(uint8_t(record[kAckRecordPacket + k])) << (8 * k);
    }
    messageNumber = int64_t(number);
    packetNumber = int32_t(packet);
    return true;
}

QByteArrayView RecordDatagram(QByteArrayView record) {
    if (record.size() < 1 || (record[0] != kRecordData && record[0] != kRecordBeforeLogin)) {
        return {};
    }
    return record.sliced(1);
}

recieve::recieve(UdpSocket& socket, SessionLink& parent) : FSocket(socket), Parent(parent) {}

recieve::~recieve() {
    // Stop here, while Execute's object is still whole; the base class would join too late.
    Terminate();
    WaitFor();
}

bool recieve::TakeDatagram(char* frame, int size, const UdpAddress& from, char* ack) {
    if (!(from == Parent.Server())) {
        return false;
    }
    Parent.PackRecive += 1;
    if (size == 0) {
        Parent.keepAlive.store(GetTicks());
        return false;
    }
    const char* datagram = frame + kFrameLead;
    DatagramHeader header;
    if (!DecodeDatagram(QByteArrayView(datagram, size), header)) {
        return false;
    }
    switch (header.PacketType) {
        case PacketTypes::KeepAlive:
            Parent.keepAlive.store(GetTicks());
            Parent.CountSvazG += 1;
            return false;
        case PacketTypes::Ack: {
            char record[kAckRecordSize];
            MakeAckRecord(header, record);
            Parent.soobE.PutSoob(record, kAckRecordSize);
            return false;
        }
        default:
            break;
    }
    Parent.AllPacket += 1;
    bool answer = true;
    const bool beforeLogin = header.PacketType == PacketTypes::JsonBeforeLogin;
    if (beforeLogin || header.MessageNumber >= Parent.LastCountSoob.load()) {
        frame[0] = beforeLogin ? kRecordBeforeLogin : kRecordData;
        // A full queue withholds the acknowledgement, so the server sends the packet again later.
        answer = Parent.soobE.PutSoob(frame, size + kFrameLead);
    }
    Parent.keepAlive.store(GetTicks());
    if (answer) {
        EncodeAck(header, ack);
    }
    return answer;
}

void recieve::Execute() {
    std::vector<char> frame(kFrameLead + kReceiveCapacity);
    char ack[kHeaderEnd];
    while (!Terminated()) {
        UdpAddress from;
        bool truncated = false;
        const int size = FSocket.RecvFrom(frame.data() + kFrameLead, kReceiveCapacity, from, &truncated);
        if (size < 0) {
            // Wakes as soon as a datagram arrives, and at least every millisecond to see Terminate.
            FSocket.WaitReadable(1);
            continue;
        }
        if (truncated || !TakeDatagram(frame.data(), size, from, ack)) {
            continue;
        }
        FSocket.SendTo(ack, kHeaderEnd, Parent.Server());
        Parent.PackSend += 1;
        Parent.SpeedSizeOut += kHeaderEnd;
    }
}
