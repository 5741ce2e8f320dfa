#include "server.h"

#include <QDir>

#include "demo_data.h"
#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/ticks.h"
#include "session/datagram.h"

namespace {

// Room for the largest datagram the protocol allows (1499 bytes); a longer one arrives cut short
// and is dropped.
constexpr int kReceiveSlot = 2048;
constexpr int kReceiveBatch = 64;
constexpr int kMaxDatagramsPerPass = 2048;
constexpr int64_t kUpkeepEveryMs = 100;
// The longest rest between passes while no session has anything in flight; a datagram ends it.
constexpr int64_t kIdleWaitMs = 20;
// Keep-alive datagrams let an idle client see that the server is there.
constexpr int64_t kKeepAliveEveryMs = 2000;
// A client not heard from for this long is gone (it tests the link once a second).
constexpr int64_t kSessionIdleMs = 60000;
// A second "reg" this soon is a copy of the first (same text, nothing else in between) or a retry
// after a refusal.
constexpr int64_t kDuplicateRegMs = 1000;
constexpr int kSocketBuffer = 4 * 1024 * 1024;

}  // namespace

Server::Server(ServerOptions options, Commands::Log log)
    : options_(std::move(options)),
      log_(std::move(log)),
      inBatch_(kReceiveBatch, kReceiveSlot),
      outBatch_(socket_),
      inFaults_(options_.faults),
      outFaults_([this] {
          FaultSettings f = options_.faults;
          f.seed += 1;
          return f;
      }()) {
    commands_ = std::make_unique<Commands>(storage_, FilesFolder(options_.files), log_,
                                           [this](const std::function<void(ClientSession&)>& f) {
                                               for (auto& [k, s] : sessions_) {
                                                   f(*s);
                                               }
                                           });
    commands_->setConfirmEdits(options_.confirmEdits);
    commands_->setLimits(options_.limits);
}

Server::~Server() = default;

bool Server::start(QString& error) {
    storage_.setLog(log_);
    if (!storage_.open(options_.db, error)) {
        return false;
    }
    if ((options_.demo || options_.records > 0) &&
        !FillDemoData(storage_, options_.records, options_.faults.seed)) {
        error = QStringLiteral("cannot store the demo data: ") + storage_.lastError();
        return false;
    }
    if (!reloadUsers(options_)) {
        error = QStringLiteral("cannot store the users");
        return false;
    }
    // Nobody holds a table yet.
    storage_.takeApplied();
    commands_->prepareSnapshots();
    if (!QDir().mkpath(options_.files)) {
        error = QStringLiteral("cannot create the files folder ") + options_.files;
        return false;
    }
    uint32_t ip = 0;
    if (!ParseIPv4(options_.bind, ip)) {
        error = QStringLiteral("not an IPv4 address: ") + options_.bind;
        return false;
    }
    if (!socket_.Open(ip, options_.port, kSocketBuffer)) {
        error = QStringLiteral("cannot bind %1:%2").arg(options_.bind).arg(options_.port);
        return false;
    }
    return true;
}

bool Server::reloadUsers(const ServerOptions& options) {
    bool ok = true;
    if (options.exactUsers) {
        ok = storage_.replaceUsers(options.users);
    } else {
        storage_.forgetVerified();
        for (const auto& [name, password] : options.users) {
            ok = storage_.setUser(name, password) && ok;
        }
    }
    commands_->distributeApplied();
    return ok;
}

void Server::run(const std::atomic<bool>& stop, std::atomic<bool>& reload,
                 const std::function<void()>& onReload) {
    while (!stop.load(std::memory_order_relaxed)) {
        if (reload.exchange(false)) {
            onReload();
        }
        // An idle server rests longer between passes; a datagram ends the rest at once.
        bool active = false;
        for (const auto& [k, s] : sessions_) {
            active = active || s->active();
        }
        pass(active ? 1 : int(kIdleWaitMs));
    }
}

void Server::send(const char* data, int size, const UdpAddress& to) {
    if (outFaults_.active()) {
        outFaults_.take(QByteArray(data, size), to, nowMs_);
    } else {
        outBatch_.Add(data, size, to);
    }
}

void Server::sendAck(const DatagramHeader& header, const UdpAddress& to) {
    char ack[kHeaderEnd];
    EncodeAck(header, ack);
    send(ack, kHeaderEnd, to);
}

ClientSession* Server::find(const UdpAddress& a) {
    auto it = sessions_.find(key(a));
    return it == sessions_.end() ? nullptr : it->second.get();
}

void Server::pass(int waitMs) {
    nowTicks_ = GetTicks();
    nowMs_ = int64_t(nowTicks_ / 1000000);
    int64_t wait = std::min<int64_t>(waitMs, std::max<int64_t>(0, lastUpkeepMs_ + kUpkeepEveryMs - nowMs_));
    const int64_t inDue = inFaults_.untilNext(nowMs_);
    const int64_t outDue = outFaults_.untilNext(nowMs_);
    for (int64_t due : {inDue, outDue}) {
        if (due >= 0) {
            wait = std::min(wait, due);
        }
    }
    // A change announced by another server ends the rest as a datagram does.
    socket_.WaitReadable(int(wait), storage_.announcementSocket());
    nowTicks_ = GetTicks();
    nowMs_ = int64_t(nowTicks_ / 1000000);

    receiveBatches();
    storage_.refresh();
    commands_->distributeApplied();
    QByteArray datagram;
    UdpAddress address;
    while (inFaults_.next(nowMs_, datagram, address)) {
        take(datagram.data(), int(datagram.size()), address);
    }

    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (!it->second->pump(nowTicks_)) {
            log_(QStringLiteral("session %1 lost: a packet went unanswered").arg(it->second->tid));
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    if (nowMs_ - lastUpkeepMs_ >= kUpkeepEveryMs) {
        lastUpkeepMs_ = nowMs_;
        upkeep();
    }
    while (outFaults_.next(nowMs_, datagram, address)) {
        outBatch_.Add(datagram.constData(), int(datagram.size()), address);
    }
    outBatch_.Flush();
}

void Server::receiveBatches() {
    for (int taken = 0; taken < kMaxDatagramsPerPass;) {
        const int n = inBatch_.Receive(socket_);
        for (int i = 0; i < n; ++i) {
            // A datagram cut short is longer than any the protocol allows: decoding drops it.
            if (inFaults_.active()) {
                inFaults_.take(QByteArray(inBatch_.Data(i), inBatch_.Size(i)), inBatch_.From(i), nowMs_);
            } else {
                take(inBatch_.Data(i), inBatch_.Size(i), inBatch_.From(i));
            }
        }
        // The acknowledgements of a batch leave before the next batch is read.
        outBatch_.Flush();
        if (n < kReceiveBatch) {
            break;
        }
        taken += n;
    }
}

void Server::upkeep() {
    storage_.upkeep();
    commands_->distributeApplied();
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        ClientSession& s = *it->second;
        if (nowMs_ - s.lastHeardMs > kSessionIdleMs) {
            log_(QStringLiteral("session %1 idle, forgotten").arg(s.tid));
            it = sessions_.erase(it);
            continue;
        }
        if (s.loggedIn && nowMs_ - s.lastSendMs >= kKeepAliveEveryMs) {
            s.lastSendMs = nowMs_;
            DatagramHeader h;
            h.PacketType = PacketTypes::KeepAlive;
            h.TIDB = s.tag;
            char out[kHeaderEnd];
            if (EncodeDatagram(h, {}, out, kHeaderEnd) == kHeaderEnd) {
                send(out, kHeaderEnd, s.address);
            }
        }
        ++it;
    }
}

void Server::receive(const QByteArray& bytes, const UdpAddress& from) {
    QByteArray datagram = bytes;
    take(datagram.data(), int(datagram.size()), from);
    outBatch_.Flush();
}

void Server::take(char* datagram, int size, const UdpAddress& from) {
    DatagramHeader h;
    QByteArrayView data;
    if (!DecodeDatagramInPlace(datagram, size, h, data)) {
        if (++malformed_ % 1000 == 1) {
            log_(QStringLiteral("malformed datagrams dropped: %1 (last from %2:%3, %4 bytes)")
                     .arg(malformed_)
                     .arg(FormatIPv4(from.ip))
                     .arg(from.port)
                     .arg(size));
        }
        return;
    }
    ClientSession* s = find(from);
    if (h.PacketType == PacketTypes::Ack) {
        if (s && h.TIDB == s->tag) {
            s->lastHeardMs = nowMs_;
            s->handleAck(h.MessageNumber, h.PacketNumber, nowTicks_);
        }
        return;
    }
    if (h.PacketType != PacketTypes::Json && h.PacketType != PacketTypes::File) {
        return;
    }
    if (h.PacketType == PacketTypes::Json && h.PacketCount == 1 && h.PacketNumber == 1) {
        const QString text = fromAnsi(data);
        if (CommandOf(text) == Cmd::Reg) {
            registration(h, text, from);
            return;
        }
    }
    // A client we do not know (after a restart, say) hears nothing until it registers again.
    if (!s || !s->loggedIn || h.TIDB != s->tag) {
        return;
    }
    s->lastHeardMs = nowMs_;
    s->dataSinceReg = true;
    QString text;
    const ClientSession::Take t = s->takePacket(h, data, text);
    if (t == ClientSession::Take::Drop) {
        return;
    }
    sendAck(h, from);
    if (t == ClientSession::Take::FileDone) {
        log_(QStringLiteral("file received: ") + s->tid);
    }
    if (t != ClientSession::Take::Text) {
        return;
    }
    if (CommandOf(text) == Cmd::CloseClient) {
        log_(QStringLiteral("session %1 closed by the client").arg(s->tid));
        sessions_.erase(key(from));
        return;
    }
    commands_->handle(*s, text);
}

void Server::registration(const DatagramHeader& h, const QString& text, const UdpAddress& from) {
    ClientSession* old = find(from);
    // A copy of the registration just answered, or a retry right after a refusal (each refusal
    // costs a slow password derivation), is only acknowledged.
    if (old && nowMs_ - old->regAtMs < kDuplicateRegMs &&
        ((old->regText == text && !old->dataSinceReg) || !old->loggedIn)) {
        sendAck(h, from);
        return;
    }
    auto session = std::make_unique<ClientSession>(
        from, [this, from](const char* d, int n) { send(d, n, from); }, nowMs_);
    ClientSession& s = *session;
    sessions_[key(from)] = std::move(session);
    s.regText = text;
    s.regAtMs = nowMs_;
    sendAck(h, from);
    commands_->registerClient(s, text);
    s.registered(h.MessageNumber);
}
