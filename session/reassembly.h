// The receiving half of a session on the client thread: the check against messages already
// delivered, the receive bitmaps, the reassembly of JSON texts and binary record messages that came
// in several packets, and where each complete message goes. File pieces are only checked here; the
// file itself is written by the session client, which keeps its bitmap in FileRsM.
//
// Nothing here trusts the peer: a piece is stored only when its packet number lies within the
// message's packet count and its bytes lie within the message's size, and no message makes us
// allocate more than the caps below, whatever its header claims.
//
// Thread-safety: one thread (the client thread) owns the object. The only field shared with the
// receiving thread is LastCountSoob, which the owner passes in (an atomic the receiving thread reads).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

#include "datagram.h"

// Largest JSON text or binary record message held in memory; nothing legitimate comes near it.
inline constexpr int32_t kMaxMemoryMessage = 64 * 1024 * 1024;
// Largest file: its size travels as a signed 32-bit number.
inline constexpr int32_t kMaxFilePackets = INT32_MAX / kMaxDataBytes + 1;

// One bit per packet, packet n (1-based) in bit (n-1) mod 8 of byte (n-1) div 8, counted from the
// least significant. The bits of the last byte that stand for no packet start set, so a complete
// message has every byte 255. Completion and progress are counted as bits are set, not scanned.
class TReceiveBitmap {
  public:
    // False (and the bitmap empty) for a count outside 1..maxCount.
    bool Create(int32_t packetCount, int32_t maxCount = kMaxFilePackets);
    void Clear();
    bool IsEmpty() const { return count_ == 0; }
    int32_t PacketCount() const { return count_; }

    // Sets the bit of packet n (1..PacketCount); returns whether it was set before.
    bool Set(int32_t n);
    // Clears the bit of packet n again (a piece that was taken but could not be kept).
    void Unset(int32_t n);
    bool Get(int32_t n) const;
    bool Complete() const { return count_ > 0 && missing_ == 0; }
    // Percent of the bitmap's bytes that are complete.
    int32_t Percent() const;
    const QByteArray& Bytes() const { return bits_; }

  private:
    QByteArray bits_;
    int32_t count_ = 0;
    int32_t missing_ = 0;
    int32_t fullBytes_ = 0;
};

// Where a complete message goes (the session client owns the queues).
enum class Route {
    None,          // nothing complete (or the piece was dropped)
    SoobEJSON,     // a command for the dispatcher
    ReadJSON,      // a long text for the main window, not dispatched
    ReadJSONData,  // a text containing "newlk" while logged in
    SoobERAW,      // a binary record message
    FilePiece,     // a checked file piece: the client writes it
    RawDoesNotFit  // a binary record piece outside its buffer: drop the session (code 5)
};

struct Delivery {
    Route route = Route::None;
    QString text;  // JSON routes: the text; RawDoesNotFit: the log line
    QByteArray raw;
};

class TReassembly {
  public:
    explicit TReassembly(std::atomic<int64_t>& lastCountSoob);

    // JSON text (packet types 0 and 20).
    QByteArray PacketString;
    TReceiveBitmap PacketRsM;
    // Binary record message (packet types 2 and 3).
    QByteArray PacketRAW;
    TReceiveBitmap PacketRsMRAW;
    uint32_t PacketRAWP = 0;  // low 32 bits of its message number, for the log
    // File being received: created by the client with StartFile.
    TReceiveBitmap FileRsM;

    // Takes one data packet (header and its unscrambled data bytes). `connect` tells whether the
    // client is logging in or logged in (the login window's Connect flag).
    Delivery Take(const DatagramHeader& header, QByteArrayView data, bool connect);

    // The first accepted piece of a file opens its bitmap; later pieces are checked against it.
    bool StartFile(const DatagramHeader& header);
    // The file's bitmap is complete: its message is delivered.
    void FinishFile(int64_t messageNumber);

    // Half-built messages of an earlier session are worthless: discard them at each registration.
    void Discard();

  private:
    Delivery takeText(const DatagramHeader& header, QByteArrayView data, bool connect);
    Delivery takeRaw(const DatagramHeader& header, QByteArrayView data);
    Delivery takeFilePiece(const DatagramHeader& header, QByteArrayView data);
    Delivery routeText(const QString& text, const DatagramHeader& header, bool single, bool connect);
    void delivered(int64_t messageNumber);
    bool stale(int64_t messageNumber) const;

    std::atomic<int64_t>& LastCountSoob;
    int64_t textNumber_ = 0;  // message number of the text being reassembled
    int64_t rawNumber_ = 0;
    int32_t fileSize_ = 0;  // MessageSize of the file whose bitmap is open
};

// Whether a piece's header is self-consistent for a message of at most maxSize bytes: a packet
// count of at least 1, a message size from 0 to PacketCount x 960 + 2 (a single datagram counts its
// two head bytes), a packet number within the count, and its data within the message.
bool PieceFits(const DatagramHeader& header, qsizetype dataSize, int64_t maxSize);
