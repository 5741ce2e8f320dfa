#include "reassembly.h"

#include <cstring>

#include "infra/codepage.h"
#include "infra/session_texts.h"

bool TReceiveBitmap::Create(int32_t packetCount, int32_t maxCount) {
    Clear();
    if (packetCount < 1 || packetCount > maxCount) {
        return false;
    }
    const int32_t bytes = (packetCount + 7) / 8;
    bits_ = QByteArray(bytes, '\0');
    const int32_t spare = bytes * 8 - packetCount;
    if (spare > 0) {
        bits_[bytes - 1] = static_cast<char>(0xFF << (8 - spare));
    }
    count_ = packetCount;
    missing_ = packetCount;
    return true;
}

void TReceiveBitmap::Clear() {
    bits_.clear();
    count_ = 0;
    missing_ = 0;
    fullBytes_ = 0;
}

bool TReceiveBitmap::Set(int32_t n) {
    if (Get(n)) {
        return true;
    }
    if (n < 1 || n > count_) {
        return false;
    }
    auto& byte = reinterpret_cast<uint8_t&>(bits_.data()[(n - 1) / 8]);
    byte |= uint8_t(1u << ((n - 1) % 8));
    missing_ -= 1;
    if (byte == 0xFF) {
        fullBytes_ += 1;
    }
    return false;
}

void TReceiveBitmap::Unset(int32_t n) {
    if (!Get(n)) {
        return;
    }
    auto& byte = reinterpret_cast<uint8_t&>(bits_.data()[(n - 1) / 8]);
    if (byte == 0xFF) {
        fullBytes_ -= 1;
    }
    byte &= uint8_t(~(1u << ((n - 1) % 8)));
    missing_ += 1;
}

bool TReceiveBitmap::Get(int32_t n) const {
    if (n < 1 || n > count_) {
        return false;
    }
    return (uint8_t(bits_[(n - 1) / 8]) >> ((n - 1) % 8)) & 1u;
}

int32_t TReceiveBitmap::Percent() const {
    return bits_.isEmpty() ? 0 : int32_t(int64_t(fullBytes_) * 100 / bits_.size());
}

bool PieceFits(const DatagramHeader& header, qsizetype dataSize, int64_t maxSize) {
    if (header.PacketCount < 1 || header.PacketNumber < 1 || header.PacketNumber > header.PacketCount) {
        return false;
    }
    const int64_t limit = std::min<int64_t>(maxSize, int64_t(header.PacketCount) * kMaxDataBytes + kHeadSize);
    if (header.MessageSize < 0 || header.MessageSize > limit) {
        return false;
    }
    return header.Offset >= 0 && int64_t(header.Offset) + dataSize <= header.MessageSize;
}

TReassembly::TReassembly(std::atomic<int64_t>& lastCountSoob) : LastCountSoob(lastCountSoob) {}

Delivery TReassembly::Take(const DatagramHeader& header, QByteArrayView data, bool connect) {
    switch (header.PacketType) {
        case PacketTypes::Json:
        case PacketTypes::JsonBeforeLogin:
            return takeText(header, data, connect);
        case PacketTypes::Raw:
        case PacketTypes::RawAlt:
            return takeRaw(header, data);
        case PacketTypes::File:
            return takeFilePiece(header, data);
        default:
            return {};
    }
}

Delivery TReassembly::takeText(const DatagramHeader& header, QByteArrayView data, bool connect) {
    if (stale(header.MessageNumber)) {
        return {};
    }
    if (header.PacketCount == 1) {
        delivered(header.MessageNumber);
        return routeText(fromAnsi(data), header, true, connect);
    }
    if (!PieceFits(header, data.size(), kMaxMemoryMessage)) {
        return {};
    }
    if (!PacketRsM.IsEmpty() && header.MessageNumber != textNumber_) {
        if (header.MessageNumber < textNumber_) {
            return {};
        }
        PacketRsM.Clear();  // the peer gave up the older message
    }
    if (PacketRsM.IsEmpty()) {
        PacketString = QByteArray(header.MessageSize, '\0');
        PacketRsM.Create(header.PacketCount);
        textNumber_ = header.MessageNumber;
    }
    if (header.PacketNumber > PacketRsM.PacketCount() || header.Offset + data.size() > PacketString.size()) {
        return {};
    }
    std::memcpy(PacketString.data() + header.Offset, data.data(), data.size());
    PacketRsM.Set(header.PacketNumber);
    if (!PacketRsM.Complete()) {
        return {};
    }
    const QString text = fromAnsi(PacketString);
    PacketString.clear();
    PacketRsM.Clear();
    delivered(header.MessageNumber);
    return routeText(text, header, false, connect);
}

Delivery TReassembly::routeText(const QString& text, const DatagramHeader& header, bool single,
                                bool connect) {
    Delivery out;
    out.text = text;
    const bool newlk = connect && text.contains(Cmd::NewLk);
    if (header.PacketType == PacketTypes::JsonBeforeLogin) {
        out.route = Route::SoobEJSON;
    } else if (single) {
        out.route = newlk ? Route::ReadJSONData : Route::SoobEJSON;
    } else if (text.contains(Cmd::Testex)) {
        out.route = Route::SoobEJSON;
    } else {
        out.route = newlk ? Route::ReadJSONData : Route::ReadJSON;
    }
    return out;
}

Delivery TReassembly::takeRaw(const DatagramHeader& header, QByteArrayView data) {
    if (stale(header.MessageNumber)) {
        return {};
    }
    if (header.PacketCount == 1) {
        delivered(header.MessageNumber);
        if (data.isEmpty()) {
            return {};
        }
        return {Route::SoobERAW, {}, data.toByteArray()};
    }
    // A header that claims an impossible message is malformed, not a piece that fails to fit.
    if (header.PacketCount < 1 || header.MessageSize < 0 ||
        header.MessageSize >
            std::min<int64_t>(kMaxMemoryMessage, int64_t(header.PacketCount) * kMaxDataBytes + kHeadSize)) {
        return {};
    }
    if (!PacketRsMRAW.IsEmpty() && header.MessageNumber != rawNumber_) {
        if (header.MessageNumber < rawNumber_) {
            return {};
        }
        PacketRsMRAW.Clear();
    }
    if (PacketRsMRAW.IsEmpty()) {
        PacketRAW = QByteArray(header.MessageSize, '\0');
        PacketRAWP = static_cast<uint32_t>(header.MessageNumber);
        PacketRsMRAW.Create(header.PacketCount);
        rawNumber_ = header.MessageNumber;
    }
    const bool fits = !data.isEmpty() && header.Offset >= 0 && header.PacketNumber >= 1 &&
                      header.PacketNumber <= PacketRsMRAW.PacketCount() &&
                      int64_t(header.Offset) + data.size() <= PacketRAW.size();
    if (!fits) {
        Delivery out;
        out.route = Route::RawDoesNotFit;
        out.text = QStringLiteral("-------> %1 %2 %3 %4 %5 %6 %7 %8")
                       .arg(PacketRAW.size())
                       .arg(header.DataSize)
                       .arg(header.Offset)
                       .arg(header.MessageSize)
                       .arg(header.DataSize - kHeadSize)
                       .arg(header.PacketCount)
                       .arg(header.MessageNumber)
                       .arg(PacketRAWP);
        return out;
    }
    std::memcpy(PacketRAW.data() + header.Offset, data.data(), data.size());
    PacketRsMRAW.Set(header.PacketNumber);
    if (!PacketRsMRAW.Complete()) {
        return {};
    }
    Delivery out{Route::SoobERAW, {}, std::move(PacketRAW)};
    PacketRAW = QByteArray();
    PacketRsMRAW.Clear();
    delivered(header.MessageNumber);
    return out;
}

Delivery TReassembly::takeFilePiece(const DatagramHeader& header, QByteArrayView data) {
    if (stale(header.MessageNumber) || header.PacketCount > kMaxFilePackets ||
        !PieceFits(header, data.size(), INT32_MAX)) {
        return {};
    }
    if (!FileRsM.IsEmpty() &&
        (header.PacketNumber > FileRsM.PacketCount() || header.Offset + data.size() > fileSize_)) {
        return {};
    }
    return {Route::FilePiece, {}, {}};
}

bool TReassembly::StartFile(const DatagramHeader& header) {
    if (!FileRsM.Create(header.PacketCount, kMaxFilePackets)) {
        return false;
    }
    fileSize_ = header.MessageSize;
    return true;
}

void TReassembly::FinishFile(int64_t messageNumber) {
    FileRsM.Clear();
    delivered(messageNumber);
}

void TReassembly::Discard() {
    PacketString.clear();
    PacketRsM.Clear();
    PacketRAW.clear();
    PacketRsMRAW.Clear();
    FileRsM.Clear();
}

void TReassembly::delivered(int64_t messageNumber) {
    LastCountSoob.store(messageNumber < INT64_MAX ? messageNumber + 1 : INT64_MAX);
}

bool TReassembly::stale(int64_t messageNumber) const {
    return messageNumber < LastCountSoob.load();
}
