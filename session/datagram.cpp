#include "datagram.h"

#include <cstring>
#include <random>

#include "infra/byte_codec.h"
#include "infra/bytes.h"

bool IsKnownPacketType(uint8_t type) {
    return IsDataPacketType(type) || type == PacketTypes::KeepAlive || type == PacketTypes::Ack;
}

bool IsDataPacketType(uint8_t type) {
    return type <= PacketTypes::RawAlt || type == PacketTypes::JsonBeforeLogin;
}

void WriteHeader(const DatagramHeader& header, char* out) {
    std::memset(out, 0, kHeaderSize);
    PutLE<uint16_t>(out + HeaderOffset::Marker, kDatagramMarker);
    PutLE<uint8_t>(out + HeaderOffset::PacketType, header.PacketType);
    PutLE<int32_t>(out + HeaderOffset::DataSize, header.DataSize);
    PutLE<int32_t>(out + HeaderOffset::Offset, header.Offset);
    PutLE<int32_t>(out + HeaderOffset::MessageSize, header.MessageSize);
    PutLE<int64_t>(out + HeaderOffset::MessageNumber, header.MessageNumber);
    PutLE<int32_t>(out + HeaderOffset::PacketCount, header.PacketCount);
    PutLE<int32_t>(out + HeaderOffset::PacketNumber, header.PacketNumber);
    std::memcpy(out + HeaderOffset::TIDB, header.TIDB.data(), kTIDBSize);
}

bool ReadHeader(const char* in, DatagramHeader& header) {
    if (GetLE<uint16_t>(in + HeaderOffset::Marker) != kDatagramMarker) {
        return false;
    }
    header.PacketType = GetLE<uint8_t>(in + HeaderOffset::PacketType);
    header.DataSize = GetLE<int32_t>(in + HeaderOffset::DataSize);
    header.Offset = GetLE<int32_t>(in + HeaderOffset::Offset);
    header.MessageSize = GetLE<int32_t>(in + HeaderOffset::MessageSize);
    header.MessageNumber = GetLE<int64_t>(in + HeaderOffset::MessageNumber);
    header.PacketCount = GetLE<int32_t>(in + HeaderOffset::PacketCount);
    header.PacketNumber = GetLE<int32_t>(in + HeaderOffset::PacketNumber);
    std::memcpy(header.TIDB.data(), in + HeaderOffset::TIDB, kTIDBSize);
    return true;
}

void WriteRandomHead(char* head) {
    // The head only varies the key stream; it needs no quality, but must cost nothing per packet.
    thread_local std::minstd_rand generator{std::random_device{}()};
    const auto value = generator();
    head[0] = static_cast<char>(value);
    head[1] = static_cast<char>(value >> 8);
}

void EncodeDatagramHead(const DatagramHeader& header, char* out) {
    WriteRandomHead(out);
    WriteHeader(header, out + kHeadSize);
    ScrambleBytes(out, kHeaderEnd, VerP);
}

int EncodeDatagram(DatagramHeader header, QByteArrayView scrambledPayload, char* out, int capacity) {
    const qsizetype size = kHeaderEnd + scrambledPayload.size();
    if (size > capacity || size > kMaxDatagram) {
        return -1;
    }
    header.DataSize = static_cast<int32_t>(scrambledPayload.size());
    EncodeDatagramHead(header, out);
    if (!scrambledPayload.isEmpty()) {
        std::memcpy(out + kHeaderEnd, scrambledPayload.data(), scrambledPayload.size());
    }
    return static_cast<int>(size);
}

QByteArray EncodeDatagram(DatagramHeader header, QByteArrayView scrambledPayload) {
    QByteArray out(kMaxDatagram, Qt::Uninitialized);
    const int size = EncodeDatagram(header, scrambledPayload, out.data(), kMaxDatagram);
    if (size < 0) {
        return {};
    }
    out.truncate(size);
    return out;
}

QByteArray EncodeTextDatagram(const QString& text, int64_t number, const TIDBytes& tag) {
    QByteArray payload;
    StrToScrambledBytes(text, payload, VerP);
    DatagramHeader h;
    h.PacketType = PacketTypes::Json;
    h.MessageNumber = number;
    h.PacketCount = 1;
    h.PacketNumber = 1;
    h.MessageSize = int32_t(payload.size());
    h.TIDB = tag;
    return EncodeDatagram(h, payload);
}

void EncodeAck(DatagramHeader received, char* out) {
    received.PacketType = PacketTypes::Ack;
    received.DataSize = 0;
    EncodeDatagramHead(received, out);
}

bool DecodeDatagram(QByteArrayView datagram, DatagramHeader& header) {
    if (datagram.size() < kMinAcceptedDatagram || datagram.size() > kMaxAcceptedDatagram) {
        return false;
    }
    char plain[kHeaderEnd];
    std::memcpy(plain, datagram.data(), kHeaderEnd);
    ScrambleBytes(plain, kHeaderEnd, VerP);
    DatagramHeader read;
    if (!ReadHeader(plain + kHeadSize, read)) {
        return false;
    }
    if (read.DataSize < 0 || datagram.size() != kHeaderEnd + qsizetype(read.DataSize)) {
        return false;
    }
    if (!IsKnownPacketType(read.PacketType)) {
        return false;
    }
    if (IsDataPacketType(read.PacketType) && read.DataSize < kHeadSize) {
        return false;
    }
    header = read;
    return true;
}

bool DecodeDatagramInPlace(char* datagram, qsizetype size, DatagramHeader& header, QByteArrayView& data) {
    if (!DecodeDatagram(QByteArrayView(datagram, size), header)) {
        return false;
    }
    if (header.DataSize >= kHeadSize) {
        ScramblePayload(datagram + kHeaderEnd, header.DataSize);
        data = QByteArrayView(datagram + kHeaderEnd + kHeadSize, header.DataSize - kHeadSize);
    } else {
        data = QByteArrayView();
    }
    return true;
}

void ScramblePayload(char* payload, qsizetype size) {
    ScrambleBytes(payload, size, VerP);
}
