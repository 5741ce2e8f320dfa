// Registration with the server, link supervision and the drop of a session.
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
    LastCountSoob = 0;
    if (!SendOne(text)) {
        // Trying again cannot help: the operator has to be told.
        Connect = false;
        RegTooLong = true;
    }
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
    reloadedTables_.clear();
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
    ReadCachesAhead();
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
    SettleDelivered();
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
