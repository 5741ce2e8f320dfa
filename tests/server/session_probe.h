// Test helper: plays the client side of one ClientSession without a network. It takes the
// datagrams the session sends, reassembles each message, and acknowledges every data packet
// unless told not to.
#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <vector>

#include "infra/codepage.h"
#include "server/client_session.h"
#include "session/datagram.h"

struct ProbeMessage {
    uint8_t type = 0;
    int64_t number = 0;
    QByteArray bytes;
    QString text() const { return fromAnsi(bytes); }
};

class SessionProbe {
  public:
    ClientSession::SendFunction sender() {
        return [this](const char* d, int n) { wire.emplace_back(d, n); };
    }

    // Pumps the session and answers what it sent, until nothing more moves or `passes` run out.
    void run(ClientSession& s, int passes = 200) {
        for (int i = 0; i < passes; ++i) {
            now += 1000000;  // 1 ms
            s.pump(now);
            if (wire.empty()) {
                continue;
            }
            std::vector<QByteArray> got;
            got.swap(wire);
            for (QByteArray& d : got) {
                DatagramHeader h;
                QByteArrayView data;
                if (!DecodeDatagramInPlace(d.data(), d.size(), h, data) || !IsDataPacketType(h.PacketType)) {
                    continue;
                }
                ++packets;
                take(h, data);
                if (acknowledge) {
                    s.handleAck(h.MessageNumber, h.PacketNumber, now);
                }
            }
        }
    }

    std::vector<QString> texts() const {
        std::vector<QString> out;
        for (const ProbeMessage& m : messages) {
            if (m.type == PacketTypes::Json) {
                out.push_back(m.text());
            }
        }
        return out;
    }

    uint64_t now = 1000000000;
    bool acknowledge = true;
    int packets = 0;
    std::vector<QByteArray> wire;
    std::vector<ProbeMessage> messages;

  private:
    void take(const DatagramHeader& h, QByteArrayView data) {
        Partial& p = open[h.MessageNumber];
        if (p.got.empty()) {
            p.got.assign(size_t(h.PacketCount), false);
            p.bytes = QByteArray(h.PacketCount == 1 ? data.size() : h.MessageSize, '\0');
        }
        if (p.done || h.PacketNumber < 1 || h.PacketNumber > h.PacketCount) {
            return;
        }
        memcpy(p.bytes.data() + h.Offset, data.data(), size_t(data.size()));
        p.got[size_t(h.PacketNumber - 1)] = true;
        if (std::find(p.got.begin(), p.got.end(), false) == p.got.end()) {
            p.done = true;
            messages.push_back(ProbeMessage{h.PacketType, h.MessageNumber, p.bytes});
        }
    }

    struct Partial {
        std::vector<bool> got;
        QByteArray bytes;
        bool done = false;
    };
    std::map<int64_t, Partial> open;
};
