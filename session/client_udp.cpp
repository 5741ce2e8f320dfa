// client_udp itself: construction and teardown, the wiring its owner sets, sending, and logging.
#include "session/client_udp.h"

#include <QDir>
#include <QFileInfo>

#include "infra/session_texts.h"
#include "infra/ticks.h"

client_udp::client_udp(const QString& ids, const QString& h, uint16_t p)
    : Window([this](const char* datagram, int size) { SendDatagram(datagram, size); }),
      Reassembly(LastCountSoob) {
    Window.TickCoef = TickCoef;
    QDir().mkpath(kTempDir);
    FileName = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    GetVer();
    Id = ids;

    Back.NameBack = QStringLiteral("dd8");
    Back.Init();
    LogP.name = QStringLiteral("udpc");
    LogP.Log = true;
    LogP.Start();

    SoobEJSON.SetSizeOch(kSoobEJSONSize);
    SoobERAW.SetSizeOch(kSoobERAWSize);
    ReadJSON.SetSizeOch(kReadJSONSize);
    ReadJSONData.SetSizeOch(kReadJSONDataSize);
    Soob.SetSizeOch(kSoobSize);
    SoobFile.SetSizeOch(kSoobFileSize);
    failedLoads_.SetSizeOch(kSoobSize);
    // Whoever puts a command or a file, through GFBaseNetDataSend9 or straight into the queue, wakes
    // the loop.
    Soob.SetWakeUp(&LoopWake);
    SoobFile.SetWakeUp(&LoopWake);

    // Entries are kept as given, blanks included: a blank makes an address that is never reached.
    host = h.split(u',');
    for (const QString& entry : host) {
        uint32_t ip = 0;
        hostIp_.push_back(ParseIPv4(entry, ip) ? std::optional<uint32_t>(ip) : std::nullopt);
    }
    TekHost = int32_t(host.size()) - 1;
    port = p;
    SetServer(ServerAddress());

    Start = FSocket.Open(0, 0, kSocketBufferBytes);
    if (Start) {
        locport = FSocket.LocalPort();
        rec = MakeThread<recieve>(FSocket, static_cast<SessionLink&>(*this));
        rec->Start();
    }
}

// The client's own thread stops first (it uses everything below), then the table loads it started;
// the receiving thread goes before the socket it reads. The log thread, a member, stops when the
// members go.
client_udp::~client_udp() {
    Stop();
    WaitForTableLoads();
    rec.reset();
    FSocket.Close();
    CloseFiles();
}

ThreadPtr<client_udp> client_udp::Create(const QString& ids, const QString& h, uint16_t p) {
    auto client = MakeThread<client_udp>(ids, h, p);
    client->TThread::Start();
    return client;
}

void client_udp::GetVer() {
#ifdef MOBCFG_VERSION
    ver = QStringLiteral(MOBCFG_VERSION);
#else
    ver = QStringLiteral("0.0.0.0");
#endif
}

UdpAddress client_udp::ServerAddress() const {
    const int32_t index = TekHost;
    if (index < 0 || index >= int32_t(hostIp_.size()) || !hostIp_[index]) {
        return {};
    }
    return {*hostIp_[index], port};
}

void client_udp::SendDatagram(const char* datagram, int size) {
    const UdpAddress to = ServerAddress();
    if (to.ip != 0) {
        FSocket.SendTo(datagram, size, to);
    }
    PackSend += 1;
    SpeedSizeOut += size;
}

bool client_udp::SendOne(const QString& data) {
    if (!Window.SendOne(data)) {
        // Only the command word: a registration text holds the password.
        Log(QStringLiteral("not sent, longer than one datagram: \"") + CommandOf(data) +
            QStringLiteral("\" of ") + QString::number(data.size()) + QStringLiteral(" characters"));
        return false;
    }
    ConnectTime = GetTicks();
    return true;
}

void client_udp::Finish() {
    // The owner may release the tables as soon as the thread has ended.
    WaitForTableLoads();
    if (!Start) {
        return;
    }
    SendOne(CommandText(Cmd::CloseClient));
    // The receiving thread reads the socket until it has stopped; only then is the socket closed.
    rec.reset();
    FSocket.Close();
}

double client_udp::ElapsedMs(uint64_t now, uint64_t then) const {
    return (double(now) - double(then)) / double(TickCoef > 0 ? TickCoef : 1);
}

void client_udp::Log(const QString& line) {
    LogP.Buffer.PutSoob(line);
}

void client_udp::SetBases(TBaseC* bases) {
    Bases = bases;
}

void client_udp::SetOnRefreshDatabase(TRefreshDataBase handler) {
    std::lock_guard lock(wiring_);
    fOnRefreshDatabase = std::move(handler);
}

void client_udp::SetOnCommandQueued(TCommandQueued handler) {
    std::lock_guard lock(wiring_);
    fOnCommandQueued = std::move(handler);
}

void client_udp::touchTables(const std::function<void(TBaseClient&)>& action) {
    TBaseC* bases = Bases;
    if (bases == nullptr) {
        return;
    }
    for (int32_t i = 0; i < bases->Count(); ++i) {
        action(*bases->At(i));
    }
}

void client_udp::GFBaseNetDataSend9(TBaseClient* Sender, const QString& Command) {
    // The mark travels with the addition into the backlog, so a replay carries the same one.
    const QString Data = WithAdditionMark(Command);
    const bool queued = Soob.PutSoob(Data);
    TCommandQueued handler;
    {
        std::lock_guard lock(wiring_);
        handler = fOnCommandQueued;
    }
    if (handler) {
        handler(Sender, Data, queued);
    }
}
