// The session datagram: the one place that knows its byte layout. Client, stand-in server, tests and
// fuzz targets all encode and decode through these functions; nobody else reads header bytes.
//
// Layout (all integers little-endian):
//   bytes 0-1    head: two random bytes, new for every datagram
//   bytes 2-56   header (55 bytes), scrambled with key table VerP seeded by the head
//   bytes 57-    payload, DataSize bytes: its own two head bytes, then the data bytes, scrambled
//                separately by whoever produced it (the sender scrambles each payload once, however
//                often the datagram is re-sent)
// A datagram is exactly DataSize + 57 bytes long.
//
// Stateless apart from a per-thread random generator for the heads; any thread may call anything.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>

// Key table of the scrambling; the client uses table 1 for its whole life.
inline constexpr uint8_t VerP = 1;

inline constexpr uint16_t kDatagramMarker = 0xFFAA;  // the bytes AA FF
inline constexpr int kHeadSize = 2;
inline constexpr int kHeaderSize = 55;
inline constexpr int kHeaderEnd = kHeadSize + kHeaderSize;  // 57: where the payload starts
inline constexpr int kMaxDataBytes = 960;                   // data bytes of one packet
inline constexpr int kMaxPayload = kMaxDataBytes + kHeadSize;
inline constexpr int kMaxDatagram = kHeaderEnd + kMaxPayload;  // 1019: the largest we send
inline constexpr int kMinAcceptedDatagram = kHeaderEnd;        // 57
inline constexpr int kMaxAcceptedDatagram = 1499;
inline constexpr int kTIDBSize = 16;

// Offsets of the fields inside the 55-byte header (add kHeadSize for the datagram offset).
namespace HeaderOffset {
inline constexpr int Marker = 0;
inline constexpr int PacketType = 2;
inline constexpr int DataSize = 3;
inline constexpr int Reserved = 7;  // 8 zero bytes
inline constexpr int Offset = 15;
inline constexpr int MessageSize = 19;
inline constexpr int MessageNumber = 23;
inline constexpr int PacketCount = 31;
inline constexpr int PacketNumber = 35;
inline constexpr int TIDB = 39;
}  // namespace HeaderOffset

namespace PacketTypes {
inline constexpr uint8_t Json = 0;              // piece of a JSON text message (both sides)
inline constexpr uint8_t File = 1;              // piece of a file (both sides)
inline constexpr uint8_t Raw = 2;               // piece of a binary record message (server)
inline constexpr uint8_t RawAlt = 3;            // the same, second kind (server)
inline constexpr uint8_t JsonBeforeLogin = 20;  // JSON text acted on only while not logged in (server)
inline constexpr uint8_t KeepAlive = 254;
inline constexpr uint8_t Ack = 255;  // header of the acknowledged packet echoed back, no payload
}  // namespace PacketTypes

bool IsKnownPacketType(uint8_t type);
// Types that carry a payload and are acknowledged by the receiver.
bool IsDataPacketType(uint8_t type);

using TIDBytes = std::array<uint8_t, kTIDBSize>;

// The header fields, named as the protocol names them. Marker is implied (always written, checked
// on decoding); the reserved bytes are always zero on the way out and ignored on the way in.
struct DatagramHeader {
    uint8_t PacketType = 0;
    int32_t DataSize = 0;
    int32_t Offset = 0;
    int32_t MessageSize = 0;
    int64_t MessageNumber = 0;
    int32_t PacketCount = 0;
    int32_t PacketNumber = 0;
    TIDBytes TIDB{};

    bool operator==(const DatagramHeader&) const = default;
};

// Writes the 55 plain header bytes (marker included) to out.
void WriteHeader(const DatagramHeader& header, char* out);
// Reads the 55 plain header bytes; false when the marker is wrong.
bool ReadHeader(const char* in, DatagramHeader& header);

// Writes a fresh random head into two bytes. Cheap: no reseeding, no locking.
void WriteRandomHead(char* head);

// Builds head + scrambled header at out[0..57). The header's DataSize is written as given: the
// caller puts the payload (already scrambled) right behind it.
void EncodeDatagramHead(const DatagramHeader& header, char* out);

// Builds a whole datagram into out (capacity bytes); DataSize is taken from the payload's length.
// Returns the datagram's length, or -1 when it does not fit into capacity or exceeds kMaxDatagram.
int EncodeDatagram(DatagramHeader header, QByteArrayView scrambledPayload, char* out, int capacity);
// Convenience for tests and single datagrams: the same into a new array (empty on failure).
QByteArray EncodeDatagram(DatagramHeader header, QByteArrayView scrambledPayload);
// A whole JSON text as message `number` in one datagram, scrambled and tagged (empty when the text
// does not fit into one datagram).
QByteArray EncodeTextDatagram(const QString& text, int64_t number, const TIDBytes& tag = {});

// The acknowledgement of a received header: the same header with PacketType 255 and DataSize 0,
// behind a new random head. Writes exactly kHeaderEnd bytes.
void EncodeAck(DatagramHeader received, char* out);

// Checks a datagram as it came off the wire and reads its header; the bytes are not changed.
// False unless its length is within 57..1499, the marker is AA FF, the length is exactly
// DataSize + 57, the type is a known one, and a data packet carries at least its two head bytes.
bool DecodeDatagram(QByteArrayView datagram, DatagramHeader& header);

// The same, then unscrambles the payload in place; `data` is set to the packet's data bytes
// (the payload from position 2 on, DataSize - 2 bytes, empty for packets without payload).
bool DecodeDatagramInPlace(char* datagram, qsizetype size, DatagramHeader& header, QByteArrayView& data);

// Scrambles (or unscrambles) a payload in place: its first two bytes are its head.
void ScramblePayload(char* payload, qsizetype size);
