// The one byte codec of the system's binary formats (datagram headers, table and cache files, record
// messages, backlog files, queue batches): a reader that checks every length against the bytes
// present before it reads, little-endian writes, text slots, and a checked element read.
//
// All integers are little-endian. A text slot of `slot` bytes is a length byte, at most slot - 1
// (and 255) characters, then zero filler; a short text is a length byte and its characters.
// Texts are code-page bytes; TextSlot and SlotText convert at that boundary.
//
// Stateless apart from a reader's position; one reader per thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the binary formats are copied as they are");

// Reads from a view it does not own. A read that does not fit fails, consumes nothing and leaves its
// output unchanged.
class ByteReader {
  public:
    explicit ByteReader(QByteArrayView data) : FData(data) {}

    QByteArrayView data() const { return FData; }
    qsizetype Pos() const { return FPos; }
    qsizetype Remaining() const { return FData.size() - FPos; }
    bool AtEnd() const { return FPos >= FData.size(); }
    // Whether n more bytes are there (false for a negative n).
    bool Has(int64_t n) const { return n >= 0 && n <= Remaining(); }

    // The next n bytes.
    bool Take(qsizetype n, QByteArrayView& out) {
        if (!Has(n)) {
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
        std::memcpy(&value, bytes.data(), sizeof(T));
        return true;
    }
    // The next count elements into values (resized to count); false, with nothing allocated, when fewer
    // are there.
    template <typename T, typename A>
    bool ReadArray(std::vector<T, A>& values, size_t count) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (count > size_t(Remaining()) / sizeof(T)) {
            return false;
        }
        values.resize(count);
        if (count > 0) {
            std::memcpy(values.data(), FData.data() + FPos, count * sizeof(T));
        }
        FPos += qsizetype(count * sizeof(T));
        return true;
    }
    // The value `at` bytes ahead, without consuming anything; the caller checked Has(at + size).
    template <typename T>
    T Peek(qsizetype at) const {
        T value;
        std::memcpy(&value, FData.data() + FPos + at, sizeof(T));
        return value;
    }

    // A short text: a length byte L followed by L bytes; out holds the L bytes.
    bool ReadShortText(QByteArrayView& out) {
        if (!Has(1) || !Has(1 + int64_t(uint8_t(FData[FPos])))) {
            return false;
        }
        out = FData.sliced(FPos + 1, uint8_t(FData[FPos]));
        FPos += 1 + out.size();
        return true;
    }

  private:
    QByteArrayView FData;
    qsizetype FPos = 0;
};

template <typename T>
void AppendLE(QByteArray& out, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), qsizetype(sizeof(T)));
}

// Writes the value's sizeof(T) bytes at `out`.
template <typename T>
void PutLE(char* out, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(out, &value, sizeof(T));
}

// Reads sizeof(T) bytes at `in`; the caller checked that they are there.
template <typename T>
T GetLE(const char* in) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, in, sizeof(T));
    return value;
}

// The longest text a length byte can announce.
inline constexpr qsizetype kMaxShortText = 255;

// A text slot of `slot` bytes holding the text's first min(slot - 1, 255) bytes; nothing when slot < 1.
void AppendTextSlot(QByteArray& out, QByteArrayView text, qsizetype slot);
// The same for a text, in the code page.
QByteArray TextSlot(const QString& text, int32_t slot);
// The characters of a text slot (length byte first), cut to the slot.
QString SlotText(QByteArrayView slot);
// A length byte and the text's first 255 bytes at most.
void AppendShortText(QByteArray& out, QByteArrayView text);

// Element `index` of values, or the type's zero when the index is outside them.
template <typename T, typename A>
T At(const std::vector<T, A>& values, int64_t index) {
    return index >= 0 && index < int64_t(values.size()) ? values[size_t(index)] : T{};
}
