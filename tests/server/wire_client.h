// A bare client on the session codec for the server's tests: one loopback socket (on 127.0.0.1 or
// another loopback address), single-packet texts and pieces of longer messages, acknowledgements. It
// answers what it is sent and keeps each text once, whatever copies come.
#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>
#include <algorithm>
#include <chrono>
#include <set>

#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/udp_socket.h"
#include "session/datagram.h"

class WireClient {
  public:
    explicit WireClient(uint16_t serverPort, uint32_t localIp = 0x7F000001) : server{0x7F000001, serverPort} {
        socket.Open(localIp, 0);
    }

    // Sends the text as one datagram, the next message number; returns the datagram's size.
    int send(const QString& text) {
        const QByteArray d = EncodeTextDatagram(text, ++number, tag);
        return socket.SendTo(d.constData(), int(d.size()), server);
    }

    // Packet `packetNumber` of message `messageNumber` (a text or a file of messageSize bytes in
    // packetCount packets), carrying `data` from `offset` on.
    void sendPiece(uint8_t type, int64_t messageNumber, int32_t packetCount, int32_t messageSize,
                   int32_t packetNumber, int32_t offset, QByteArrayView data) {
        QByteArray payload(kHeadSize, '\0');
        payload.append(data);
        SetRandomHead(payload);
        ScrambleBytes(payload, VerP);
        DatagramHeader h;
        h.PacketType = type;
        h.MessageNumber = messageNumber;
        h.PacketCount = packetCount;
        h.PacketNumber = packetNumber;
        h.MessageSize = messageSize;
        h.Offset = offset;
        h.TIDB = tag;
        const QByteArray d = EncodeDatagram(h, payload);
        socket.SendTo(d.constData(), int(d.size()), server);
    }

    // A whole message in pieces of 960 bytes, the next message number.
    void sendMessage(uint8_t type, const QByteArray& bytes) {
        const int32_t count =
            int32_t(std::max<qsizetype>(1, (bytes.size() + kMaxDataBytes - 1) / kMaxDataBytes));
        ++number;
        for (int32_t i = 0; i < count; ++i) {
            sendPiece(type, number, count, int32_t(bytes.size()), i + 1, i * kMaxDataBytes,
                      QByteArrayView(bytes)
                          .sliced(i * kMaxDataBytes)
                          .first(std::min<qsizetype>(kMaxDataBytes, bytes.size() - i * kMaxDataBytes)));
        }
    }

    // Takes what is waiting now, without waiting: counts acknowledgements (and the message numbers
    // they name), acknowledges texts and keeps each once; a re-sent copy is acknowledged again.
    void poll() {
        char buf[2048];
        UdpAddress from;
        int n;
        while ((n = socket.RecvFrom(buf, sizeof buf, from)) >= 0) {
            ++datagrams;
            bytes += n;
            DatagramHeader h;
            QByteArrayView data;
            if (!DecodeDatagramInPlace(buf, n, h, data)) {
                continue;
            }
            if (h.PacketType == PacketTypes::Ack) {
                ackedNumbers.insert(h.MessageNumber);
                ++acks;
            } else if (h.PacketType == PacketTypes::Json) {
                char ack[kHeaderEnd];
                EncodeAck(h, ack);
                socket.SendTo(ack, kHeaderEnd, server);
                if (seen.insert(h.MessageNumber).second) {
                    texts << fromAnsi(data);
                }
            }
        }
    }

    bool has(const QString& part) const { return texts.join(u'\n').contains(part); }
    qsizetype count(const QString& part) const { return texts.join(u'\n').count(part); }

    // Polls until `times` texts holding `part` have come, at most `seconds`.
    bool waitFor(const QString& part, int seconds = 10, qsizetype times = 1) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (count(part) < times && std::chrono::steady_clock::now() < end) {
            socket.WaitReadable(5);
            poll();
        }
        return count(part) >= times;
    }

    // Registers and waits for the answer; once accepted, the session is confirmed by a link test.
    bool login(const QString& user, const QString& password, int seconds = 10) {
        tag = {};
        number = 0;
        seen.clear();
        texts.clear();
        send(QStringLiteral("{\"$c$\":\"reg\",\"id\":\"%1\",\"username\":\"%2\",\"password\":\"%3\","
                            "\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
                 .arg(QUuid::createUuid().toString(QUuid::WithoutBraces), user, password));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!has(QStringLiteral("regok")) && !has(QStringLiteral("accessdenied")) &&
               std::chrono::steady_clock::now() < end) {
            socket.WaitReadable(5);
            poll();
        }
        if (!has(QStringLiteral("regok"))) {
            return false;
        }
        useTagOf(texts.first());
        send(QStringLiteral("{\"$c$\":\"testex\"}"));
        return waitFor(QStringLiteral("{\"$c$\":\"testex\"}"), seconds);
    }

    // Takes the session tag from a "regok" text, as a logged-in client does.
    void useTagOf(const QString& regok) {
        const QByteArray raw = QUuid(GetJSONValue(regok, QStringLiteral("tid"))).toRfc4122();
        std::copy(raw.begin(), raw.end(), tag.begin());
    }

    UdpAddress server;
    UdpSocket socket;
    TIDBytes tag{};
    int64_t number = 0;
    int acks = 0;
    int datagrams = 0;  // everything that came, answers and acknowledgements alike
    int64_t bytes = 0;
    std::set<int64_t> ackedNumbers;
    std::set<int64_t> seen;
    QStringList texts;
};
