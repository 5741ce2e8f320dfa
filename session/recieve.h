// The receiving thread of a session client: reads the shared UDP socket, drops anything that is not
// a well-formed datagram from the current server address, acknowledges data packets at once, stops
// late copies of messages already delivered, and hands the rest to the client thread through soobE.
//
// Records in soobE (read them with ReadAckRecord / RecordDatagram):
//   acknowledgement: 31 bytes: byte 0 is 0, bytes 19-26 the acknowledged MessageNumber and
//                    bytes 27-30 its PacketNumber, the rest zero;
//   datagram:        a kind byte (2 for packet types 0-3, 20 for type 20) and the datagram as received,
//                    still scrambled.
//
// Lifetime: the client owns a SessionLink (or derives from it) and the socket, creates the thread with
// both and calls Start. It is stopped (Stop, or destroying its ThreadPtr) before the socket is closed:
// the thread reads the socket until it has stopped. The client thread also sends on the socket; sending
// from two threads at once is safe for a datagram socket.
#pragma once

#include <QByteArrayView>
#include <atomic>
#include <cstdint>

#include "datagram.h"
#include "infra/queues.h"
#include "infra/thread.h"
#include "infra/udp_socket.h"
#include "infra/wake_up.h"

inline constexpr int kAckRecordSize = 31;
inline constexpr char kRecordAck = 0;
inline constexpr char kRecordData = 2;
inline constexpr char kRecordBeforeLogin = 20;
inline constexpr int32_t kSoobECapacity = 1000;

// What the receiving thread and the client thread share. Every field may be read and written from
// either thread; the counters are for display and only ever added to.
struct SessionLink {
    SessionLink() { soobE.SetSizeOch(kSoobECapacity); }

    // The client loop waits on it when a pass found nothing to do. The receiving thread signals it
    // once per batch of datagrams, after queueing them all, so that the loop does not contend for
    // soobE while the rest of the batch goes in; in the client, every put into the outgoing queues
    // signals it as well.
    TWakeUp LoopWake;
    OchFIFO soobE;
    std::atomic<uint64_t> keepAlive{0};     // ticks of the last sign of life from the server
    std::atomic<int64_t> LastCountSoob{0};  // lowest message number still accepted
    std::atomic<int64_t> PackRecive{0};     // datagrams received from the server
    std::atomic<int64_t> AllPacket{1};      // data datagrams received
    std::atomic<int64_t> CountSvazG{0};     // keep-alives and records processed
    std::atomic<int64_t> PackSend{0};       // datagrams sent (both threads send)
    std::atomic<int64_t> SpeedSizeOut{0};   // bytes sent since the last once-a-second tick

    // The current server address: datagrams from anywhere else are ignored, acknowledgements go here.
    void SetServer(const UdpAddress& address);
    UdpAddress Server() const;
    // The last address other than the server's that a datagram came from (zero when none): the check
    // stays, but a server answering from another address is named, in the log and to the operator.
    void NoteRefused(const UdpAddress& address);
    UdpAddress Refused() const;

  private:
    std::atomic<uint64_t> server_{0};
    std::atomic<uint64_t> refused_{0};
};

void MakeAckRecord(const DatagramHeader& header, char* record);
bool ReadAckRecord(QByteArrayView record, int64_t& messageNumber, int32_t& packetNumber);
// The datagram inside a datagram record; empty for anything else.
QByteArrayView RecordDatagram(QByteArrayView record);

class recieve : public TThread {
  public:
    // Bytes in front of a received datagram that TakeDatagram may use for the record kind.
    static constexpr int kFrameLead = 1;

    recieve(UdpSocket& socket, SessionLink& parent);
    ~recieve() override;

    UdpSocket& FSocket;
    SessionLink& Parent;

    // One datagram through the checks: frame[kFrameLead..kFrameLead + size) holds the datagram as it
    // came from `from`; frame[0] is scratch. Queues what the client thread must see and returns true
    // when `ack` (kHeaderEnd bytes) holds an acknowledgement to send to the server.
    bool TakeDatagram(char* frame, int size, const UdpAddress& from, char* ack);

  protected:
    void Execute() override;
};
