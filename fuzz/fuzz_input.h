// Reads a fuzz input as a stream of choices: bytes, 64-bit integers and short byte strings. Past the
// end every read gives zero or empty, so a target never runs out of choices.
#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    int64_t integer() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
            v = (v << 8) | byte();
        }
        return int64_t(v);
    }
    // A length byte, then as many bytes as are left of it.
    QByteArray bytes() {
        const size_t n = std::min<size_t>(byte(), size_t(end_ - p_));
        QByteArray out(reinterpret_cast<const char*>(p_), qsizetype(n));
        p_ += n;
        return out;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};
