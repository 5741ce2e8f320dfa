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
// A client not heard from for this long is gone (it tests the link once a second); one that never
// confirmed its session goes sooner (it tries again after four seconds without an answer).
constexpr int64_t kSessionIdleMs = 60000;
constexpr int64_t kUnconfirmedMs = 10000;
// A session heard from this recently is alive: a refused registration from its address is forged,
// or its client would not be testing the link.
constexpr int64_t kAliveMs = 3000;
// A second "reg" this soon, with nothing else from the client in between, is a copy of the first.
constexpr int64_t kDuplicateRegMs = 1000;
constexpr int kSocketBuffer = 4 * 1024 * 1024;

}  // namespace

Server::Server(ServerOptions options, Commands::Log log)
    : options_(std::move(options)),
      log_(std::move(log)),
      logins_(storage_, options_.limits),
      partials_(options_.limits.maxPartialBytes),
      inBatch_(kReceiveBatch, kReceiveSlot),
      outBatch_(socket_),
      inFaults_(options_.faults),
      outFaults_([this] {
          FaultSettings f = options_.faults;
          f.seed += 1;
          return f;
      }()) {
    commands_ = std::make_unique<Commands>(storage_, FilesFolder(options_.files, options_.limits), log_,
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
    logins_.forgetVerified();
    bool ok = true;
    if (options.exactUsers) {
        ok = storage_.replaceUsers(options.users);
    } else {
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
        bool active = logins_.busy();
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
    decideLogins();

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
    logins_.upkeep(nowMs_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        ClientSession& s = *it->second;
        if (nowMs_ - s.lastHeardMs > (s.confirmed ? kSessionIdleMs : kUnconfirmedMs)) {
            log_(QStringLiteral("session %1 %2, forgotten")
                     .arg(s.tid, s.confirmed ? "idle" : "never confirmed"));
            it = sessions_.erase(it);
            continue;
        }
        s.dropStaleTexts(nowMs_);
        if (s.confirmed && nowMs_ - s.lastSendMs >= kKeepAliveEveryMs) {
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
            s->confirmed = true;
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
            registration(h, text, from, size);
            return;
        }
    }
    // A client we do not know (after a restart, say) hears nothing until it registers again.
    if (!s || h.TIDB != s->tag) {
        return;
    }
    s->lastHeardMs = nowMs_;
    s->confirmed = true;
    QString text;
    const ClientSession::Take t = s->takePacket(h, data, text, nowMs_);
    if (t == ClientSession::Take::Drop) {
        return;
    }
    if (t == ClientSession::Take::FileRefused) {
        // Unacknowledged, the last piece would be sent again; the client is told to give up instead.
        log_(QStringLiteral("upload given up (over the upload limits, or not stored): ") + s->tid);
        s->queueText(CommandText(Cmd::StartReciveFileError2));
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

void Server::registration(const DatagramHeader& h, const QString& text, const UdpAddress& from, int size) {
    // A registration is answered once, whatever comes of it, and never acknowledged: the client tries
    // again on its own when no answer comes, and a forged source gets no more bytes than it sent.
    const ClientSession* old = find(from);
    if (old && !old->confirmed && old->regText == text && nowMs_ - old->regAtMs < kDuplicateRegMs) {
        return;
    }
    const LoginAttempt attempt{
        from, Logins::UserOf(text), Logins::PasswordOf(text), text, size, h.MessageNumber, nowMs_};
    if (logins_.offer(attempt, nowMs_) == Logins::Offer::Accepted) {
        admit(attempt);
    }
}

void Server::decideLogins() {
    LoginAttempt attempt;
    Logins::Outcome outcome = Logins::Outcome::Refused;
    while (logins_.next(nowMs_, attempt, outcome)) {
        if (outcome == Logins::Outcome::Accepted) {
            admit(attempt);
        } else if (outcome == Logins::Outcome::Refused) {
            refuse(attempt, QStringLiteral("wrong name or password"));
        } else {
            log_(QStringLiteral("login of \"%1\" from %2:%3 not checked: database unavailable")
                     .arg(attempt.user.left(64), FormatIPv4(attempt.from.ip))
                     .arg(attempt.from.port));
        }
    }
}

QString Server::overCap(const LoginAttempt& a) const {
    int all = 0;
    int fromAddress = 0;
    int ofUser = 0;
    for (const auto& [k, s] : sessions_) {
        if (s->address == a.from) {
            continue;  // this login takes its place
        }
        ++all;
        fromAddress += s->address.ip == a.from.ip ? 1 : 0;
        ofUser += s->user == a.user ? 1 : 0;
    }
    const ServerLimits& l = options_.limits;
    if (all >= l.maxSessions) {
        return QStringLiteral("%1 sessions in all").arg(all);
    }
    if (fromAddress >= l.maxSessionsPerAddress) {
        return QStringLiteral("%1 sessions from the address").arg(fromAddress);
    }
    if (ofUser >= l.maxSessionsPerUser) {
        return QStringLiteral("%1 sessions of the user").arg(ofUser);
    }
    return {};
}

void Server::admit(const LoginAttempt& a) {
    const QString cap = overCap(a);
    if (!cap.isEmpty()) {
        refuse(a, cap);
        return;
    }
    auto session = std::make_unique<ClientSession>(
        a.from, [this, to = a.from](const char* d, int n) { send(d, n, to); }, nowMs_, partials_);
    ClientSession& s = *session;
    sessions_[key(a.from)] = std::move(session);
    s.regText = a.text;
    s.regAtMs = nowMs_;
    s.logIn(a.user, storage_.userId(a.user), a.number);
    const QString regok = CommandHead(Cmd::RegOk) + QStringLiteral(",\"tid\":\"") + s.tid +
                          QStringLiteral("\",\"version\":\"") + Commands::Version() + QStringLiteral("\"}");
    if (kHeaderEnd + kHeadSize + regok.size() <= a.requestBytes) {
        s.sendOnce(regok);
    }
    log_(QStringLiteral("login of \"%1\" from %2:%3, session %4")
             .arg(a.user.left(64), FormatIPv4(a.from.ip))
             .arg(a.from.port)
             .arg(s.tid));
}

void Server::refuse(const LoginAttempt& a, const QString& why) {
    const ClientSession* s = find(a.from);
    const bool alive = s && s->confirmed && nowMs_ - s->lastHeardMs < kAliveMs;
    log_(QStringLiteral("login refused for \"%1\" from %2:%3: %4%5")
             .arg(a.user.left(64), FormatIPv4(a.from.ip))
             .arg(a.from.port)
             .arg(why, alive ? QStringLiteral("; the session of the address stays") : QString()));
    if (!alive) {
        answerOnce(CommandText(Cmd::AccessDenied), a);
    }
}

void Server::answerOnce(const QString& text, const LoginAttempt& a) {
    const QByteArray d = EncodeTextDatagram(text, 1);
    if (!d.isEmpty() && d.size() <= a.requestBytes) {
        send(d.constData(), int(d.size()), a.from);
    }
}
