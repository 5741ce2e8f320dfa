// A stand-in for the monitoring server in tests: one UDP socket on 127.0.0.1 that speaks the session
// datagrams through the same codec as the client. It acknowledges the client's data packets (unless
// told not to), reassembles the client's messages, and sends texts, files and record messages of its
// own, cut into packets of 960 data bytes and numbered upwards.
//
// Thread-safety: none; one test thread uses it.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "infra/udp_socket.h"
#include "session/datagram.h"

struct PeerMessage {
    uint8_t type = 0;
    int64_t number = 0;
    int32_t packets = 0;
    QByteArray bytes;
    TIDBytes tidb{};

    QString Text() const;
    // The value of "$c$" in a JSON text.
    QString Command() const;
};

class ScriptedPeer {
  public:
    ScriptedPeer();

    uint16_t Port() const { return socket_.LocalPort(); }
    // Where this peer sends until the client's first datagram names its address.
    void Target(uint16_t clientPort);

    // Whether data packets of the client are acknowledged.
    bool autoAck = true;
    // Every data datagram received, in order (re-sends included).
    std::vector<DatagramHeader> datagrams;
    int64_t acksReceived = 0;

    // Reads what has arrived (waiting up to waitMs for the first datagram); false when nothing came.
    bool Poll(int waitMs = 0);
    // Calls pump (which drives the client) and polls until a complete message satisfies match, or
    // until timeoutMs have passed. The message is taken out of the received ones.
    std::optional<PeerMessage> Await(const std::function<bool(const PeerMessage&)>& match,
                                     const std::function<void()>& pump, int timeoutMs = 3000);
    // The next complete message with this "$c$".
    std::optional<PeerMessage> AwaitCommand(const QString& command, const std::function<void()>& pump,
                                            int timeoutMs = 3000);
    // Complete messages not yet taken.
    std::deque<PeerMessage> messages;

    // The session tag written into what this peer sends.
    TIDBytes tidb{};
    int64_t nextNumber = 1;

    // Sends a message cut into packets; returns its message number.
    int64_t SendText(const QString& text, uint8_t type = PacketTypes::Json);
    int64_t SendBytes(uint8_t type, const QByteArray& bytes);
    // Sends one packet exactly as described; the payload gets its head and is scrambled here.
    void SendPacket(DatagramHeader header, const QByteArray& data);
    void SendRawDatagram(const QByteArray& datagram);

  private:
    struct Partial {
        PeerMessage message;
        std::vector<bool> have;
        int32_t missing = 0;
    };
    void take(const char* datagram, int size);

    UdpSocket socket_;
    UdpAddress client_;
    std::map<std::pair<uint8_t, int64_t>, Partial> partial_;
    // Messages already complete: late re-sends of their packets are only acknowledged.
    std::set<std::pair<uint8_t, int64_t>> complete_;
};
