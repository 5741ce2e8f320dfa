// Little-endian reading and writing of the tables' binary formats (table files, cache files, record
// updates). The reader checks every length against the bytes present before it reads: a read that
// does not fit fails, consumes nothing and leaves its output unchanged. Stateless apart from the
// reader's position; one reader per thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <cstring>
#include <type_traits>

class ByteReader {
  public:
    explicit ByteReader(QByteArrayView data) : FData(data) {}

    QByteArrayView data() const { return FData; }
    qsizetype Pos() const { return FPos; }
    qsizetype Remaining() const { return FData.size() - FPos; }
    bool AtEnd() const { return FPos >= FData.size(); }

    // The next n bytes, or an empty view (consuming nothing) when fewer remain.
    bool Take(qsizetype n, QByteArrayView& out) {
        if (n < 0 || n > Remaining()) {
            return false;
        }
        out = FData.sliced(FPos, n);
        FPos += n;
        return true;
    }
    // Up to n bytes: what is there.
    QByteArrayView TakeUpTo(qsizetype n) {
        const qsizetype k = n < 0 ? 0 : (n < Remaining() ? n : Remaining());
        const QByteArrayView out = FData.sliced(FPos, k);
        FPos += k;
        return out;
    }
    bool Skip(qsizetype n) {
        QByteArrayView ignored;
        return Take(n, ignored);
    }

    template <typename T>
    bool Read(T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        QByteArrayView bytes;
        if (!Take(qsizetype(sizeof(T)), bytes)) {
            return false;
        }
        std::memcpy(&value, bytes.data(), sizeof(T));  // the formats and the host are little-endian
        return true;
    }

    // A length byte L followed by L bytes; out holds the L bytes.
    bool ReadShortText(QByteArrayView& out) {
        uint8_t len = 0;
        if (Remaining() < 1) {
            return false;
        }
        std::memcpy(&len, FData.data() + FPos, 1);
        if (Remaining() < 1 + qsizetype(len)) {
            return false;
        }
        out = FData.sliced(FPos + 1, len);
        FPos += 1 + len;
        return true;
    }

  private:
    QByteArrayView FData;
    qsizetype FPos = 0;
};

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the binary formats are read by memcpy");

template <typename T>
void AppendLE(QByteArray& out, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), qsizetype(sizeof(T)));
}

// A text slot of `slot` bytes: a length byte, at most slot - 1 (and 255) characters, zero filler.
QByteArray TextSlot(const QString& text, int32_t slot);
// The characters of a text slot (length byte first), cut to the slot.
QString SlotText(QByteArrayView slot);
