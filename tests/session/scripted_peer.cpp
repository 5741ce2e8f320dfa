#include "scripted_peer.h"

#include <QElapsedTimer>
#include <cstring>
#include <thread>

#include "infra/codepage.h"
#include "infra/json_text.h"

QString PeerMessage::Text() const {
    return fromAnsi(bytes);
}

QString PeerMessage::Command() const {
    return GetJSONValue(Text(), QStringLiteral("$c$"));
}

ScriptedPeer::ScriptedPeer() {
    uint32_t loopback = 0;
    ParseIPv4(QStringLiteral("127.0.0.1"), loopback);
    socket_.Open(loopback, 0);
}

void ScriptedPeer::Target(uint16_t clientPort) {
    ParseIPv4(QStringLiteral("127.0.0.1"), client_.ip);
    client_.port = clientPort;
}

bool ScriptedPeer::Poll(int waitMs) {
    if (waitMs > 0) {
        socket_.WaitReadable(waitMs);
    }
    bool any = false;
    char buffer[65536];
    for (;;) {
        UdpAddress from;
        const int size = socket_.RecvFrom(buffer, sizeof buffer, from);
        if (size < 0) {
            return any;
        }
        any = true;
        client_ = from;
        take(buffer, size);
    }
}

void ScriptedPeer::take(const char* datagram, int size) {
    QByteArray copy(datagram, size);
    DatagramHeader header;
    QByteArrayView data;
    if (!DecodeDatagramInPlace(copy.data(), copy.size(), header, data)) {
        return;
    }
    if (header.PacketType == PacketTypes::Ack) {
        acksReceived += 1;
        return;
    }
    datagrams.push_back(header);
    if (autoAck) {
        char ack[kHeaderEnd];
        EncodeAck(header, ack);
        socket_.SendTo(ack, kHeaderEnd, client_);
    }
    const std::pair<uint8_t, int64_t> key{header.PacketType, header.MessageNumber};
    if (header.PacketType == PacketTypes::Json && header.MessageNumber == 1 && header.PacketCount == 1) {
        // Message 1 is a registration: the client numbers its messages from the start again.
        complete_.clear();
        partial_.clear();
    }
    if (complete_.count(key) != 0) {
        return;
    }
    Partial& partial = partial_[key];
    if (partial.have.empty()) {
        partial.message.type = header.PacketType;
        partial.message.number = header.MessageNumber;
        partial.message.packets = header.PacketCount;
        partial.message.tidb = header.TIDB;
        // A single datagram counts its head bytes in MessageSize; its text is the data bytes.
        const int32_t size = header.PacketCount == 1 ? int32_t(data.size()) : header.MessageSize;
        partial.message.bytes = QByteArray(size, '\0');
        partial.have.assign(header.PacketCount, false);
        partial.missing = header.PacketCount;
    }
    const int32_t n = header.PacketNumber;
    if (n < 1 || n > int32_t(partial.have.size()) ||
        int64_t(header.Offset) + data.size() > partial.message.bytes.size()) {
        return;
    }
    std::memcpy(partial.message.bytes.data() + header.Offset, data.data(), data.size());
    if (!partial.have[n - 1]) {
        partial.have[n - 1] = true;
        partial.missing -= 1;
    }
    if (partial.missing == 0) {
        messages.push_back(partial.message);
        complete_.insert(key);
        partial_.erase(key);
    }
}

std::optional<PeerMessage> ScriptedPeer::Await(const std::function<bool(const PeerMessage&)>& match,
                                               const std::function<void()>& pump, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        for (auto it = messages.begin(); it != messages.end(); ++it) {
            if (match(*it)) {
                PeerMessage found = *it;
                messages.erase(it);
                return found;
            }
        }
        if (timer.elapsed() > timeoutMs) {
            return std::nullopt;
        }
        if (pump) {
            pump();
        }
        if (!Poll(0)) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
}

std::optional<PeerMessage> ScriptedPeer::AwaitCommand(const QString& command,
                                                      const std::function<void()>& pump, int timeoutMs) {
    return Await(
        [&command](const PeerMessage& m) { return m.type == PacketTypes::Json && m.Command() == command; },
        pump, timeoutMs);
}

int64_t ScriptedPeer::SendText(const QString& text, uint8_t type) {
    return SendBytes(type, toAnsi(text));
}

int64_t ScriptedPeer::SendBytes(uint8_t type, const QByteArray& bytes) {
    const int64_t number = nextNumber++;
    const int32_t count = bytes.isEmpty() ? 1 : int32_t((bytes.size() - 1) / kMaxDataBytes + 1);
    for (int32_t i = 0; i < count; ++i) {
        DatagramHeader header;
        header.PacketType = type;
        header.Offset = i * kMaxDataBytes;
        header.MessageSize = count == 1 && type != PacketTypes::File ? int32_t(bytes.size()) + kHeadSize
                                                                     : int32_t(bytes.size());
        header.MessageNumber = number;
        header.PacketCount = count;
        header.PacketNumber = i + 1;
        SendPacket(header, bytes.mid(header.Offset, kMaxDataBytes));
    }
    return number;
}

void ScriptedPeer::SendPacket(DatagramHeader header, const QByteArray& data) {
    QByteArray payload(kHeadSize, '\0');
    payload += data;
    WriteRandomHead(payload.data());
    ScramblePayload(payload.data(), payload.size());
    header.TIDB = tidb;
    SendRawDatagram(EncodeDatagram(header, payload));
}

void ScriptedPeer::SendRawDatagram(const QByteArray& datagram) {
    socket_.SendTo(datagram.constData(), int(datagram.size()), client_);
}
