// The sending half of a session: message numbering, single datagrams (SendOne), and the send window
// that carries one longer message at a time, cut into packets of up to 960 data bytes, each sent
// until it is acknowledged, with the re-send time-out and the window size adapted to the measured
// round trip.
//
// Time and the network are injected: every operation that needs the time takes `now` (a tick count,
// TickCoef ticks per millisecond), and every datagram leaves through the send function given at
// construction. The owner's send function addresses the datagram and keeps its own counters.
//
// How the session client drives it, once per loop pass:
//   idle:     StartText(m) for a JSON text, or BeginFileOffer() then, on the peer's acceptance,
//             StartFileData(size, read);
//   sending:  FillWindow(now) -> Complete means the message is through (remove it from its queue);
//             SendWindow(now)  -> Failed means a packet went out 20 times without answer (the window
//             has been emptied; drop the session, code 2);
//   always:   HandleAck(number, packet, now) for each acknowledgement record received.
//   session:  Abandon() when the session drops; ResizeWindow(192) and PacketTimeOut at registration.
//
// Thread-safety: none. One thread (the client thread) owns the object. The send function is called
// on that thread. The buffers of the window's slots are allocated as a message first needs them and
// given back when it completes, so that an idle window (a server holds one per client) costs little;
// no allocation happens per packet.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "datagram.h"

inline constexpr int32_t kWindowSlotsAtStart = 192;
// The adaptation moves halfway towards at most 250 slots, so the window never passes 249.
inline constexpr int32_t kWindowSlotsMax = 249;
inline constexpr uint32_t kPacketTimeOutAtStart = 4000;
// Re-sends are never closer together than this, whatever PacketTimeOut says: a time-out derived from
// a sub-millisecond registration round trip would otherwise re-send every packet on every pass and
// abandon the message within microseconds. The adaptation never sets less either.
inline constexpr uint32_t kMinPacketTimeOut = 50;
// A packet sent this many times without an acknowledgement abandons its message.
inline constexpr uint8_t kMaxSendings = 20;

// The message in the window.
struct stru_packetsb {
    bool start = false;           // a message is being sent through the window
    bool SFile = false;           // that message is a file
    int32_t CountPacket = 0;      // its number of packets
    int32_t SendCountPacket = 0;  // packet numbers given out so far
    int64_t SoobCountOut = 0;     // its message number
    int64_t Size = 0;             // its size in bytes
    int32_t Percent = 0;          // progress 0-100
};

class TSendWindow {
  public:
    // Sends one finished datagram; the datagram bytes are valid only during the call.
    using SendFunction = std::function<void(const char* datagram, int size)>;
    // Reads exactly `size` bytes at `offset` of the file being sent into `into`; false on failure.
    using ReadFunction = std::function<bool(int64_t offset, char* into, int size)>;

    enum class FillResult { Idle, Waiting, Sending, Complete, Failed };
    enum class SendResult { Sent, Failed };

    explicit TSendWindow(SendFunction send);

    // Ticks per millisecond (measured by the owner); 0 counts as 1.
    uint64_t TickCoef = 1;

    // Number of the last message sent; 0 just before the registration message.
    int64_t CountMes = 0;
    // Session tag written into every header.
    TIDBytes TIDB{};

    stru_packetsb PacketSend;
    uint8_t TypeSend = PacketTypes::Json;
    QByteArray PacketA;      // the bytes of the in-memory message being sent
    bool StartSend = false;  // a JSON text was started and has not completed
    bool SendOk = false;     // the last JSON text completed

    // Window size and time-out, adapted once a second while a text is being cut.
    int32_t CountPacketToSend = kWindowSlotsAtStart;
    uint32_t PacketTimeOut = kPacketTimeOutAtStart;  // ms
    uint32_t PacketPing = 0;                         // last round trip, ms
    uint64_t PacketTimeOutS = 0;                     // sum of round trips since the last adaptation
    uint32_t PacketTimeOutC = 0;                     // their number
    uint64_t speedTimer = 0;                         // ticks of the last adaptation

    // Display counters; the client loop also reads countsendall to tell whether a pass sent anything.
    int64_t CountReSend = 0;
    int64_t PacketReSend = 0;
    int64_t countsendall = 0;
    int64_t countrecivepod = 0;
    float ProcBad = 0;

    // One JSON text as a single datagram outside the window, as the next message number. Never
    // re-sent here. False (nothing sent, no number used) when the text does not fit one datagram.
    bool SendOne(const QString& data);

    // Starts a message held in memory: a JSON text (code-page bytes) or, for a server, raw records.
    void StartText(const QString& m);
    void StartMessage(uint8_t type, QByteArray bytes);

    // A file send begins with the offer; its packets are cut only after StartFileData.
    void BeginFileOffer();
    void StartFileData(int64_t size, ReadFunction read);

    // Cuts chunks of the message into free slots: every free slot for an in-memory message, at most
    // maxFileChunks per call for a file. Reports Complete once, when every chunk has been cut and
    // acknowledged (the window is then idle again); Waiting while a file has not been accepted;
    // Failed when the file could not be read (the message is abandoned).
    FillResult FillWindow(uint64_t now, int maxFileChunks = 1);

    // Sends every packet that is due, and re-sends after PacketTimeOut ms (at least kMinPacketTimeOut).
    SendResult SendWindow(uint64_t now);

    // An acknowledgement of packet `packetNumber` of message `messageNumber`. True when it freed a
    // slot of the message in the window; anything else has no effect.
    bool HandleAck(int64_t messageNumber, int32_t packetNumber, uint64_t now);

    // The once-a-second adaptation (acts only when more than 1000 ms have passed since speedTimer).
    void Adapt(uint64_t now);
    // Its first two steps, whatever the time: run when a file transfer completes.
    void AdaptAfterFile(uint64_t now);
    // Its time-out step alone: six times the mean of the round trips measured since the last one, at
    // least kMinPacketTimeOut; nothing when none was measured.
    void AdaptTimeOut();

    // Sets the window size within 192..249; it never shrinks below the highest slot that still holds
    // a packet.
    void ResizeWindow(int32_t count);

    // Drops the message in the window and empties every slot (the session is gone).
    void Abandon();

    bool SlotUsed(int32_t i) const { return PacketSSize[i] != 0; }
    int32_t CutPosition() const { return cut_; }

  private:
    // One slot holds a whole datagram; its payload is stored once, scrambled, at kHeaderEnd.
    using SlotBuffer = std::array<char, kMaxDatagram>;

    // The window, one entry per slot (kWindowSlotsMax entries; CountPacketToSend in use). PacketS
    // holds the buffers of the slots up to the highest one the message in the window has used.
    std::vector<SlotBuffer> PacketS;
    std::vector<int32_t> PacketSSize;      // payload length; 0 marks a free slot
    std::vector<int32_t> PacketSm;         // Offset
    std::vector<uint64_t> PacketTime;      // ticks when due (again); 0 means at once
    std::vector<uint64_t> PacketTimeSend;  // ticks of the last sending; 0 means never sent
    std::vector<int32_t> PacketCC;         // PacketNumber; 0 in a free slot
    std::vector<uint8_t> PacketCountSe;    // times sent

    void beginMessage(uint8_t type, int64_t size);
    bool cutInto(int32_t slot);
    // The window is empty: its slots' buffers go back.
    void releaseBuffers();
    void freeSlot(int32_t slot);
    void clearSlots();
    bool allSlotsFree() const;
    double elapsedMs(uint64_t now, uint64_t then) const;
    uint64_t coef() const { return TickCoef > 0 ? TickCoef : 1; }

    SendFunction send_;
    ReadFunction read_;
    bool dataReady_ = false;  // chunks may be cut (a file: accepted by the peer)
    int32_t cut_ = 0;         // chunks of the current message placed into the window
};
