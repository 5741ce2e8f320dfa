// The payload of a column as the local cache stores it and as its MD5 digest is exchanged with the
// server: the bytes a table file's data block carries for the column, rearranged as follows.
//   codes 15, 16: the code byte, the entry count (2 bytes, low 16 bits), the dictionary entries
//                 exactly as in the block (key of 4 or 2 bytes, length byte, characters), then the
//                 record values;
//   code 24:      the record offsets, then the text blob;
//   other codes:  the record values.
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

void AppendColumnPayload(QByteArray& out, uint8_t code, int32_t entryCount, QByteArrayView entries,
                         QByteArrayView values, QByteArrayView blob);

// The 16-byte MD5 digest of the payload those parts make, computed without putting it together.
QByteArray ColumnDigest(uint8_t code, int32_t entryCount, QByteArrayView entries, QByteArrayView values,
                        QByteArrayView blob);
// 32 upper-case hexadecimal digits, as a column's MD5 and the load request carry it.
QString DigestHex(QByteArrayView digest);
