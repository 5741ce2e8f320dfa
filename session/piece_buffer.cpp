#include "session/piece_buffer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

bool TPieceBuffer::Continues(int64_t offset, qsizetype size) const {
    if (bytes_.size() + size > capacity_) {
        return false;
    }
    return bytes_.isEmpty() || offset == start_ + bytes_.size();
}

void TPieceBuffer::Append(int64_t offset, QByteArrayView data, int32_t packet) {
    if (bytes_.isEmpty()) {
        start_ = offset;
        bytes_.reserve(capacity_);
    }
    bytes_.append(data.data(), data.size());
    if (packet != 0) {
        packets_.push_back(packet);
    }
}

bool TPieceBuffer::Flush(QFile& file) {
    if (bytes_.isEmpty()) {
        Clear();
        return true;
    }
    const int fd = file.handle();
    if (fd < 0) {
        return false;
    }
    qsizetype done = 0;
    while (done < bytes_.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes_.constData() + done, size_t(bytes_.size() - done), off_t(start_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    Clear();
    return true;
}

void TPieceBuffer::Clear() {
    bytes_.resize(0);
    packets_.clear();
}
