#include "infra/bytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <random>

#include "infra/codepage.h"

namespace {

// The key tables are shared with the server and with every cache file ever written: never change them.
constexpr std::array<uint8_t, 256> kScrambleTable1 = {
    12,  235, 239, 246, 163, 137, 138, 134, 190, 176, 53,  99,  101, 209, 240, 214, 64,  195, 141, 129,
    17,  25,  249, 123, 81,  95,  120, 96,  241, 127, 182, 15,  118, 156, 8,   26,  49,  150, 23,  223,
    106, 184, 54,  155, 58,  205, 19,  226, 38,  112, 4,   92,  242, 244, 6,   161, 89,  215, 60,  252,
    39,  32,  5,   121, 174, 232, 36,  208, 122, 189, 82,  40,  172, 133, 132, 165, 24,  113, 210, 66,
    251, 149, 143, 198, 75,  98,  72,  192, 159, 88,  212, 16,  27,  114, 196, 222, 197, 74,  255, 35,
    175, 73,  194, 91,  18,  237, 140, 43,  135, 236, 42,  61,  84,  28,  206, 76,  109, 77,  158, 250,
    183, 211, 116, 238, 130, 160, 69,  33,  85,  169, 45,  171, 44,  185, 217, 126, 202, 11,  87,  47,
    248, 213, 245, 204, 234, 218, 57,  193, 167, 93,  37,  71,  13,  181, 229, 227, 110, 220, 207, 52,
    125, 131, 221, 20,  228, 247, 94,  188, 233, 50,  201, 51,  187, 243, 153, 199, 0,   164, 253, 180,
    7,   230, 30,  55,  108, 111, 9,   144, 225, 186, 59,  115, 78,  139, 146, 3,   166, 34,  62,  179,
    90,  151, 216, 70,  200, 41,  170, 10,  104, 203, 63,  152, 102, 100, 162, 173, 191, 86,  177, 67,
    80,  14,  105, 1,   83,  79,  224, 29,  136, 2,   219, 148, 65,  107, 154, 178, 119, 145, 157, 231,
    117, 128, 254, 168, 97,  22,  103, 21,  124, 46,  142, 147, 68,  31,  48,  56,
};
constexpr std::array<uint8_t, 256> kScrambleTable2 = {
    165, 69,  163, 67,  182, 43,  226, 155, 38,  140, 52,  20,  90,  160, 27,  72,  174, 241, 203, 79,
    236, 246, 213, 128, 21,  51,  156, 146, 114, 30,  184, 201, 113, 206, 153, 4,   104, 96,  166, 175,
    137, 243, 208, 251, 215, 143, 66,  252, 214, 221, 162, 117, 242, 6,   124, 31,  9,   0,   220, 65,
    212, 130, 98,  2,   200, 35,  42,  33,  1,   44,  186, 222, 94,  139, 170, 239, 192, 125, 244, 157,
    210, 131, 229, 102, 46,  50,  85,  181, 111, 136, 48,  81,  183, 84,  129, 123, 77,  211, 73,  234,
    53,  92,  15,  40,  134, 196, 116, 57,  32,  154, 180, 169, 68,  228, 78,  107, 83,  8,   138, 205,
    171, 152, 176, 62,  37,  230, 202, 249, 126, 63,  253, 173, 238, 22,  76,  120, 122, 145, 142, 41,
    19,  248, 36,  227, 103, 91,  71,  16,  29,  172, 112, 193, 232, 216, 108, 255, 190, 247, 127, 45,
    209, 144, 86,  110, 179, 93,  151, 11,  198, 207, 231, 119, 168, 88,  12,  164, 25,  18,  188, 60,
    49,  80,  245, 23,  167, 115, 10,  61,  101, 99,  191, 59,  75,  141, 177, 158, 194, 13,  223, 55,
    250, 7,   26,  82,  95,  97,  147, 121, 224, 219, 87,  54,  161, 3,   197, 70,  187, 235, 178, 189,
    89,  28,  74,  109, 14,  240, 58,  159, 254, 24,  150, 195, 5,   225, 133, 148, 217, 149, 199, 218,
    237, 105, 34,  39,  185, 204, 132, 56,  118, 47,  233, 106, 17,  64,  100, 135,
};

// One key table laid out for reading the key stream straight: Forward[m] = table[m mod 256] and
// Backward[m] = table[(255 - m) mod 256], each two periods long.
struct KeyStreams {
    std::array<uint8_t, 512> Forward;
    std::array<uint8_t, 512> Backward;
};

constexpr KeyStreams MakeKeyStreams(const std::array<uint8_t, 256>& table) {
    KeyStreams k{};
    for (int m = 0; m < 512; ++m) {
        k.Forward[size_t(m)] = table[size_t(m & 255)];
        k.Backward[size_t(m)] = table[size_t((255 - m) & 255)];
    }
    return k;
}

constexpr KeyStreams kKeyStreams1 = MakeKeyStreams(kScrambleTable1);
constexpr KeyStreams kKeyStreams2 = MakeKeyStreams(kScrambleTable2);

const KeyStreams* KeyTable(uint8_t kind) {
    switch (kind) {
        case 1:
            return &kKeyStreams1;
        case 2:
            return &kKeyStreams2;
        default:
            return nullptr;
    }
}

// Combines up to one period of the body with the two key runs, a machine word at a time.
void CombinePeriod(uint8_t* out, qsizetype n, const uint8_t* forward, const uint8_t* backward) {
    qsizetype t = 0;
    for (; n - t >= 8; t += 8) {
        uint64_t a;
        uint64_t f;
        uint64_t b;
        std::memcpy(&a, out + t, 8);
        std::memcpy(&f, forward + t, 8);
        std::memcpy(&b, backward + t, 8);
        a ^= f ^ b;
        std::memcpy(out + t, &a, 8);
    }
    for (; t < n; ++t) {
        out[t] ^= forward[t] ^ backward[t];
    }
}

// Byte k of the body is combined with table[i + k] ^ table[j - k] (indices modulo 256): Forward from
// i and Backward from 255 - j give both runs in ascending order, and every period starts afresh.
// `part` holds the body's bytes from `offset` on, so its first period starts at offset mod 256.
void ScrambleBody(uint8_t* part, qsizetype count, const KeyStreams& key, uint8_t i, uint8_t j,
                  int64_t offset) {
    const uint8_t* forward = key.Forward.data() + i;
    const uint8_t* backward = key.Backward.data() + (255 - j);
    const qsizetype phase = qsizetype(offset & 255);
    qsizetype pos = std::min<qsizetype>(count, 256 - phase);
    CombinePeriod(part, pos, forward + phase, backward + phase);
    for (; count - pos >= 256; pos += 256) {
        CombinePeriod(part + pos, 256, forward, backward);
    }
    CombinePeriod(part + pos, count - pos, forward, backward);
}

std::mutex randomMutex;

// Values 0..254 as the head recipe asks; one generator for the process, seeded once, so that heads made
// in the same clock tick still differ.
int DrawHeadValue() {
    static std::mt19937 generator{std::random_device{}()};
    static std::uniform_int_distribution<int> values(0, 254);
    return values(generator);
}

}  // namespace

void SetBit(uint8_t& b, uint8_t bitNo, uint8_t value) {
    if (bitNo < 1 || bitNo > 8) {
        return;
    }
    const uint8_t mask = uint8_t(1u << (bitNo - 1));
    if (value == 1) {
        b |= mask;
    } else {
        b &= uint8_t(~mask);
    }
}

bool GetBit(uint8_t b, uint8_t bitNo) {
    if (bitNo < 1 || bitNo > 8) {
        return false;
    }
    return (b >> (bitNo - 1)) & 1u;
}

void SetRandomHead(QByteArray& data) {
    if (data.size() < 2) {
        return;
    }
    std::lock_guard lock(randomMutex);
    data[0] = char(DrawHeadValue() | DrawHeadValue());
    data[1] = char(DrawHeadValue() ^ DrawHeadValue());
}

void ScrambleBytes(char* data, qsizetype size, uint8_t kind) {
    const auto* table = KeyTable(kind);
    if (table == nullptr || data == nullptr || size < 3) {
        return;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(data);
    ScrambleBody(bytes + 2, size - 2, *table, bytes[0], bytes[1], 0);
}

void ScrambleBodyPart(char* part, qsizetype size, uint8_t kind, const char head[2], int64_t offset) {
    const auto* table = KeyTable(kind);
    if (table == nullptr || part == nullptr || size < 1 || offset < 0) {
        return;
    }
    ScrambleBody(reinterpret_cast<uint8_t*>(part), size, *table, uint8_t(head[0]), uint8_t(head[1]), offset);
}

void ScrambleBytes(QByteArray& data, uint8_t kind) {
    if (data.size() < 3 || KeyTable(kind) == nullptr) {
        return;
    }
    ScrambleBytes(data.data(), data.size(), kind);
}

void ScrambleBytesN(QByteArray& data, int32_t count, uint8_t kind) {
    if (data.size() < 3 || count < 1 || KeyTable(kind) == nullptr) {
        return;
    }
    const qsizetype body = std::min<qsizetype>(count, data.size() - 2);
    ScrambleBytes(data.data(), body + 2, kind);
}

void StrToBytes(const QString& s, QByteArray& data) {
    if (s.isEmpty()) {
        return;
    }
    data = toAnsi(s);
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

void HexToBytes(const QString& s, QByteArray& data) {
    const qsizetype count = s.size() / 2;
    data = QByteArray(count, '\0');
    for (qsizetype n = 0; n < count; ++n) {
        const int high = HexDigit(s[2 * n]);
        const int low = HexDigit(s[2 * n + 1]);
        if (high >= 0 && low >= 0) {
            data[n] = char(high * 16 + low);
        }
    }
}

void BytesToHex(const QByteArray& data, QString& s) {
    s = QString::fromLatin1(data.toHex().toUpper());
}

void StrToScrambledBytes(const QString& s, QByteArray& data, int32_t kind) {
    if (s.isEmpty()) {
        return;
    }
    const QByteArray ansi = toAnsi(s);
    QByteArray result(ansi.size() + 2, '\0');
    std::memcpy(result.data() + 2, ansi.constData(), size_t(ansi.size()));
    {
        std::lock_guard lock(randomMutex);
        result[0] = char(DrawHeadValue() ^ DrawHeadValue());
        result[1] = char(DrawHeadValue() ^ DrawHeadValue());
    }
    if (kind >= 0 && kind <= 255) {
        ScrambleBytes(result, uint8_t(kind));
    }
    data = result;
}
