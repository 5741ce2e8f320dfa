// Flag bits, byte scrambling, and conversions between text, bytes and hexadecimal.
// All functions are stateless apart from the process-wide random generator; any thread may call them.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Bits are numbered 1 (value 1) to 8 (value 128). A bitNo outside 1..8 changes / finds nothing.
void SetBit(uint8_t& b, uint8_t bitNo, uint8_t value);
bool GetBit(uint8_t b, uint8_t bitNo);

// Writes two random start values into bytes 0 and 1; data must hold at least 2 bytes.
void SetRandomHead(QByteArray& data);

// XOR-scrambles the body (from byte 2 on) with key table `kind` (1 or 2), seeded by the two head
// bytes. Its own inverse. Arrays of fewer than 3 bytes and other kinds are left unchanged.
void ScrambleBytes(QByteArray& data, uint8_t kind);
void ScrambleBytes(char* data, qsizetype size, uint8_t kind);
// The same for `size` bytes that stand `offset` bytes into the body of data whose two head bytes are
// `head`, so that a file can be read and unscrambled piece by piece, each piece where it lands.
void ScrambleBodyPart(char* part, qsizetype size, uint8_t kind, const char head[2], int64_t offset);
// The same for the first `count` body bytes only; count is clamped to the body's length.
void ScrambleBytesN(QByteArray& data, int32_t count, uint8_t kind);

// data becomes the code-page bytes of s; an empty s leaves data as it was.
void StrToBytes(const QString& s, QByteArray& data);
// The value of one hexadecimal digit (either case), or -1.
int HexDigit(QChar c);
// Two hexadecimal digits (either case) per byte; a pair that is not hexadecimal gives 0,
// a final odd character is ignored.
void HexToBytes(const QString& s, QByteArray& data);
// Upper-case hexadecimal, no separators.
void BytesToHex(const QByteArray& data, QString& s);
// data becomes a random head plus the scrambled code-page bytes of s; an empty s leaves data as it was.
void StrToScrambledBytes(const QString& s, QByteArray& data, int32_t kind);
