// Creation of the session client, registration with the server, link supervision, the drop of a
// session and the end of the client thread.
#include <QDir>
#include <QFileInfo>

#include "infra/bytes.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/ticks.h"
#include "session/client_udp.h"

namespace {

// 1-based positions in a GUID text of the 16 hexadecimal pairs, skipping its hyphens.
constexpr int kTidPairs[kTIDBSize] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
constexpr int kTidLength = 36;

}  // namespace

client_udp::client_udp(const QString& ids, const QString& h, uint16_t p)
    : Window([this](const char* datagram, int size) { SendDatagram(datagram, size); }),
      Reassembly(LastCountSoob) {
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
        rec = std::make_unique<recieve>(FSocket, static_cast<SessionLink&>(*this));
        rec->Start();
    }
}

client_udp::~client_udp() {
    Terminate();
    WaitFor();
    WaitForTableLoads();
    // A client whose thread never ran still has its receiving thread.
    if (rec) {
        rec->Terminate();
        rec->WaitFor();
        rec.reset();
    }
    FSocket.Close();
    CloseFiles();
    LogP.Terminate();
    LogP.WaitFor();
}

std::unique_ptr<client_udp> client_udp::Create(const QString& ids, const QString& h, uint16_t p) {
    auto client = std::make_unique<client_udp>(ids, h, p);
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

void client_udp::SendOne(const QString& data) {
    Window.SendOne(data);
    ConnectTime = GetTicks();
}

QString client_udp::RegistrationText() const {
    // The password is escaped like the user name: a quote or a backslash in it must not change the
    // structure of the text.
    return CommandHead(Cmd::Reg) + QStringLiteral(",\"id\":\"") + StrToJSONStr(Id) +
           QStringLiteral("\",\"username\":\"") + StrToJSONStr(username.Get()) +
           QStringLiteral("\",\"password\":\"") + StrToJSONStr(password.Get()) +
           QStringLiteral("\",\"keepalive\":") + QString::number(TestInt) + QStringLiteral(",\"zip\":") +
           zip + QStringLiteral(",\"ver\":\"") + StrToJSONStr(ver) + QStringLiteral("\"}");
}

TIDBytes client_udp::TIDBFromTid(const QString& tid) {
    TIDBytes tidb{};
    if (tid.size() != kTidLength) {
        return tidb;
    }
    for (int k = 0; k < kTIDBSize; ++k) {
        const int high = HexDigit(tid[kTidPairs[k] - 1]);
        const int low = HexDigit(tid[kTidPairs[k]]);
        tidb[k] = (high < 0 || low < 0) ? 0 : uint8_t(high * 16 + low);
    }
    return tidb;
}

void client_udp::Register(uint64_t now) {
    ConnectTime = now;
    TekHost = (TekHost + 1) % int32_t(host.size());
    SetServer(ServerAddress());
    Window.StartSend = false;
    Window.SendOk = false;
    Window.TIDB = {};
    const QString text = RegistrationText();
    PasOK = false;
    // Half-built messages of an earlier session would be completed with pieces of the new one.
    Reassembly.Discard();
    Window.CountMes = 0;
    SendOne(text);
    LastCountSoob = 0;
}

void client_udp::HandleRegOk(const QString& m) {
    // A table of the last session still loading is finished before every table starts afresh.
    WaitForTableLoads();
    touchTables([](TBaseClient& table) {
        table.FlagLoadData = false;
        table.SendLoadData = false;
        table.Clear();
    });
    SizePLoad = 0;
    SizeLoad = 0;
    PasOK = true;
    AD = false;
    tId = GetJSONValue(m, QStringLiteral("tid"));
    DropQueuedCommands();
    StartSoob = false;
    Window.TIDB = TIDBFromTid(tId);
    const uint64_t now = GetTicks();
    // Whoever sees the session connected must not see it loaded while it still has tables to load, so
    // the load flag is settled first.
    bool anyTable = false;
    touchTables([this, &anyTable](TBaseClient& table) {
        anyTable = true;
        {
            auto guard = table.Guard();
            table.OnNetDataSend9 = [this](TBaseClient* sender, const QString& data) {
                GFBaseNetDataSend9(sender, data);
            };
        }
        table.StartLoad = false;
    });
    DatabaseLoad = !anyTable;
    Connected = true;
    reciveTime = now;
    PackSend = 0;
    PackRecive = 0;
    TimeConnect = 4000;

    QString notice = CommandHead(Cmd::Connected) + QStringLiteral(",\"ver_serv\":\"") +
                     StrToJSONStr(GetJSONValue(m, QStringLiteral("version"))) +
                     QStringLiteral("\",\"data\":") + m;
    const QString lkuser = GetJSONValue(m, QStringLiteral("lkuser_n_abs"));
    if (!lkuser.isEmpty()) {
        notice += QStringLiteral(",\"lkuser_n_abs\":") + lkuser;
    }
    ReadJSON.PutSoob(notice + u'}');

    Window.ResizeWindow(kWindowSlotsAtStart);
    // Three registration round trips; below 50 ms a loopback round trip of under a millisecond would
    // re-send every packet on every pass.
    Window.PacketTimeOut = std::max<uint32_t>(50, 3 * uint32_t(ElapsedMs(now, ConnectTime)));
}

void client_udp::HandleAccessDenied(const QString& m) {
    AD = true;
    Connected = false;
    TimeConnect = 30000;
    ReadJSON.PutSoob(m);
}

void client_udp::SuperviseLink(uint64_t now) {
    if (ElapsedMs(now, TestTime) > TestInt * 1000.0 && DatabaseLoad) {
        TestTime = now;
        const QString test = CommandText(Cmd::Testex);
        SendOne(test);
        Log(test + QStringLiteral(" 0 0"));
    }
    if (DatabaseLoad) {
        if (ElapsedMs(now, keepAlive) > TestInt * 10000.0) {
            Disconnect(DisconnectCode::NoSignOfLife);
        }
    } else if (ElapsedMs(now, reciveTime) > 30000.0) {
        BaseLostConnect();
        reciveTime = now;
        PostDisconnected(DisconnectCode::LoadingStalled);
    }
}

void client_udp::BaseLostConnect() {
    Connected = false;
    ConnectTime = 0;
    DatabaseLoad = false;
    StartLoadDatabase = false;
    DropQueuedCommands();
    StartSoob = false;
    Window.Abandon();
    Window.ResizeWindow(kWindowSlotsAtStart);
    StartFile = false;
    CloseFiles();
    StartfileCount = 0;
    // Files asked for in this session are not expected in the next one.
    FileNameRecive.clear();
    ArchiveFileName.clear();
    ArchiveName.clear();
    MessagesRefreshFileName.clear();
    TekHost = (TekHost + 1) % int32_t(host.size());
    SetServer(ServerAddress());
}

void client_udp::PostDisconnected(int code) {
    ReadJSON.PutSoob(CommandHead(Cmd::Disconnected) + QStringLiteral(",\"p\":") + QString::number(code) +
                     u'}');
}

void client_udp::Disconnect(int code) {
    BaseLostConnect();
    PostDisconnected(code);
}

void client_udp::Finish() {
    // The owner may release the tables as soon as the thread has ended.
    WaitForTableLoads();
    if (!Start) {
        return;
    }
    SendOne(CommandText(Cmd::CloseClient));
    // The receiving thread reads the socket until it has stopped; only then is the socket closed.
    rec->Terminate();
    rec->WaitFor();
    rec.reset();
    FSocket.Close();
}

double client_udp::ElapsedMs(uint64_t now, uint64_t then) const {
    return (double(now) - double(then)) / double(TickCoef > 0 ? TickCoef : 1);
}

void client_udp::Log(const QString& line) {
    LogP.Buffer.PutSoob(line);
}
