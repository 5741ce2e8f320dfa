// client_udp: the session client. One thread whose Execute runs the client loop (client_loop.cpp):
// registration, keep-alive and the end of a session (client_registration.cpp), sending through the
// window and taking in what the receiving thread `recieve` hands over, the dispatcher of server
// commands, file transfer (client_file_transfer.cpp), table loading with live record updates
// (client_table_loading.cpp) and the backlog of the operator's commands (client_backlog.cpp).
// Construction, teardown, the owner's wiring, sending and logging are in client_udp.cpp.
//
// Lifetime: Create() builds the client (socket, receiving thread, log thread, queues, backlog "dd8")
// and starts its thread; the ThreadPtr it returns stops the thread when it destroys the client. A
// client built with the constructor alone has everything but its own thread running, so that a test
// can drive the loop's steps (Prepare, Pass and the steps below) from its own thread instead.
//
// Thread-safety: everything is touched only by the client thread except
//   - the queues (each has its own lock): the main window puts into Soob and SoobFile and takes
//     from ReadJSON; the receiving thread puts into soobE;
//   - the atomics below, shared with the login window and the receiving thread;
//   - username, password and LoadBaseName, which pass under their own locks;
//   - Bases (atomic), fOnRefreshDatabase and fOnCommandQueued (under a lock), set by the main window
//     (SetBases, SetOnRefreshDatabase, SetOnCommandQueued), and the tables themselves, each guarded
//     by its own lock;
//   - Back, the persistent backlog, which has its own lock;
//   - a received table file, which a thread of its own (tableLoads_) loads into its table while the loop
//     goes on: the helper holds the table's lock from before the loop continues until the load and
//     its "tableload" notice are done, so nothing reaches the table half loaded;
//   - the tables' caches, which a thread of its own (cacheReads_) reads ahead from each login on, each
//     under its table's lock, so a load request waits for the reading of its table.
// fOnRefreshDatabase runs on the client thread.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "infra/backlog.h"
#include "infra/log.h"
#include "infra/queues.h"
#include "infra/thread.h"
#include "infra/ticks.h"
#include "infra/udp_socket.h"
#include "session/datagram.h"
#include "session/locked_text.h"
#include "session/piece_buffer.h"
#include "session/reassembly.h"
#include "session/recieve.h"
#include "session/send_window.h"
#include "tables/base_set.h"

class client_udp;

// Called on the client thread with the client and the NameTableS of a table that changed.
using TRefreshDataBase = std::function<void(client_udp* Sender, const QString& name)>;
// Called with each edit command a table hands to the session, on the thread that posted it, and
// whether Soob took it (a full queue refuses).
using TCommandQueued = std::function<void(TBaseClient* Sender, const QString& Data, bool queued)>;

// Disconnect codes carried by the "disconnected" notice.
namespace DisconnectCode {
inline constexpr int NoSignOfLife = 1;
inline constexpr int NotAcknowledged = 2;
inline constexpr int ReceiveFileNotOpened = 3;
inline constexpr int PieceWithoutOffer = 4;
inline constexpr int RawDoesNotFit = 5;
inline constexpr int LoadingStalled = 7;
inline constexpr int ServerFileError2 = 9;
inline constexpr int ServerFileError = 12;
}  // namespace DisconnectCode

// Queue capacities.
inline constexpr int32_t kSoobEJSONSize = 1000;
inline constexpr int32_t kSoobERAWSize = 10000;
inline constexpr int32_t kReadJSONSize = 1000;
inline constexpr int32_t kReadJSONDataSize = 100;
inline constexpr int32_t kSoobSize = 1000;
inline constexpr int32_t kSoobFileSize = 1000;

// How long an upload the server accepted may stay unreadable before it is given up and reported.
inline constexpr double kUploadOpenPatienceMs = 400.0;

// Why an upload was given up, as the "sendfileerror" notice's "reason" says.
enum class UploadError { Refused, Unreadable, TooLong };

inline constexpr int kSocketBufferBytes = 524288;
inline constexpr int kRecordsPerPass = 64;
// Longest wait of the client loop for work after a pass that found none: the timers of the loop
// (re-sends at least 50 ms apart, the 100 ms backlog step, the once-a-second tick) then run late by
// at most this much.
inline constexpr std::chrono::microseconds kIdleWait{2000};
// A received or sent file larger than this is refused: sizes travel as signed 32-bit numbers.
inline constexpr int64_t kMaxFileSize = 2'000'000'000;
// The received-files folder, relative to the working directory.
inline const QString kTempDir = QStringLiteral("temp");

class client_udp : public TThread, public SessionLink {
  public:
    client_udp(const QString& ids, const QString& h, uint16_t p);
    ~client_udp() override;
    client_udp(const client_udp&) = delete;
    client_udp& operator=(const client_udp&) = delete;

    // Builds the client and starts its thread.
    static ThreadPtr<client_udp> Create(const QString& ids, const QString& h, uint16_t p);

    // ---- session (client_registration.cpp) ----
    uint16_t port = 0;
    QStringList host;
    std::atomic<int32_t> TekHost{0};
    UdpSocket FSocket;
    int32_t locport = 0;
    bool Start = false;
    ThreadPtr<recieve> rec;
    QString FileName;
    QString MainDir;
    QString Id;
    LockedText username;
    LockedText password;
    QString ver;
    QString zip = QStringLiteral("0");
    int32_t TestInt = 1;
    uint32_t TimeConnect = 4000;
    std::atomic<uint64_t> ConnectTime{0};
    uint64_t TestTime = 0;
    uint64_t reciveTime = 0;
    std::atomic<bool> Connect{false};
    std::atomic<bool> Connected{false};
    std::atomic<bool> PasOK{false};
    std::atomic<bool> AD{false};
    std::atomic<bool> DatabaseLoad{false};
    // The registration text of the credentials given does not fit one datagram: nothing was sent and
    // Connect is off again. The login window clears it when it has told the operator.
    std::atomic<bool> RegTooLong{false};
    QString tId;
    // Ticks per millisecond: every time-out and interval of the session is in milliseconds.
    uint64_t TickCoef = kTicksPerMs;

    // The sending half: message numbering (CountMes), TIDB, PacketSend, the window and its time-out.
    TSendWindow Window;
    // Reassembly of JSON texts and binary record messages, and the bitmap of the file received.
    TReassembly Reassembly;

    // ---- queues, backlog, log ----
    OchFIFOJSON Soob;
    OchFIFOJSON SoobFile;
    OchFIFOJSON SoobEJSON;
    OchFIFO SoobERAW;
    OchFIFOJSON ReadJSON;
    OchFIFOJSON ReadJSONData;
    TBackSoobString Back;
    TLog LogP;

    // ---- counters (display only); keepAlive, LastCountSoob, soobE and the receiving thread's
    // counters come with SessionLink ----
    std::atomic<int64_t> SpeedSizeIn{0};
    std::atomic<int64_t> SpeedOut{0};
    std::atomic<int64_t> SpeedIn{0};
    int64_t CountSvazGT = 0;
    std::atomic<int64_t> CountSvazC{0};
    std::atomic<int32_t> CountSvaz{0};

    // ---- loop (client_loop.cpp) ----
    uint64_t Timer1000 = 0;
    // The refused address last written to the log, so that each is logged once.
    UdpAddress refusedLogged_;
    uint64_t SendSoobTime = 0;
    // A backlog entry is in flight; atomic because the status line counts the waiting commands.
    std::atomic<bool> StartSoob{false};
    QString SoobStr;
    // The backlog entry in flight went into SoobFile (a "putfile"), not into Soob.
    bool SoobStrFile = false;
    QString NotOnLineNum;
    LockedText LoadBaseName;

    // ---- file transfer (client_file_transfer.cpp) ----
    QString FileNameRecive;
    std::unique_ptr<QFile> fstreamRecive;
    // Pieces of the received file not yet written to fstreamRecive.
    TPieceBuffer Pieces;
    int32_t StartfileCount = 0;
    std::atomic<int64_t> ReciveSize{0};
    // Bytes of the file being received that have arrived (display only: a piece that has to come
    // again after a failed write counts twice); 0 between files.
    std::atomic<int64_t> ReciveDone{0};
    int64_t RecivePos = 0;
    std::atomic<int32_t> perload{100};
    std::atomic<int64_t> SizePLoad{0};
    std::atomic<int64_t> ResendPacket{0};
    QString GetFileName;
    bool GetFileYes = false;
    QString MessagesRefreshFileName;
    QString ArchiveFileName;
    QString ArchiveName;
    std::unique_ptr<QFile> fstreamSend;
    bool StartFile = false;
    uint64_t StartFileTimeOut = 0;
    // The server accepted the offer of the file being sent; it is opened, once per pass, until it
    // opens or kUploadOpenPatienceMs after the first failure.
    bool UploadAccepted = false;
    uint64_t UploadOpenFailedAt = 0;
    QString SendFileName;        // "name" of the file entry being sent
    QString SendFileNameInServ;  // its "nameinserv"

    // ---- table loading (client_table_loading.cpp) ----
    bool StartLoadDatabase = false;
    std::atomic<int64_t> SizeLoad{0};
    // Waits until every table file handed to the loading thread is loaded and announced.
    void WaitForTableLoads();

    // ---- wiring by the owner (client_udp.cpp) ----
    void SetBases(TBaseC* bases);
    void SetOnRefreshDatabase(TRefreshDataBase handler);
    void SetOnCommandQueued(TCommandQueued handler);

    // ---- the loop's steps; Execute strings them together (client_loop.cpp) ----
    // Before the loop: ConnectTime, speedTimer, MainDir.
    void Prepare();
    // One pass of the loop; true when it was busy (no pause wanted). After an idle pass Execute waits
    // for at most kIdleWait on LoopWake, which every put into Soob or SoobFile and every batch the
    // receiving thread queues signals.
    bool Pass();
    // Session upkeep and sending while logged in (step 2.1).
    bool SendStep(uint64_t now);
    // Takes a record from soobE; true when there was one. Acknowledgements and pieces of a file still
    // being received are taken in a run of up to kRecordsPerPass, anything else alone: a pass then
    // acts on one server command at most, while a file or an acknowledged window moves at the speed
    // of the socket rather than of the loop.
    bool TakeRecord();
    // Applies one binary record message (step 4) and acts on one server command (step 5); true
    // when there was one.
    bool RawStep();
    bool JsonStep();
    void RefreshStep();
    void SecondTick(uint64_t now);
    // The backlog replay step (client_backlog.cpp).
    void BacklogStep(uint64_t now);
    // After the loop: "closeclient", socket closed, receiving thread stopped (client_udp.cpp).
    void Finish();

    // ---- registration, supervision, drop (client_registration.cpp) ----
    void Register(uint64_t now);
    void SuperviseLink(uint64_t now);
    void HandleRegOk(const QString& m);
    void HandleAccessDenied(const QString& m);
    void BaseLostConnect();
    // BaseLostConnect, then the "disconnected" notice with the code.
    void Disconnect(int code);
    void PostDisconnected(int code);
    // The registration text of the current credentials.
    QString RegistrationText() const;
    // The 16-byte session tag of a GUID text of 36 characters; zero for anything else.
    static TIDBytes TIDBFromTid(const QString& tid);

    // ---- sending (client_udp.cpp; the window's texts in client_loop.cpp) ----
    // The version reported at registration.
    void GetVer();
    // The address datagrams go to and are accepted from.
    UdpAddress ServerAddress() const;
    // One JSON text as a single datagram outside the window. False, with a log line, when it does not
    // fit one datagram (nothing is sent then).
    bool SendOne(const QString& data);
    // Sends a finished datagram to the server (the window's and SendOne's way out).
    void SendDatagram(const char* datagram, int size);
    // Starts the JSON text at the head of Soob in the window.
    bool StartJsonMessage(uint64_t now);
    // The message in the window completed (Complete) or its file could not be read (Failed).
    void MessageEnded(TSendWindow::FillResult fill, uint64_t now);
    // At a drop: a message whose every packet was acknowledged is delivered, not kept for replay.
    void SettleDelivered();
    // The tables' OnNetDataSend9 handler: the command goes into Soob, an addition with its mark.
    void GFBaseNetDataSend9(TBaseClient* Sender, const QString& Command);

    // ---- dispatcher (client_loop.cpp) ----
    void DispatchJSON(const QString& m);
    // A received datagram record (kind 2, or 20 before login), still scrambled; it is unscrambled
    // in place. Returns where its message went.
    Route HandleDatagram(QByteArray& record);
    void HandleAck(const QByteArray& record);

    // ---- file transfer (client_file_transfer.cpp) ----
    void HandleServerOffer(const QString& m);
    void HandleFilePiece(const DatagramHeader& header, QByteArrayView data);
    // Starts the file entry at the head of SoobFile; true when an entry was taken.
    bool StartFileSend(uint64_t now);
    // Before the server's acceptance the offer, again after each time-out; after it the open.
    void OfferOrOpenUpload(uint64_t now);
    void HandleFileAccepted();
    void OpenUpload(uint64_t now);
    // Gives the upload in the window up: the "sendfileerror" notice, and the entry leaves SoobFile
    // (and the backlog) so that what waits behind it goes out.
    void AbandonUpload(UploadError why);
    void FileSendComplete(uint64_t now);
    QString FileOfferText() const;
    void HandleFileToServer(const QString& m);
    void HandleGetArchiveOk(const QString& m);
    void HandleHistoryFromFile(const QString& m);
    void CloseFiles();

    // ---- table loading and record updates (client_table_loading.cpp) ----
    void LoadNextTable();
    void HandleTableRawFromFile(const QString& m);
    // A complete received file F: true when a table took it.
    bool TableFileArrived(const QString& F, int64_t messageSize);
    void HandleRefreshDataDatabase(const QString& m);
    void DispatchRaw(const QByteArray& message);

    // ---- backlog of the operator's commands (client_backlog.cpp) ----
    // Whether a queued entry must survive the end of its session.
    static bool KeepAcrossSessions(const QString& entry);
    // Empties Soob and SoobFile, keeping the operator's commands in Back.
    void DropQueuedCommands();
    // The head of the queue is done (delivered, or given up and reported): it leaves the queue, and
    // the backlog too when it is the entry being replayed.
    void HeadDone(OchFIFOJSON& queue);

    // ---- logging and time (client_udp.cpp) ----
    // Writes one line to the client's log.
    void Log(const QString& line);
    // Milliseconds between two tick counts.
    double ElapsedMs(uint64_t now, uint64_t then) const;

  protected:
    void Execute() override;

  private:
    void finishReceivedFile(int64_t messageNumber, int64_t messageSize);
    // Writes the gathered pieces to the received file; on failure logs it and makes them missing.
    bool flushPieces();
    bool openReceivedFile(const DatagramHeader& header);
    void splitArchive(const QString& path);
    void applyRaw(QByteArrayView message, bool inBatch);
    // Loads a received table file on the loading thread; returns once that thread holds the table.
    void loadTableFile(TBaseClient& table, const QString& path, int64_t messageSize);
    void touchTables(const std::function<void(TBaseClient&)>& action);

    // The record TakeRecord takes from soobE; its storage is reused from one record to the next.
    QByteArray record_;
    // Dotted addresses of host, parsed once; an entry that is no IPv4 address is never sent to.
    std::vector<std::optional<uint32_t>> hostIp_;
    mutable std::mutex wiring_;
    // Set once by the owner after creation; read by the client thread on every pass.
    std::atomic<TBaseC*> Bases{nullptr};
    TRefreshDataBase fOnRefreshDatabase;
    TCommandQueued fOnCommandQueued;
    // Table files being loaded: the next table is requested and received meanwhile. The loop counts
    // the tables loaded only when none is still loading.
    // Asks again, once a session, for each table whose file failed to load (failedLoads_).
    void ReloadFailedTables();
    // One thread per table file being loaded (joined when none runs, at a login and at the end).
    std::vector<std::jthread> tableLoads_;
    // Reads the tables' caches, in the order they are requested, from the login on (joined with the
    // table loads).
    void ReadCachesAhead();
    std::jthread cacheReads_;
    std::atomic<int32_t> tablesLoading_{0};
    // Names of tables whose file failed to load, put by the loading threads.
    OchFIFOJSON failedLoads_;
    // Tables already asked for again this session (client thread).
    QSet<QString> reloadedTables_;
};
