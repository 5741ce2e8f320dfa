#include "infra/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

sockaddr_in ToSockaddr(uint32_t ip, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(ip);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

bool ParseIPv4(const QString& text, uint32_t& ip) {
    for (QChar c : text) {
        if (c != u'.' && (c < u'0' || c > u'9')) {
            return false;
        }
    }
    in_addr address{};
    if (inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1) {
        return false;
    }
    ip = ntohl(address.s_addr);
    return true;
}

QString FormatIPv4(uint32_t ip) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ip >> 24)
        .arg((ip >> 16) & 0xFF)
        .arg((ip >> 8) & 0xFF)
        .arg(ip & 0xFF);
}

UdpSocket::~UdpSocket() {
    Close();
}

bool UdpSocket::Open(uint32_t ip, uint16_t port, int bufferBytes) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    if (bufferBytes > 0) {
        // Larger buffers are a wish, not a condition: the kernel may cap them.
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    }
    const sockaddr_in address = ToSockaddr(ip, port);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close();
        return false;
    }
    return true;
}

void UdpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

uint16_t UdpSocket::LocalPort() const {
    if (fd_ < 0) {
        return 0;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

int UdpSocket::SendTo(const char* data, int size, const UdpAddress& to) {
    if (fd_ < 0 || size < 0 || (data == nullptr && size > 0)) {
        return -1;
    }
    const sockaddr_in address = ToSockaddr(to.ip, to.port);
    for (;;) {
        const ssize_t sent = ::sendto(fd_, data, size_t(size), MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (sent >= 0) {
            return int(sent);
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

int UdpSocket::RecvFrom(char* buffer, int capacity, UdpAddress& from, bool* truncated) {
    if (fd_ < 0 || capacity < 0 || (buffer == nullptr && capacity > 0)) {
        return -1;
    }
    sockaddr_in address{};
    for (;;) {
        socklen_t length = sizeof address;
        // MSG_TRUNC makes the kernel report the datagram's real length, so a cut one is told apart.
        const ssize_t received = ::recvfrom(fd_, buffer, size_t(capacity), MSG_TRUNC,
                                            reinterpret_cast<sockaddr*>(&address), &length);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        from.ip = ntohl(address.sin_addr.s_addr);
        from.port = ntohs(address.sin_port);
        if (truncated != nullptr) {
            *truncated = received > capacity;
        }
        return int(std::min<ssize_t>(received, capacity));
    }
}

bool UdpSocket::WaitReadable(int timeoutMs, int alsoFd) {
    if (fd_ < 0) {
        return false;
    }
    pollfd entries[2] = {{fd_, POLLIN, 0}, {alsoFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(entries, alsoFd >= 0 ? 2 : 1, timeoutMs);
        if (ready >= 0) {
            return ready > 0 && (entries[0].revents & POLLIN) != 0;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

UdpSendBatch::UdpSendBatch(UdpSocket& socket)
    : socket_(socket), bytes_(size_t(kCapacity) * kSlotBytes), sizes_(kCapacity), to_(kCapacity) {}

void UdpSendBatch::Add(const char* data, int size, const UdpAddress& to) {
    if (size < 0 || (data == nullptr && size > 0)) {
        return;
    }
    if (size > kSlotBytes) {
        Flush();
        socket_.SendTo(data, size, to);
        return;
    }
    if (count_ == kCapacity) {
        Flush();
    }
    if (size > 0) {
        std::memcpy(bytes_.data() + size_t(count_) * kSlotBytes, data, size_t(size));
    }
    sizes_[size_t(count_)] = size;
    to_[size_t(count_)] = to;
    ++count_;
}

namespace {

// A run sent as one message stays within one IP datagram's payload and the kernel's segment limit,
// and is made only of datagrams small enough for any link's MTU, as the kernel requires.
constexpr int kRunBytes = 65000;
constexpr int kRunSegments = 64;
constexpr int kRunSegmentBytes = 1400;

// The control message that asks the kernel to cut a message into datagrams of `size` bytes.
struct SegmentControl {
    alignas(cmsghdr) char bytes[CMSG_SPACE(sizeof(uint16_t))];
};

void SetSegmentSize(msghdr& header, SegmentControl& control, int size) {
    std::memset(&control, 0, sizeof control);
    header.msg_control = control.bytes;
    header.msg_controllen = sizeof control.bytes;
    cmsghdr* c = CMSG_FIRSTHDR(&header);
    c->cmsg_level = SOL_UDP;
    c->cmsg_type = UDP_SEGMENT;
    c->cmsg_len = CMSG_LEN(sizeof(uint16_t));
    const uint16_t segment = uint16_t(size);
    std::memcpy(CMSG_DATA(c), &segment, sizeof segment);
}

}  // namespace

// The system's descriptions of one flush: each message is a run of gathered datagrams.
struct UdpSendBatch::Messages {
    sockaddr_in addresses[kCapacity];
    iovec pieces[kCapacity];
    mmsghdr headers[kCapacity];
    SegmentControl controls[kCapacity];
    int firsts[kCapacity];  // the run's first datagram
    int covers[kCapacity];  // the run's number of datagrams
    int count = 0;
};

void UdpSendBatch::prepare(Messages& out, int from) {
    out.count = 0;
    for (int i = from; i < count_;) {
        const int size = sizes_[size_t(i)];
        int end = i + 1;
        // While segmenting: the longest run of one size to one address within the limits; its last
        // datagram may be shorter, as the kernel allows.
        if (segmenting_ && size > 0 && size <= kRunSegmentBytes) {
            int bytes = size;
            while (end < count_ && end - i < kRunSegments && to_[size_t(end)] == to_[size_t(i)] &&
                   sizes_[size_t(end)] > 0 && sizes_[size_t(end)] <= size && bytes + size <= kRunBytes) {
                bytes += sizes_[size_t(end)];
                ++end;
                if (sizes_[size_t(end - 1)] < size) {
                    break;
                }
            }
        }
        const int m = out.count++;
        for (int k = i; k < end; ++k) {
            out.pieces[k] = {bytes_.data() + size_t(k) * kSlotBytes, size_t(sizes_[size_t(k)])};
        }
        out.addresses[m] = ToSockaddr(to_[size_t(i)].ip, to_[size_t(i)].port);
        std::memset(&out.headers[m], 0, sizeof out.headers[m]);
        msghdr& h = out.headers[m].msg_hdr;
        h.msg_name = &out.addresses[m];
        h.msg_namelen = sizeof out.addresses[m];
        h.msg_iov = &out.pieces[i];
        h.msg_iovlen = size_t(end - i);
        if (end - i > 1) {
            SetSegmentSize(h, out.controls[m], size);
        }
        out.firsts[m] = i;
        out.covers[m] = end - i;
        i = end;
    }
}

int UdpSendBatch::send(Messages& messages) {
    int done = 0;
    while (done < messages.count) {
        const int sent =
            ::sendmmsg(socket_.fd_, messages.headers + done, unsigned(messages.count - done), MSG_NOSIGNAL);
        if (sent > 0) {
            done += sent;
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (messages.covers[done] > 1 &&
                   (errno == EIO || errno == EINVAL || errno == ENOPROTOOPT || errno == EOPNOTSUPP)) {
            return done;
        } else {
            // The first message of the rest was refused (a full buffer, an unreachable port): its
            // datagrams are lost as single sends would have lost them, and the rest still goes.
            ++done;
        }
    }
    return done;
}

void UdpSendBatch::Flush() {
    if (count_ == 0) {
        return;
    }
    if (socket_.fd_ < 0) {
        count_ = 0;
        return;
    }
    Messages messages;
    int from = 0;
    while (from < count_) {
        prepare(messages, from);
        const int done = send(messages);
        if (done == messages.count) {
            break;
        }
        // The system does not cut messages into datagrams here: the refused run and everything after
        // it, and every later batch, go one datagram per message.
        segmenting_ = false;
        from = messages.firsts[done];
    }
    count_ = 0;
}

// The system's descriptions of the batch's buffers, made once.
struct UdpReceiveBatch::Headers {
    std::vector<sockaddr_in> addresses;
    std::vector<iovec> pieces;
    std::vector<mmsghdr> messages;
};

UdpReceiveBatch::UdpReceiveBatch(int count, int capacity, int lead)
    : count_(std::max(count, 1)),
      capacity_(std::max(capacity, 0)),
      lead_(std::max(lead, 0)),
      bytes_(size_t(count_) * size_t(lead_ + capacity_)),
      sizes_(size_t(count_)),
      truncated_(size_t(count_)),
      from_(size_t(count_)),
      headers_(std::make_unique<Headers>()) {
    headers_->addresses.resize(size_t(count_));
    headers_->pieces.resize(size_t(count_));
    headers_->messages.resize(size_t(count_));
    for (int i = 0; i < count_; ++i) {
        headers_->pieces[size_t(i)] = {Data(i), size_t(capacity_)};
        msghdr& h = headers_->messages[size_t(i)].msg_hdr;
        h.msg_name = &headers_->addresses[size_t(i)];
        h.msg_iov = &headers_->pieces[size_t(i)];
        h.msg_iovlen = 1;
    }
}

UdpReceiveBatch::~UdpReceiveBatch() = default;

int UdpReceiveBatch::Receive(UdpSocket& socket) {
    if (socket.fd_ < 0) {
        return 0;
    }
    for (mmsghdr& m : headers_->messages) {
        m.msg_hdr.msg_namelen = sizeof(sockaddr_in);
        m.msg_hdr.msg_flags = 0;
        m.msg_len = 0;
    }
    for (;;) {
        const int received =
            ::recvmmsg(socket.fd_, headers_->messages.data(), unsigned(count_), MSG_DONTWAIT, nullptr);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 0;
        }
        for (int i = 0; i < received; ++i) {
            const mmsghdr& m = headers_->messages[size_t(i)];
            const sockaddr_in& a = headers_->addresses[size_t(i)];
            sizes_[size_t(i)] = int(std::min<unsigned>(m.msg_len, unsigned(capacity_)));
            truncated_[size_t(i)] = (m.msg_hdr.msg_flags & MSG_TRUNC) != 0;
            from_[size_t(i)] = {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
        }
        return received;
    }
}
