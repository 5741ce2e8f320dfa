// Idle operators for the whole-program benchmark (bench/e2e/run): many logged-in sessions held by one
// small process, each costing the server what an idle session client costs it. A session registers
// as the client does, loads the six tables one after another (with no cache: every column comes),
// then sits idle: a link test ("testex") a second, every packet the server sends acknowledged, record
// updates taken in (reassembled by the client's own code) and counted. A session that hears nothing
// for 10 s once loaded (30 s while loading) drops its server and registers again as the client does:
// the next address of its list at each attempt, 4 s for an answer, then loads again.
//
// Unlike a client process, whose loop wakes every 2 ms, this one sleeps until a datagram comes or
// its next timer is due (at most 50 ms), so a hundred sessions do not crowd the machine the servers
// run on.
//
//   bench_idle_clients PORT COUNT HOSTS [COUNT HOSTS]...
//     COUNT sessions of user admin/admin, each with the comma-separated server addresses HOSTS
//
// Standard output, one line per event with wall-clock microseconds:
//   {"session":N,"event":"registered","host":"127.0.0.2","t_us":...}   (also "loaded", "lost")
// and at SIGTERM or SIGINT a summary: {"sessions":N,"updates":U,"t_us":...}. Exit code 2 for bad
// arguments, 1 when a socket cannot be opened.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QString>
#include <QStringList>
#include <QUuid>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/udp_socket.h"
#include "session/datagram.h"
#include "session/reassembly.h"
#include "session/table_registration.h"

namespace {

// The session client's own times (session/client_registration.cpp).
constexpr int64_t kLinkTestEveryMs = 1000;
constexpr int64_t kSilenceLimitMs = 10000;
constexpr int64_t kLoadStallLimitMs = 30000;
constexpr int64_t kRegistrationWaitMs = 4000;
constexpr int64_t kRefusedWaitMs = 30000;
// A text the server has not acknowledged is sent again after this long.
constexpr int64_t kResendAfterMs = 300;
constexpr int kTimerStepMs = 50;
constexpr int kSocketBuffer = 1 << 20;

std::atomic<bool> stopping{false};

void stop(int) {
    stopping = true;
}

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t wallMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

sockaddr_in socketAddress(uint32_t ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    a.sin_port = htons(port);
    return a;
}

class IdleSession {
  public:
    IdleSession(int index, std::vector<uint32_t> hosts, uint16_t port)
        : index_(index), hosts_(std::move(hosts)), port_(port), host_(int(hosts_.size()) - 1) {}
    ~IdleSession() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    IdleSession(const IdleSession&) = delete;
    IdleSession& operator=(const IdleSession&) = delete;

    // A non-blocking socket on 127.0.0.1 and a free port; -1 when it cannot be had.
    int open() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_in local = socketAddress(INADDR_LOOPBACK, 0);
        if (fd_ < 0 || ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer) != 0 ||
            ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            return -1;
        }
        return fd_;
    }

    void tick(int64_t now) {
        switch (state_) {
            case State::Down:
                if (now - since_ >= waitMs_) {
                    registerNext(now);
                }
                break;
            case State::Registering:
                if (now - since_ > kRegistrationWaitMs) {
                    registerNext(now);
                }
                break;
            case State::Loading:
            case State::Idle:
                if (now - heardMs_ > (state_ == State::Idle ? kSilenceLimitMs : kLoadStallLimitMs)) {
                    event("lost");
                    // The client moves on one address when it drops the session, and one more when it
                    // registers.
                    host_ = (host_ + 1) % int(hosts_.size());
                    registerNext(now);
                    break;
                }
                if (state_ == State::Idle && now - testMs_ >= kLinkTestEveryMs) {
                    testMs_ = now;
                    queueText(CommandText(Cmd::Testex));
                }
                break;
        }
        if (!outgoing_.empty() && now - sentMs_ > kResendAfterMs) {
            sendFront(now);
        }
    }

    void receive(int64_t now) {
        char buf[2048];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n;
        while ((n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLength)) >=
               0) {
            fromLength = sizeof from;
            if (from.sin_addr.s_addr != htonl(hosts_[size_t(host_)]) || from.sin_port != htons(port_)) {
                continue;
            }
            heardMs_ = now;
            DatagramHeader h;
            QByteArrayView data;
            if (!DecodeDatagramInPlace(buf, n, h, data)) {
                continue;
            }
            if (h.PacketType == PacketTypes::Ack) {
                if (!outgoing_.empty() && h.MessageNumber == number_ - qsizetype(outgoing_.size()) + 1) {
                    outgoing_.pop_front();
                    sendFront(now);
                }
                continue;
            }
            if (!IsDataPacketType(h.PacketType)) {
                continue;
            }
            char ack[kHeaderEnd];
            EncodeAck(h, ack);
            sendDatagram(ack, kHeaderEnd);
            take(h, data, now);
        }
    }

    int64_t updates() const { return updates_; }

  private:
    enum class State { Down, Registering, Loading, Idle };

    void take(const DatagramHeader& h, QByteArrayView data, int64_t now) {
        Delivery d = reassembly_.Take(h, data, true);
        switch (d.route) {
            case Route::SoobEJSON:
                handleText(d.text, now);
                break;
            case Route::SoobERAW:
                ++updates_;
                break;
            case Route::FilePiece:
                if (reassembly_.FileRsM.IsEmpty() && !reassembly_.StartFile(h)) {
                    break;
                }
                reassembly_.FileRsM.Set(h.PacketNumber);
                if (reassembly_.FileRsM.Complete()) {
                    reassembly_.FinishFile(h.MessageNumber);
                    ++table_;
                    loadNextTable(now);
                }
                break;
            case Route::RawDoesNotFit:
                heardMs_ = now - kSilenceLimitMs - 1;
                break;
            default:
                break;
        }
    }

    void handleText(const QString& text, int64_t now) {
        const QString c = CommandOf(text);
        if (c == Cmd::RegOk && state_ == State::Registering) {
            const QByteArray tag = QUuid(GetJSONValue(text, QStringLiteral("tid"))).toRfc4122();
            std::copy(tag.begin(), tag.end(), tag_.begin());
            tid_ = GetJSONValue(text, QStringLiteral("tid"));
            event("registered");
            state_ = State::Loading;
            table_ = 0;
            loadNextTable(now);
        } else if (c == Cmd::AccessDenied) {
            std::fprintf(stderr, "session %d: login refused\n", index_);
            state_ = State::Down;
            since_ = now;
            waitMs_ = kRefusedWaitMs;
        } else if (c == Cmd::TableRawFromFile) {
            const QString file = GetJSONValue(text, QStringLiteral("filename"));
            queueText(GetFileRequest(SessionFilePath(tid_, file)).Name(file).DeleteAfter().Text());
        } else if (c == Cmd::SendFile) {
            queueText(CommandText(Cmd::StartReciveFile));
        } else if (c == Cmd::SendFileNotFind) {
            loadNextTable(now);
        } else if (c == Cmd::RefreshDataDatabase) {
            ++updates_;
        }
    }

    void loadNextTable(int64_t now) {
        if (table_ < int(kConfigTableNames.size())) {
            queueText(DatabaseCommandHead(TableCmd::GetTableRaw) +
                      QStringLiteral(",\"refresh\":1,\"name\":\"") +
                      QLatin1String(kConfigTableNames[size_t(table_)]) + QStringLiteral("\",\"md5\":{}}"));
            return;
        }
        state_ = State::Idle;
        testMs_ = now;
        event("loaded");
    }

    void registerNext(int64_t now) {
        host_ = (host_ + 1) % int(hosts_.size());
        state_ = State::Registering;
        since_ = now;
        heardMs_ = now;
        tag_ = {};
        number_ = 0;
        outgoing_.clear();
        reassembly_.Discard();
        lastCountSoob_ = 0;
        // A registration is never acknowledged: it goes once, and again only after kRegistrationWaitMs
        // without an answer (tick).
        const QByteArray reg = EncodeTextDatagram(
            QStringLiteral("{\"$c$\":\"reg\",\"id\":\"%1\",\"username\":\"admin\",\"password\":\"admin\","
                           "\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
                .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)),
            ++number_, tag_);
        sendDatagram(reg.constData(), int(reg.size()));
    }

    // Texts leave one at a time, each once the one before is acknowledged, as from the client's window.
    void queueText(const QString& text) {
        outgoing_.push_back(EncodeTextDatagram(text, ++number_, tag_));
        if (outgoing_.size() == 1) {
            sendFront(steadyMs());
        }
    }

    void sendFront(int64_t now) {
        if (!outgoing_.empty()) {
            sentMs_ = now;
            sendDatagram(outgoing_.front().constData(), int(outgoing_.front().size()));
        }
    }

    void sendDatagram(const char* data, int size) {
        const sockaddr_in to = socketAddress(hosts_[size_t(host_)], port_);
        ::sendto(fd_, data, size_t(size), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    void event(const char* what) const {
        const uint32_t ip = hosts_[size_t(host_)];
        std::printf("{\"session\":%d,\"event\":\"%s\",\"host\":\"%u.%u.%u.%u\",\"t_us\":%lld}\n", index_,
                    what, ip >> 24, (ip >> 16) & 255, (ip >> 8) & 255, ip & 255,
                    static_cast<long long>(wallMicros()));
    }

    int index_;
    std::vector<uint32_t> hosts_;
    uint16_t port_;
    int host_;
    int fd_ = -1;
    State state_ = State::Down;
    int64_t since_ = 0;
    int64_t waitMs_ = 0;
    int64_t heardMs_ = 0;
    int64_t testMs_ = 0;
    int64_t sentMs_ = 0;
    TIDBytes tag_{};
    QString tid_;
    int64_t number_ = 0;
    std::deque<QByteArray> outgoing_;
    std::atomic<int64_t> lastCountSoob_{0};
    TReassembly reassembly_{lastCountSoob_};
    int table_ = 0;
    int64_t updates_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bool ok = argc >= 4 && argc % 2 == 0;
    const int port = ok ? QString::fromUtf8(argv[1]).toInt(&ok) : 0;
    std::vector<std::unique_ptr<IdleSession>> sessions;
    for (int a = 2; ok && a + 1 < argc; a += 2) {
        const int count = QString::fromUtf8(argv[a]).toInt(&ok);
        std::vector<uint32_t> hosts;
        for (const QString& h : QString::fromUtf8(argv[a + 1]).split(u',')) {
            uint32_t ip = 0;
            ok = ok && ParseIPv4(h.trimmed(), ip);
            hosts.push_back(ip);
        }
        for (int i = 0; ok && i < count; ++i) {
            sessions.push_back(
                std::make_unique<IdleSession>(int(sessions.size()) + 1, hosts, uint16_t(port)));
        }
    }
    if (!ok || port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: bench_idle_clients PORT COUNT HOSTS [COUNT HOSTS]...\n");
        return 2;
    }
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    for (size_t i = 0; i < sessions.size(); ++i) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u64 = i;
        const int fd = sessions[i]->open();
        if (fd < 0 || ::epoll_ctl(poller, EPOLL_CTL_ADD, fd, &e) != 0) {
            std::perror("bench_idle_clients: socket");
            return 1;
        }
    }
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    int64_t ticked = 0;
    epoll_event ready[64];
    while (!stopping) {
        const int n = ::epoll_wait(poller, ready, 64, kTimerStepMs);
        const int64_t now = steadyMs();
        for (int i = 0; i < n; ++i) {
            sessions[ready[i].data.u64]->receive(now);
        }
        if (now - ticked >= kTimerStepMs) {
            ticked = now;
            for (auto& s : sessions) {
                s->tick(now);
            }
        }
    }
    int64_t updates = 0;
    for (const auto& s : sessions) {
        updates += s->updates();
    }
    std::printf("{\"sessions\":%zu,\"updates\":%lld,\"t_us\":%lld}\n", sessions.size(),
                static_cast<long long>(updates), static_cast<long long>(wallMicros()));
    ::close(poller);
    return 0;
}
