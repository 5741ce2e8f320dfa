#include "udp_relay.h"

#include "infra/codepage.h"
#include "session/datagram.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

}  // namespace

UdpRelay::UdpRelay(uint16_t serverPort) : server_{kLoopback, serverPort} {
    ok_ = front_.Open(kLoopback, 0) && back_.Open(kLoopback, 0);
    if (ok_) {
        thread_ = std::thread([this] { Run(); });
    }
}

UdpRelay::~UdpRelay() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void UdpRelay::SetWatcher(std::function<bool(const QString&)> watcher) {
    const std::lock_guard lock(lock_);
    watcher_ = std::move(watcher);
}

QStringList UdpRelay::ClientPieces() {
    const std::lock_guard lock(lock_);
    return pieces_;
}

int UdpRelay::CountPieces(const QString& text) {
    const std::lock_guard lock(lock_);
    int count = 0;
    for (const QString& piece : pieces_) {
        count += piece.contains(text) ? 1 : 0;
    }
    return count;
}

void UdpRelay::Run() {
    QByteArray buffer(kMaxAcceptedDatagram + 1, '\0');
    while (!stop_) {
        bool moved = false;
        UdpAddress from;
        int size;
        while ((size = front_.RecvFrom(buffer.data(), int(buffer.size()), from)) >= 0) {
            moved = true;
            client_ = from;
            QByteArray datagram = buffer.first(size);
            FromClient(datagram);
        }
        while ((size = back_.RecvFrom(buffer.data(), int(buffer.size()), from)) >= 0) {
            moved = true;
            if (linkUp_ && client_.port != 0) {
                front_.SendTo(buffer.constData(), size, client_);
            }
        }
        if (!moved) {
            front_.WaitReadable(1);
        }
    }
}

void UdpRelay::FromClient(QByteArray& datagram) {
    QByteArray plain = datagram;
    DatagramHeader header;
    QByteArrayView data;
    if (DecodeDatagramInPlace(plain.data(), plain.size(), header, data) &&
        header.PacketType == PacketTypes::Json) {
        const QString piece = fromAnsi(data);
        const std::lock_guard lock(lock_);
        pieces_ << piece;
        if (linkUp_ && watcher_ && !watcher_(piece)) {
            linkUp_ = false;
        }
    }
    if (linkUp_) {
        back_.SendTo(datagram.constData(), int(datagram.size()), server_);
    }
}
