// A bare client on the session codec for the server's tests: one loopback socket, single-packet
// texts, acknowledgements. It answers what it is sent and keeps each text once, whatever copies come.
#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>
#include <algorithm>
#include <set>

#include "infra/bytes.h"
#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/udp_socket.h"
#include "session/datagram.h"

class WireClient {
  public:
    explicit WireClient(uint16_t serverPort) : server{0x7F000001, serverPort} { socket.Open(server.ip, 0); }

    void send(const QString& text) {
        QByteArray payload;
        StrToScrambledBytes(text, payload, VerP);
        DatagramHeader h;
        h.PacketType = PacketTypes::Json;
        h.MessageNumber = ++number;
        h.PacketCount = 1;
        h.PacketNumber = 1;
        h.MessageSize = int32_t(payload.size());
        h.TIDB = tag;
        const QByteArray d = EncodeDatagram(h, payload);
        socket.SendTo(d.constData(), int(d.size()), server);
    }

    // Takes what is waiting now, without waiting: counts acknowledgements (and the message numbers
    // they name), acknowledges texts and keeps each once; a re-sent copy is acknowledged again.
    void poll() {
        char buf[2048];
        UdpAddress from;
        int n;
        while ((n = socket.RecvFrom(buf, sizeof buf, from)) >= 0) {
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
    std::set<int64_t> ackedNumbers;
    std::set<int64_t> seen;
    QStringList texts;
};
