// A non-blocking IPv4 UDP socket over POSIX sockets: the platform layer under the session client
// and the server. Addresses are in host order. Not thread-safe except that one thread may send
// while another receives on the same open socket.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

struct UdpAddress {
    uint32_t ip = 0;  // host order
    uint16_t port = 0;
    bool operator==(const UdpAddress&) const = default;
};

// Parses dotted IPv4 text; false when it is not one.
bool ParseIPv4(const QString& text, uint32_t& ip);
QString FormatIPv4(uint32_t ip);

class UdpSocket {
  public:
    UdpSocket() = default;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    ~UdpSocket();

    // Opens and binds to ip:port (port 0 picks a free one), non-blocking, with the given buffer sizes.
    bool Open(uint32_t ip, uint16_t port, int bufferBytes = 1 << 20);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    uint16_t LocalPort() const;

    // Returns the bytes sent, or -1.
    int SendTo(const char* data, int size, const UdpAddress& to);
    // Returns the datagram's length (0 is valid), or -1 when none is waiting or on error.
    // A datagram longer than capacity is cut to capacity; `truncated` tells.
    int RecvFrom(char* buffer, int capacity, UdpAddress& from, bool* truncated = nullptr);
    // Waits up to timeoutMs for a datagram to arrive; true when one is readable.
    bool WaitReadable(int timeoutMs);

  private:
    int fd_ = -1;
};
