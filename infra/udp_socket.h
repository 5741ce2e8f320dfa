// A non-blocking IPv4 UDP socket over POSIX sockets: the platform layer under the session client
// and the server. Addresses are in host order. Not thread-safe except that one thread may send
// while another receives on the same open socket.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

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
    // Waits up to timeoutMs for a datagram to arrive, or for descriptor alsoFd (when not -1) to
    // become readable; true when a datagram is readable.
    bool WaitReadable(int timeoutMs, int alsoFd = -1);

  private:
    friend class UdpSendBatch;
    friend class UdpReceiveBatch;
    int fd_ = -1;
};

// Datagrams gathered for one sendmmsg call, so that a burst (a window of packets, the answers to a
// burst received) costs one system call instead of one each. A run of datagrams of one size to one
// address goes as one message that the kernel cuts into those datagrams (segmentation offload), so
// the stack is walked once for the run; the receiver sees the same separate datagrams. Where the
// system refuses that, the batch sends one message per datagram from then on. Owned by one thread.
class UdpSendBatch {
  public:
    static constexpr int kCapacity = 64;
    static constexpr int kSlotBytes = 2048;

    explicit UdpSendBatch(UdpSocket& socket);
    UdpSendBatch(const UdpSendBatch&) = delete;
    UdpSendBatch& operator=(const UdpSendBatch&) = delete;

    // Copies the datagram in, sending what was gathered first when the batch is full. A datagram
    // longer than a slot goes out at once, after what was gathered before it.
    void Add(const char* data, int size, const UdpAddress& to);
    // Sends everything gathered; datagrams the kernel refuses are dropped, as SendTo would.
    void Flush();
    int Pending() const { return count_; }

  private:
    struct Messages;
    // Describes the gathered datagrams from `from` on as messages.
    void prepare(Messages& out, int from);
    // Sends the messages; returns how many were dealt with: all of them, or the index of a run that
    // the system refused to cut into datagrams. A message refused otherwise is dropped.
    int send(Messages& messages);

    UdpSocket& socket_;
    std::vector<char> bytes_;
    std::vector<int> sizes_;
    std::vector<UdpAddress> to_;
    int count_ = 0;
    bool segmenting_ = true;
};

// Buffers for taking up to `count` waiting datagrams with one recvmmsg call. Each buffer has `lead`
// free bytes in front of the datagram, for the receiver's own framing. Owned by one thread.
class UdpReceiveBatch {
  public:
    UdpReceiveBatch(int count, int capacity, int lead = 0);
    ~UdpReceiveBatch();
    UdpReceiveBatch(const UdpReceiveBatch&) = delete;
    UdpReceiveBatch& operator=(const UdpReceiveBatch&) = delete;

    // Takes what is waiting, up to the batch's count; returns how many (0 when none or on error).
    int Receive(UdpSocket& socket);
    // The i-th datagram of the last Receive: its first byte is at Data(i), Lead() bytes after Frame(i).
    char* Frame(int i) { return bytes_.data() + size_t(i) * size_t(lead_ + capacity_); }
    char* Data(int i) { return Frame(i) + lead_; }
    int Size(int i) const { return sizes_[size_t(i)]; }
    bool Truncated(int i) const { return truncated_[size_t(i)]; }
    const UdpAddress& From(int i) const { return from_[size_t(i)]; }
    int Lead() const { return lead_; }

  private:
    struct Headers;
    int count_;
    int capacity_;
    int lead_;
    std::vector<char> bytes_;
    std::vector<int> sizes_;
    std::vector<bool> truncated_;
    std::vector<UdpAddress> from_;
    std::unique_ptr<Headers> headers_;
};
