// The server's state for one client address: its session tag, the numbering and reassembly of
// what it sends, the send window of what it is sent, and the queue of messages waiting for the
// window. The window carries one message at a time and the next starts only when every packet of
// the previous one is acknowledged, since a client that completes a message drops every later
// piece of a message with a smaller number. Record updates, answers and file offers therefore wait
// in one queue, in the order they were produced; a file offered to the client blocks the queue
// until the file is through (or given up), so that changes reach the client after its snapshot.
// Not thread-safe: the protocol thread owns every session.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "infra/udp_socket.h"
#include "memory_budget.h"
#include "session/reassembly.h"
#include "session/send_window.h"
#include "upload_file.h"

// Largest text a client may send us, the most texts half received at once, and the most bytes they
// may hold together. A text not complete this long after its first piece is given up.
inline constexpr int32_t kMaxClientText = 1024 * 1024;
inline constexpr int kMaxOpenTexts = 4;
inline constexpr int64_t kMaxOpenTextBytes = kMaxClientText;
inline constexpr int64_t kOpenTextTimeOutMs = 30000;
// A record update goes as the text "refreshdatadatabase" only when that fits one datagram.
inline constexpr int kMaxRecordText = kMaxDataBytes;
// Largest file a client may send us.
inline constexpr int64_t kMaxUpload = 256LL * 1024 * 1024;
// An upload that gets no piece for this long is given up, and its temporary file removed.
inline constexpr int64_t kUploadIdleMs = 60000;
// A file offer is repeated after this pause (or three round trips, if longer) without acceptance,
// at most kMaxOffers times in all: clients give up after ten offers without a piece.
inline constexpr int64_t kOfferPauseMs = 250;
inline constexpr int kMaxOffers = 10;

// A file the client will be sent: held in memory as pieces that follow one another (a snapshot
// shares its blocks with the snapshot cache instead of copying them), or read from disk.
struct OutgoingFile {
    QString name;  // the plain name the client stores it under
    std::vector<QByteArray> pieces;
    // When set, the file is read from what it opens (at the moment the file's turn comes).
    std::function<std::unique_ptr<QFile>()> open;
};

class ClientSession {
  public:
    using SendFunction = std::function<void(const char* datagram, int size)>;

    // A session exists once its user has logged in. Texts it receives in part draw on `partials`.
    ClientSession(const UdpAddress& address, SendFunction send, int64_t nowMs, MemoryBudget& partials);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    const UdpAddress address;
    TIDBytes tag{};
    QString tid;
    QString user;
    int32_t userId = 0;  // stamped into the changes the session makes
    // The client has sent a datagram with the session's tag (an acknowledgement of the answer to its
    // registration, say), which only that answer told it: the address is really the client's. Until
    // then it is sent nothing else.
    bool confirmed = false;
    int64_t lastHeardMs;
    // The registration this session answered, to recognise a copy of it.
    QString regText;
    int64_t regAtMs = 0;

    // Tables whose snapshot this client was given: it receives their changes from then on.
    QSet<QString> loadedTables;
    // Snapshots announced by name ("tablerawfromfile") and waiting for the client's "getfile".
    struct PendingSnapshot {
        QString table;
        QHash<QString, QString> digests;
        std::vector<QByteArray> pieces;
        uint64_t version = 0;
    };
    QHash<QString, PendingSnapshot> snapshots;

    // The login is accepted: a new session tag (and its text, the "tid") goes into every header we
    // send from now on, and the registration message counts as received.
    void logIn(const QString& userName, int32_t id, int64_t regNumber);
    // One text as a single datagram outside the window, never sent again (the answer to a
    // registration: an address that has not confirmed the session gets one datagram and no more).
    void sendOnce(const QString& text);

    // --- receiving
    enum class Take { Drop, Duplicate, Partial, Text, FilePiece, FileDone, FileRefused };
    // Takes one data packet (header and unscrambled data). Drop: not acknowledged. Text: `text`
    // holds a complete text. FileRefused: the upload was given up (over the limits, or the file
    // could not be put in place); the client must be told. The caller acknowledges everything but
    // Drop and FileRefused.
    Take takePacket(const DatagramHeader& header, QByteArrayView data, QString& text, int64_t nowMs);
    // Gives up texts that were not completed in time (the memory they hold returns), and an upload
    // that stopped.
    void dropStaleTexts(int64_t nowMs);
    int64_t openTextBytes() const { return openTextBytes_; }
    // The client's file offer was accepted; its pieces go to `file` (an upload before is given up).
    void acceptUpload(std::unique_ptr<UploadFile> file);
    bool uploadPending() const { return upload_.file != nullptr; }
    // The path of the upload in progress inside the files folder.
    QString uploadPath() const { return upload_.file ? upload_.file->inside() : QString(); }

    // --- sending
    void queueText(const QString& text);
    // Queues a text unless the same text already waits (keep-alive answers pile up otherwise).
    void queueTextOnce(const QString& text);
    // A record message; `text` is its text form as sent (RefreshDataBytes), empty when it may only go
    // binary. Both are built once for every client.
    void queueRecord(const QByteArray& message, const QByteArray& text = {});
    void queueFile(OutgoingFile file);
    // The client accepted the file offered ("startrecivefile").
    void fileAccepted();
    // Drives the window: starts the next message when it is free, cuts and sends packets.
    // False when a packet went unanswered too often: the session is dead.
    bool pump(uint64_t nowTicks);
    void handleAck(int64_t messageNumber, int32_t packetNumber, uint64_t nowTicks);
    // Whether something is in flight or waiting: the loop then runs its passes without resting.
    bool active() const {
        return window_.PacketSend.start || fileState_ != FileState::None || !queue_.empty();
    }
    // When the window last sent (ms); keep-alives fill the silence.
    int64_t lastSendMs = 0;

  private:
    struct Outgoing {
        enum Kind { Text, Record, File } kind;
        QString text;
        QByteArray record;
        QByteArray recordText;
        OutgoingFile file;
    };
    struct Partial {
        QByteArray bytes;
        TReceiveBitmap bits;
        int64_t startedMs = 0;
    };
    struct Upload {
        std::unique_ptr<UploadFile> file;
        int64_t number = 0;  // 0 until the first piece names the message
        TReceiveBitmap bits;
        int64_t heardMs = -1;  // of the last piece; -1 until the idle check first sees it
    };

    bool completed(int64_t number) const;
    void markCompleted(int64_t number);
    Take takeText(const DatagramHeader& header, QByteArrayView data, QString& text, int64_t nowMs);
    void closeText(std::map<int64_t, Partial>::iterator it);
    Take takeFilePiece(const DatagramHeader& header, QByteArrayView data, int64_t nowMs);
    void startNext(uint64_t nowTicks);
    void startRecords(uint64_t nowTicks);
    void offerFile(uint64_t nowTicks);

    TSendWindow window_;
    std::set<int64_t> completed_;
    int64_t completedFloor_ = 0;  // every number up to it is complete
    std::map<int64_t, Partial> texts_;
    int64_t openTextBytes_ = 0;
    MemoryBudget& partials_;
    Upload upload_;

    std::deque<Outgoing> queue_;
    // The file at the head of the queue: offered, waiting for acceptance, or being sent.
    enum class FileState { None, OfferInWindow, WaitingAcceptance, Sending } fileState_ = FileState::None;
    int offers_ = 0;
    uint64_t offeredAt_ = 0;
    bool acceptedEarly_ = false;
    bool lastRecordBinary_ = false;
    uint64_t lastRecordAt_ = 0;
};
