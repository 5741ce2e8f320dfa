#include "recieve.h"

#include <cstring>

#include "infra/byte_codec.h"
#include "infra/ticks.h"

namespace {

// Room for each datagram of a batch: more than any datagram DecodeDatagram accepts, so only
// datagrams that would be refused anyway arrive cut (and are dropped).
constexpr int kReceiveCapacity = 2048;
static_assert(kReceiveCapacity > kMaxAcceptedDatagram);
// Datagrams taken with one system call.
constexpr int kReceiveBatch = 64;
constexpr int kAckRecordNumber = 19;
constexpr int kAckRecordPacket = 27;

uint64_t pack(const UdpAddress& address) {
    return (uint64_t(address.ip) << 16) | address.port;
}

UdpAddress unpack(uint64_t packed) {
    return {uint32_t(packed >> 16), uint16_t(packed & 0xFFFF)};
}

}  // namespace

void SessionLink::SetServer(const UdpAddress& address) {
    server_.store(pack(address));
}

UdpAddress SessionLink::Server() const {
    return unpack(server_.load());
}

void SessionLink::NoteRefused(const UdpAddress& address) {
    refused_.store(pack(address), std::memory_order_relaxed);
}

UdpAddress SessionLink::Refused() const {
    return unpack(refused_.load(std::memory_order_relaxed));
}

void MakeAckRecord(const DatagramHeader& header, char* record) {
    std::memset(record, 0, kAckRecordSize);
    record[0] = kRecordAck;
    PutLE(record + kAckRecordNumber, header.MessageNumber);
    PutLE(record + kAckRecordPacket, header.PacketNumber);
}

bool ReadAckRecord(QByteArrayView record, int64_t& messageNumber, int32_t& packetNumber) {
    if (record.size() != kAckRecordSize || record[0] != kRecordAck) {
        return false;
    }
    messageNumber = GetLE<int64_t>(record.data() + kAckRecordNumber);
    packetNumber = GetLE<int32_t>(record.data() + kAckRecordPacket);
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
    Stop();
}

bool recieve::TakeDatagram(char* frame, int size, const UdpAddress& from, char* ack) {
    if (!(from == Parent.Server())) {
        Parent.NoteRefused(from);
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
    UdpReceiveBatch batch(kReceiveBatch, kReceiveCapacity, kFrameLead);
    UdpSendBatch acks(FSocket);
    char ack[kHeaderEnd];
    while (!Terminated()) {
        const int count = batch.Receive(FSocket);
        for (int i = 0; i < count; ++i) {
            if (batch.Truncated(i) || !TakeDatagram(batch.Frame(i), batch.Size(i), batch.From(i), ack)) {
                continue;
            }
            acks.Add(ack, kHeaderEnd, Parent.Server());
            Parent.PackSend += 1;
            Parent.SpeedSizeOut += kHeaderEnd;
        }
        // Every datagram of the batch is in soobE by now: the loop may take them while the
        // acknowledgements go out together, none waiting for the next batch.
        if (count > 0) {
            Parent.LoopWake.Signal();
        }
        acks.Flush();
        if (count < kReceiveBatch) {
            // Returns at once when more has come, and every 10 ms to see Terminate: an idle client
            // wakes a hundred times a second, not a thousand.
            FSocket.WaitReadable(10);
        }
    }
}
