// The client loop: one pass after another of small steps, and the dispatcher of server commands.
#include "infra/file_names.h"
#include "infra/files.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/ticks.h"
#include "session/client_udp.h"

void client_udp::Execute() {
    Prepare();
    while (!Terminated() && Start) {
        if (!Pass()) {
            LoopWake.Wait(kIdleWait);
        }
    }
    Finish();
}

void client_udp::Prepare() {
    ConnectTime = 0;
    Window.speedTimer = GetTicks();
    MainDir = WorkingDir();
    if (!MainDir.endsWith(u'/')) {
        MainDir += u'/';
    }
}

bool client_udp::Pass() {
    bool busy = false;
    const uint64_t now = GetTicks();
    if (Connect) {
        if (Connected) {
            busy = SendStep(now);
        } else if (ConnectTime == 0 || ElapsedMs(now, ConnectTime) > TimeConnect) {
            Register(now);
        }
    }
    busy = TakeRecord() || busy;
    if (DatabaseLoad) {
        busy = RawStep() || busy;
    }
    busy = JsonStep() || busy;
    LoadNextTable();
    RefreshStep();
    SecondTick(now);
    BacklogStep(now);
    return busy;
}

bool client_udp::SendStep(uint64_t now) {
    SuperviseLink(now);
    if (!Connected) {
        return false;
    }
    auto& sending = Window.PacketSend;
    const int32_t cutBefore = sending.SendCountPacket;
    const int64_t sentBefore = Window.countsendall;
    // A file in the window keeps the loop busy so that its packets keep flowing. A text whose
    // packets are all out only waits for acknowledgements: the loop rests on LoopWake, which the
    // receiving thread signals when they come, instead of spinning on a core the server needs.
    bool busy = sending.start && sending.SFile;
    if (sending.start) {
        if (sending.SFile && !StartFile) {
            OfferOrOpenUpload(now);
        }
        // An upload given up above has left the window.
        const auto fill = sending.start ? Window.FillWindow(now) : TSendWindow::FillResult::Idle;
        if (fill == TSendWindow::FillResult::Complete || fill == TSendWindow::FillResult::Failed) {
            busy = true;
            MessageEnded(fill, now);
        }
    } else {
        busy = StartFileSend(now);
        if (!sending.start) {
            busy = StartJsonMessage(now) || busy;
        }
    }
    if (sending.start && Window.SendWindow(now) == TSendWindow::SendResult::Failed) {
        Disconnect(DisconnectCode::NotAcknowledged);
    }
    return busy || sending.SendCountPacket != cutBefore || Window.countsendall != sentBefore;
}

void client_udp::MessageEnded(TSendWindow::FillResult fill, uint64_t now) {
    if (fill == TSendWindow::FillResult::Failed) {
        AbandonUpload(UploadError::Unreadable);
    } else if (Window.TypeSend == PacketTypes::File) {
        FileSendComplete(now);
    } else {
        HeadDone(Soob);
    }
}

void client_udp::SettleDelivered() {
    // Only once every packet has been cut does FillWindow neither cut nor read: it just tells
    // whether the last acknowledgement has come.
    if (!Window.PacketSend.start || Window.CutPosition() < Window.PacketSend.CountPacket) {
        return;
    }
    const uint64_t now = GetTicks();
    if (const auto fill = Window.FillWindow(now); fill == TSendWindow::FillResult::Complete) {
        MessageEnded(fill, now);
    }
}

bool client_udp::StartJsonMessage(uint64_t) {
    QString m;
    if (!Soob.GetSoob(m)) {
        return false;
    }
    Log(QStringLiteral(">>>> ") + m);
    if (CommandOf(m) == Cmd::GetFileClient) {
        LoadBaseName.Set(GetJSONValue(m, QStringLiteral("name")));
    }
    if (GetJSONValue(m, QStringLiteral("command")) == Cmd::GetFile) {
        GetFileYes = false;
        GetFileName = SafeFileName(GetJSONValue(m, QStringLiteral("filename")));
    }
    Window.StartText(m);
    return true;
}

bool client_udp::TakeRecord() {
    bool taken = false;
    QByteArray& record = record_;
    for (int i = 0; i < kRecordsPerPass; ++i) {
        if (!soobE.GetSoobD(record)) {
            break;
        }
        taken = true;
        CountSvazG += 1;
        SpeedSizeIn += record.size();
        if (record.at(0) == kRecordAck) {
            if (Connect) {
                HandleAck(record);
            }
            continue;
        }
        Route route = Route::None;
        if (record.at(0) == kRecordData || (record.at(0) == kRecordBeforeLogin && !Connect)) {
            route = HandleDatagram(record);
        }
        // Anything that may give the rest of the pass work (a command, a record message, a finished
        // file) ends the run, so later records never overtake what it started.
        if (route != Route::FilePiece || !fstreamRecive) {
            break;
        }
    }
    return taken;
}

void client_udp::HandleAck(const QByteArray& record) {
    int64_t messageNumber = 0;
    int32_t packetNumber = 0;
    if (!ReadAckRecord(record, messageNumber, packetNumber)) {
        return;
    }
    const uint64_t now = GetTicks();
    keepAlive = now;
    Window.HandleAck(messageNumber, packetNumber, now);
}

Route client_udp::HandleDatagram(QByteArray& record) {
    if (RecordDatagram(record).isEmpty()) {
        return Route::None;
    }
    DatagramHeader header;
    QByteArrayView data;
    if (!DecodeDatagramInPlace(record.data() + 1, record.size() - 1, header, data)) {
        return Route::None;
    }
    keepAlive = GetTicks();
    Delivery delivery = Reassembly.Take(header, data, Connect);
    switch (delivery.route) {
        case Route::SoobEJSON:
            SoobEJSON.PutSoob(delivery.text);
            break;
        case Route::ReadJSON:
            ReadJSON.PutSoob(delivery.text);
            break;
        case Route::ReadJSONData:
            ReadJSONData.PutSoob(delivery.text);
            break;
        case Route::SoobERAW:
            SoobERAW.PutSoob(delivery.raw);
            break;
        case Route::FilePiece:
            HandleFilePiece(header, data);
            break;
        case Route::RawDoesNotFit:
            Log(delivery.text);
            Disconnect(DisconnectCode::RawDoesNotFit);
            break;
        case Route::None:
            break;
    }
    return delivery.route;
}

bool client_udp::RawStep() {
    QByteArray message;
    if (!SoobERAW.GetSoobD(message)) {
        return false;
    }
    DispatchRaw(message);
    return true;
}

bool client_udp::JsonStep() {
    QString m;
    if (!SoobEJSON.GetSoobD(m)) {
        return false;
    }
    DispatchJSON(m);
    return true;
}

void client_udp::RefreshStep() {
    if (!DatabaseLoad) {
        return;
    }
    TRefreshDataBase handler;
    {
        std::lock_guard lock(wiring_);
        handler = fOnRefreshDatabase;
    }
    if (!handler) {
        return;
    }
    touchTables([this, &handler](TBaseClient& table) {
        if (table.RefreshYes && table.FlagLoadData) {
            handler(this, table.NameTableS);
            table.RefreshYes = false;
        }
    });
}

void client_udp::SecondTick(uint64_t now) {
    if (ElapsedMs(now, Timer1000) <= 1000.0) {
        return;
    }
    Timer1000 = now;
    if (const UdpAddress refused = Refused(); refused.ip != 0 && !(refused == refusedLogged_)) {
        refusedLogged_ = refused;
        const UdpAddress server = Server();
        Log(QStringLiteral("datagrams from %1:%2 refused: only the server's address %3:%4 is answered")
                .arg(FormatIPv4(refused.ip))
                .arg(refused.port)
                .arg(FormatIPv4(server.ip))
                .arg(server.port));
    }
    SpeedIn = SpeedSizeIn.exchange(0);
    SpeedOut = SpeedSizeOut.exchange(0);
    const int64_t heard = CountSvazG;
    if (heard != CountSvazGT) {
        CountSvaz = CountSvaz + 1 > 15 ? 0 : CountSvaz + 1;
        CountSvazC = heard - CountSvazGT;
        CountSvazGT = heard;
    }
}

void client_udp::DispatchJSON(const QString& m) {
    const QString c = CommandOf(m);
    if (c == Cmd::Testex) {
        const QString f =
            GetJSONValue(GetJSONValue(m, QStringLiteral("messages")), QStringLiteral("filename"));
        if (!f.isEmpty()) {
            MessagesRefreshFileName = SafeFileName(f);
            SendOne(GetFileRequest(SessionFilePath(tId, f)).Tid(tId).Name(f).DeleteAfter().Text());
            ReadJSON.PutSoob(CommandHead(Cmd::ToSoob) + QStringLiteral(",\"data\":\"messages\"}"));
        }
    } else if (c == Cmd::RefreshTid) {
        NotOnLineNum = GetJSONValue(m, QStringLiteral("t"));
    } else if (c == Cmd::QueueZag || c == Cmd::FileToServerOk) {
    } else if (c == Cmd::GetArchiveOk) {
        HandleGetArchiveOk(m);
    } else if (c == Cmd::HistoryFromFile) {
        HandleHistoryFromFile(m);
    } else if (c == Cmd::TableRawFromFile) {
        HandleTableRawFromFile(m);
    } else if (c == Cmd::RefreshDataDatabase) {
        HandleRefreshDataDatabase(m);
    } else if (c == Cmd::SendFile) {
        HandleServerOffer(m);
    } else if (c == Cmd::StartReciveFileError) {
        // The answer to an offer of ours refuses that upload alone; the session goes on.
        if (Window.PacketSend.start && Window.PacketSend.SFile && !StartFile) {
            AbandonUpload(UploadError::Refused);
        } else {
            Disconnect(DisconnectCode::ServerFileError);
        }
    } else if (c == Cmd::StartReciveFileError2) {
        Disconnect(DisconnectCode::ServerFileError2);
    } else if (c == Cmd::StartReciveFile) {
        HandleFileAccepted();
    } else if (c == Cmd::FileToServer) {
        HandleFileToServer(m);
    } else if (c == Cmd::MobilTech) {
        ReadJSON.PutSoob(GetJSONValue(m, QStringLiteral("data")));
    } else if (c == Cmd::AccessDenied) {
        HandleAccessDenied(m);
    } else if (c == Cmd::RegOk) {
        HandleRegOk(m);
    } else {
        // "newlk", "netyesadddatadatabase", "sendfilenotfind", "reglkok", "regpinok", "regpinerror"
        // and every command this client does not know go to the main window as they came.
        ReadJSON.PutSoob(m);
    }
}
