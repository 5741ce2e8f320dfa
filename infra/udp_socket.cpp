#include "infra/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

bool UdpSocket::WaitReadable(int timeoutMs) {
    if (fd_ < 0) {
        return false;
    }
    pollfd entry{fd_, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready >= 0) {
            return ready > 0 && (entry.revents & POLLIN) != 0;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}
