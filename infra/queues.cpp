#include "infra/queues.h"

#include <algorithm>
#include <cstring>

#include "infra/message_batch.h"

namespace {

using Lock = std::lock_guard<std::mutex>;

int32_t Occupied(int32_t begin, int32_t end, bool full, int32_t capacity) {
    if (begin == end) {
        return full ? capacity : 0;
    }
    return begin < end ? end - begin : end + capacity - begin;
}

// Resizing re-lays the waiting messages from slot 0 on, keeping the oldest that fit, so that the read
// and write positions always lie inside the ring.
template <typename Slot>
void Resize(std::vector<Slot>& ring, int32_t& begin, int32_t& end, bool& full, int32_t capacity) {
    const int32_t count = Occupied(begin, end, full, int32_t(ring.size()));
    const int32_t kept = std::min(count, capacity);
    std::vector<Slot> fresh(static_cast<size_t>(capacity));
    for (int32_t k = 0; k < kept; ++k) {
        fresh[size_t(k)] = std::move(ring[size_t((begin + k) % int32_t(ring.size()))]);
    }
    ring = std::move(fresh);
    begin = 0;
    end = capacity == 0 ? 0 : kept % capacity;
    full = capacity > 0 && kept == capacity;
}

// Empties a taken slot, keeping its storage when that is small.
void Release(QByteArray& slot) {
    if (slot.capacity() > OchFIFO::kKeepBytes) {
        slot = QByteArray();
    } else {
        slot.resize(0);
    }
}

void CopyInto(QByteArray& to, const char* from, qsizetype size) {
    to.resize(size);
    if (size > 0) {
        std::memcpy(to.data(), from, size_t(size));
    }
}

void Notify(TWakeUp* wake) {
    if (wake != nullptr) {
        wake->Signal();
    }
}

}  // namespace

void OchFIFO::SetSizeOch(int32_t Value) {
    Lock lock(section6);
    FSize = std::max<int32_t>(Value, 0);
    Resize(FSendBuf, BeginOc, EndOc, Full, FSize);
}

bool OchFIFO::PutSoob(const char* soob, int32_t size) {
    {
        Lock lock(section6);
        if (FSendBuf.empty() || Full) {
            return false;
        }
        CopyInto(FSendBuf[size_t(EndOc)], soob, soob != nullptr ? std::max<int32_t>(size, 0) : 0);
        EndOc = (EndOc + 1) % int32_t(FSendBuf.size());
        Full = EndOc == BeginOc;
    }
    Notify(wake_);
    return true;
}

bool OchFIFO::GetSoob(QByteArray& ma) {
    Lock lock(section6);
    if (BeginOc == EndOc && !Full) {
        return false;
    }
    ma = FSendBuf[size_t(BeginOc)];
    return !ma.isEmpty();
}

bool OchFIFO::GetSoobD(QByteArray& ma) {
    Lock lock(section6);
    if (BeginOc == EndOc && !Full) {
        return false;
    }
    QByteArray& slot = FSendBuf[size_t(BeginOc)];
    if (slot.capacity() > kKeepBytes) {
        ma = std::move(slot);
    } else {
        CopyInto(ma, slot.constData(), slot.size());
    }
    Release(slot);
    BeginOc = (BeginOc + 1) % int32_t(FSendBuf.size());
    Full = false;
    return !ma.isEmpty();
}

void OchFIFO::DeleteSoob() {
    Lock lock(section6);
    if (BeginOc == EndOc && !Full) {
        return;
    }
    Release(FSendBuf[size_t(BeginOc)]);
    BeginOc = (BeginOc + 1) % int32_t(FSendBuf.size());
    Full = false;
}

bool OchFIFO::IsSoob() {
    Lock lock(section6);
    return BeginOc != EndOc || Full;
}

int32_t OchFIFO::CountSoob() {
    Lock lock(section6);
    return Occupied(BeginOc, EndOc, Full, int32_t(FSendBuf.size()));
}

bool OchFIFO::GetSoob10(QByteArray& ma, int32_t Count) {
    Lock lock(section6);
    BeginBatch(ma);
    const int32_t available = Occupied(BeginOc, EndOc, Full, int32_t(FSendBuf.size()));
    const int32_t taken = std::clamp(std::min(Count, available), 0, kMaxBatchItems);
    for (int32_t k = 0; k < taken; ++k) {
        AppendBatchItem(ma, FSendBuf[size_t((BeginOc + k) % int32_t(FSendBuf.size()))]);
    }
    return taken > 0;
}

void OchFIFOJSON::SetSizeOch(int32_t Value) {
    Lock lock(section6);
    FSize = std::max<int32_t>(Value, 0);
    Resize(FSendBuf, BeginOc, EndOc, Full, FSize);
}

bool OchFIFOJSON::PutSoob(const QString& soob) {
    if (soob.isEmpty()) {
        return false;
    }
    {
        Lock lock(section6);
        if (FSendBuf.empty() || Full) {
            return false;
        }
        FSendBuf[size_t(EndOc)] = soob;
        EndOc = (EndOc + 1) % int32_t(FSendBuf.size());
        Full = EndOc == BeginOc;
    }
    Notify(wake_);
    return true;
}

bool OchFIFOJSON::GetSoob(QString& ma) {
    Lock lock(section6);
    if (BeginOc == EndOc && !Full) {
        return false;
    }
    ma = FSendBuf[size_t(BeginOc)];
    return true;
}

bool OchFIFOJSON::GetSoobD(QString& ma) {
    Lock lock(section6);
    if (BeginOc == EndOc && !Full) {
        return false;
    }
    ma = std::move(FSendBuf[size_t(BeginOc)]);
    FSendBuf[size_t(BeginOc)] = QString();
    BeginOc = (BeginOc + 1) % int32_t(FSendBuf.size());
    Full = false;
    return true;
}

void OchFIFOJSON::DeleteSoob() {
    Lock lock(section6);
    if (BeginOc == EndOc && !Full) {
        return;
    }
    FSendBuf[size_t(BeginOc)] = QString();
    BeginOc = (BeginOc + 1) % int32_t(FSendBuf.size());
    Full = false;
}

bool OchFIFOJSON::IsSoob() {
    Lock lock(section6);
    return BeginOc != EndOc || Full;
}

int32_t OchFIFOJSON::CountSoob() {
    Lock lock(section6);
    return Occupied(BeginOc, EndOc, Full, int32_t(FSendBuf.size()));
}

int32_t OchFIFOJSON::CountIf(const std::function<bool(const QString&)>& match) {
    Lock lock(section6);
    const auto size = int32_t(FSendBuf.size());
    const int32_t occupied = Occupied(BeginOc, EndOc, Full, size);
    int32_t count = 0;
    for (int32_t i = 0; i < occupied; ++i) {
        count += match(FSendBuf[size_t((BeginOc + i) % size)]) ? 1 : 0;
    }
    return count;
}

int32_t OchFIFOJSON::GetSoobCount(QString& ma, int32_t Count) {
    Lock lock(section6);
    const int32_t available = Occupied(BeginOc, EndOc, Full, int32_t(FSendBuf.size()));
    if (available == 0) {
        return 0;
    }
    const int32_t taken = std::clamp(Count, 1, available);
    ma.clear();
    for (int32_t k = 0; k < taken; ++k) {
        ma += FSendBuf[size_t((BeginOc + k) % int32_t(FSendBuf.size()))];
    }
    return taken;
}
