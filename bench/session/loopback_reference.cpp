#include "loopback_reference.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

int OpenLoopbackSocket(sockaddr_in& bound) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const int buffer = 1 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    bound = {};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound);
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    return fd;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

ReferenceResult RunLoopbackReference(int64_t totalBytes, int datagramBytes, int payloadBytes, int replyBytes,
                                     int window) {
    sockaddr_in senderAddr{};
    sockaddr_in receiverAddr{};
    const int sender = OpenLoopbackSocket(senderAddr);
    const int receiver = OpenLoopbackSocket(receiverAddr);
    const int64_t count = (totalBytes + payloadBytes - 1) / payloadBytes;

    std::thread echo([&] {
        std::vector<char> buffer(65536);
        std::vector<char> reply(replyBytes, 0);
        int64_t received = 0;
        while (received < count && WaitReadable(receiver, 2000)) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            while (::recvfrom(receiver, buffer.data(), buffer.size(), MSG_DONTWAIT,
                              reinterpret_cast<sockaddr*>(&from), &len) >= 0) {
                ++received;
                ::sendto(receiver, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
                len = sizeof from;
            }
        }
    });

    std::vector<char> datagram(datagramBytes, 'x');
    std::vector<char> buffer(65536);
    int64_t sent = 0;
    int64_t answered = 0;
    const auto start = std::chrono::steady_clock::now();
    while (answered < count) {
        while (sent < count && sent - answered < window) {
            ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&receiverAddr),
                     sizeof receiverAddr);
            ++sent;
        }
        if (!WaitReadable(sender, 2000)) {
            break;
        }
        while (::recv(sender, buffer.data(), buffer.size(), MSG_DONTWAIT) >= 0) {
            ++answered;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    echo.join();
    ::close(sender);
    ::close(receiver);
    return {double(answered) * payloadBytes / 1e6 / elapsed.count(), sent - answered};
}
