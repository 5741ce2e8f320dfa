// UdpRelay: a relay inside the test process that stands between one client and the server on
// 127.0.0.1, so that a test can cut the link at an exact point of the exchange (a given command on
// its way out) and see what the client sent. The client is pointed at Port(); the server sees the
// relay's own second socket as the client.
//
// Thread-safety: a thread of the relay moves the datagrams and calls the watcher; the other
// operations may be called from any thread. Destruction stops the thread.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "infra/udp_socket.h"

class UdpRelay {
  public:
    explicit UdpRelay(uint16_t serverPort);
    ~UdpRelay();
    UdpRelay(const UdpRelay&) = delete;
    UdpRelay& operator=(const UdpRelay&) = delete;

    bool Ok() const { return ok_; }
    uint16_t Port() const { return front_.LocalPort(); }

    // Sees the data of every JSON piece the client sends while the link is up, before it is passed
    // on; returning false cuts the link, and that piece is dropped with everything after it.
    void SetWatcher(std::function<bool(const QString& piece)> watcher);
    // While the link is down every datagram in either direction is dropped.
    void SetLinkUp(bool up) { linkUp_ = up; }
    bool LinkUp() const { return linkUp_; }

    // Every JSON piece the client sent, in order, whether it was passed on or not.
    QStringList ClientPieces();
    // How many pieces so far contained text (reg attempts, for instance).
    int CountPieces(const QString& text);

  private:
    void Run();
    void FromClient(QByteArray& datagram);

    UdpSocket front_;
    UdpSocket back_;
    UdpAddress server_;
    UdpAddress client_;
    bool ok_ = false;
    std::atomic<bool> linkUp_{true};
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::function<bool(const QString&)> watcher_;
    QStringList pieces_;
    std::thread thread_;
};
