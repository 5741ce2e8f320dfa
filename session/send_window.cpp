#include "send_window.h"

#include <algorithm>
#include <cstring>

#include "infra/bytes.h"

namespace {

int32_t packetCountFor(int64_t size) {
    return static_cast<int32_t>((size - 1) / kMaxDataBytes + 1);
}

}  // namespace

TSendWindow::TSendWindow(SendFunction send)
    : PacketSSize(kWindowSlotsMax, 0),
      PacketSm(kWindowSlotsMax, 0),
      PacketTime(kWindowSlotsMax, 0),
      PacketTimeSend(kWindowSlotsMax, 0),
      PacketCC(kWindowSlotsMax, 0),
      PacketCountSe(kWindowSlotsMax, 0),
      send_(std::move(send)) {}

bool TSendWindow::SendOne(const QString& data) {
    QByteArray payload;
    StrToScrambledBytes(data, payload, VerP);
    if (payload.size() > kMaxPayload) {
        return false;
    }
    CountMes += 1;
    DatagramHeader header;
    header.PacketType = PacketTypes::Json;
    header.Offset = 0;
    header.MessageSize = static_cast<int32_t>(payload.size());
    header.MessageNumber = CountMes;
    header.PacketCount = 1;
    header.PacketNumber = 1;
    header.TIDB = TIDB;
    char datagram[kMaxDatagram];
    const int size = EncodeDatagram(header, payload, datagram, kMaxDatagram);
    send_(datagram, size);
    return true;
}

void TSendWindow::StartText(const QString& m) {
    QByteArray bytes;
    StrToBytes(m, bytes);
    StartMessage(PacketTypes::Json, std::move(bytes));
    StartSend = true;
}

void TSendWindow::StartMessage(uint8_t type, QByteArray bytes) {
    PacketA = std::move(bytes);
    beginMessage(type, PacketA.size());
    CountMes += 1;
    PacketSend.SoobCountOut = CountMes;
    dataReady_ = true;
}

void TSendWindow::BeginFileOffer() {
    beginMessage(PacketTypes::File, 0);
    PacketSend.CountPacket = 0;
    read_ = nullptr;
    dataReady_ = false;
}

void TSendWindow::StartFileData(int64_t size, ReadFunction read) {
    PacketSend.CountPacket = packetCountFor(size);
    PacketSend.Size = size;
    PacketSend.SendCountPacket = 0;
    CountMes += 1;
    PacketSend.SoobCountOut = CountMes;
    cut_ = 0;
    read_ = std::move(read);
    dataReady_ = true;
}

void TSendWindow::beginMessage(uint8_t type, int64_t size) {
    PacketReSend = 0;
    TypeSend = type;
    PacketSend.SFile = type == PacketTypes::File;
    PacketSend.start = true;
    PacketSend.CountPacket = packetCountFor(size);
    PacketSend.Percent = 0;
    PacketSend.Size = size;
    PacketSend.SendCountPacket = 0;
    cut_ = 0;
}

TSendWindow::FillResult TSendWindow::FillWindow(uint64_t now, int maxFileChunks) {
    if (!PacketSend.start) {
        return FillResult::Idle;
    }
    if (!dataReady_) {
        return FillResult::Waiting;
    }
    if (cut_ < PacketSend.CountPacket) {
        const bool file = PacketSend.SFile;
        int budget = file ? maxFileChunks : PacketSend.CountPacket;
        for (int32_t i = 0; i < CountPacketToSend && budget > 0 && cut_ < PacketSend.CountPacket; ++i) {
            if (SlotUsed(i)) {
                continue;
            }
            if (!cutInto(i)) {
                Abandon();
                return FillResult::Failed;
            }
            --budget;
        }
        if (!file) {
            Adapt(now);
        }
        return FillResult::Sending;
    }
    if (!allSlotsFree()) {
        return FillResult::Sending;
    }
    if (!PacketSend.SFile) {
        StartSend = false;
        SendOk = true;
    }
    PacketA.clear();
    read_ = nullptr;
    dataReady_ = false;
    PacketSend.start = false;
    releaseBuffers();
    return FillResult::Complete;
}

bool TSendWindow::cutInto(int32_t slot) {
    const int64_t offset = int64_t(cut_) * kMaxDataBytes;
    const int size = static_cast<int>(std::min<int64_t>(kMaxDataBytes, PacketSend.Size - offset));
    if (PacketS.size() <= size_t(slot)) {
        PacketS.resize(size_t(slot) + 1);
    }
    char* payload = PacketS[slot].data() + kHeaderEnd;
    if (PacketSend.SFile) {
        if (size > 0 && !read_(offset, payload + kHeadSize, size)) {
            return false;
        }
    } else {
        std::memcpy(payload + kHeadSize, PacketA.constData() + offset, size);
    }
    PacketSend.SendCountPacket += 1;
    PacketCC[slot] = PacketSend.SendCountPacket;
    PacketSm[slot] = static_cast<int32_t>(offset);
    PacketSSize[slot] = size + kHeadSize;
    PacketCountSe[slot] = 0;
    PacketTime[slot] = 0;
    PacketTimeSend[slot] = 0;
    WriteRandomHead(payload);
    ScramblePayload(payload, PacketSSize[slot]);
    cut_ += 1;
    return true;
}

TSendWindow::SendResult TSendWindow::SendWindow(uint64_t now) {
    DatagramHeader header;
    header.PacketType = TypeSend;
    header.MessageSize = static_cast<int32_t>(PacketSend.Size);
    header.MessageNumber = PacketSend.SoobCountOut;
    header.PacketCount = PacketSend.CountPacket;
    header.TIDB = TIDB;
    const uint64_t again = coef() * std::max(PacketTimeOut, kMinPacketTimeOut);
    for (int32_t i = 0; i < CountPacketToSend; ++i) {
        if (!SlotUsed(i) || PacketTime[i] > now) {
            continue;
        }
        PacketTime[i] = now + again;
        PacketCountSe[i] += 1;
        if (PacketCountSe[i] > kMaxSendings) {
            Abandon();
            return SendResult::Failed;
        }
        if (PacketCountSe[i] > 1) {
            CountReSend += 1;
            PacketReSend += 1;
        }
        header.DataSize = PacketSSize[i];
        header.Offset = PacketSm[i];
        header.PacketNumber = PacketCC[i];
        EncodeDatagramHead(header, PacketS[i].data());
        send_(PacketS[i].data(), kHeaderEnd + PacketSSize[i]);
        PacketTimeSend[i] = now;
        countsendall += 1;
    }
    return SendResult::Sent;
}

bool TSendWindow::HandleAck(int64_t messageNumber, int32_t packetNumber, uint64_t now) {
    if (messageNumber != PacketSend.SoobCountOut || !PacketSend.start) {
        return false;
    }
    for (int32_t i = 0; i < CountPacketToSend; ++i) {
        if (!SlotUsed(i) || PacketCC[i] != packetNumber) {
            continue;
        }
        if (PacketTimeSend[i] != 0) {
            PacketPing = std::max<uint32_t>(1, static_cast<uint32_t>((now - PacketTimeSend[i]) / coef()));
            PacketTimeOutS += PacketPing;
            PacketTimeOutC += 1;
            PacketSend.Percent = static_cast<int32_t>(int64_t(cut_) * 100 / PacketSend.CountPacket);
        }
        countrecivepod += 1;
        freeSlot(i);
        return true;
    }
    return false;
}

void TSendWindow::Adapt(uint64_t now) {
    if (elapsedMs(now, speedTimer) <= 1000) {
        return;
    }
    AdaptAfterFile(now);
    if (PacketTimeOutC > 100) {
        AdaptTimeOut();
    }
    if (PacketTimeOut >= 100 && uint32_t(CountPacketToSend) < PacketTimeOut) {
        const int32_t cap = static_cast<int32_t>(std::min<uint32_t>(PacketTimeOut, kWindowSlotsMax + 1));
        if (CountPacketToSend < cap) {
            ResizeWindow((CountPacketToSend + cap) / 2);
        }
    }
}

void TSendWindow::AdaptTimeOut() {
    if (PacketTimeOutC == 0) {
        return;
    }
    PacketTimeOut =
        std::max<uint32_t>(kMinPacketTimeOut, static_cast<uint32_t>(PacketTimeOutS / PacketTimeOutC) * 6);
    PacketTimeOutS = 0;
    PacketTimeOutC = 0;
}

void TSendWindow::AdaptAfterFile(uint64_t now) {
    speedTimer = now;
    ProcBad = PacketSend.CountPacket > 0 ? float(PacketReSend) * 100 / float(PacketSend.CountPacket) : 0;
    if (PacketPing < 15 && CountPacketToSend != kWindowSlotsAtStart) {
        ResizeWindow(kWindowSlotsAtStart);
    }
}

void TSendWindow::ResizeWindow(int32_t count) {
    int32_t size = std::clamp(count, kWindowSlotsAtStart, kWindowSlotsMax);
    // Slots that still hold a packet stay: cutting them off would leave the packet unsent forever.
    for (int32_t i = CountPacketToSend - 1; i >= size; --i) {
        if (SlotUsed(i)) {
            size = i + 1;
            break;
        }
    }
    CountPacketToSend = size;
}

void TSendWindow::Abandon() {
    clearSlots();
    releaseBuffers();
    PacketA.clear();
    read_ = nullptr;
    dataReady_ = false;
    PacketSend.start = false;
    PacketSend.SFile = false;
    CountPacketToSend = kWindowSlotsAtStart;
}

void TSendWindow::releaseBuffers() {
    PacketS.clear();
    PacketS.shrink_to_fit();
}

void TSendWindow::freeSlot(int32_t slot) {
    PacketSm[slot] = 0;
    PacketTime[slot] = 0;
    PacketCC[slot] = 0;
    PacketSSize[slot] = 0;
}

void TSendWindow::clearSlots() {
    for (int32_t i = 0; i < kWindowSlotsMax; ++i) {
        freeSlot(i);
    }
}

bool TSendWindow::allSlotsFree() const {
    return std::all_of(PacketSSize.begin(), PacketSSize.end(), [](int32_t size) { return size == 0; });
}

double TSendWindow::elapsedMs(uint64_t now, uint64_t then) const {
    return double(int64_t(now - then)) / double(coef());
}
