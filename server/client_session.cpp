#include "client_session.h"

#include <QFileInfo>
#include <QUuid>
#include <algorithm>

#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "record_messages.h"
#include "schema.h"

namespace {

constexpr uint64_t kTicksPerMs = 1000000;  // GetTicks counts nanoseconds
// The first re-send time-out before any round trip is known: loopback and LAN answer well within it.
constexpr uint32_t kFirstPacketTimeOutMs = 100;
// Packets of a file cut per pass: enough to keep the window full without starving other clients.
constexpr int kFileChunksPerPump = 64;
// A record update goes as text only when the client has had time to apply binary ones sent before
// it: a client applies texts as they come but binary records one per pass, and only once loaded.
constexpr uint64_t kTextAfterBinaryMs = 100;
// A completed message number is remembered this long; older ones fall under the floor.
constexpr size_t kCompletedKept = 1024;
constexpr int64_t kMaxBatchBytes = 4 * 1024 * 1024;

// Reads the pieces of an in-memory file as if they were one array.
class Pieces {
  public:
    explicit Pieces(std::vector<QByteArray> pieces) : pieces_(std::move(pieces)) {
        starts_.reserve(pieces_.size());
        for (const QByteArray& p : pieces_) {
            starts_.push_back(size_);
            size_ += p.size();
        }
    }
    int64_t size() const { return size_; }
    bool read(int64_t offset, char* into, int size) const {
        if (offset < 0 || size < 0 || offset + size > size_) {
            return false;
        }
        size_t i = size_t(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
        while (size > 0) {
            const QByteArray& p = pieces_[i];
            const int64_t within = offset - starts_[i];
            const int n = int(std::min<int64_t>(size, p.size() - within));
            memcpy(into, p.constData() + within, size_t(n));
            into += n;
            offset += n;
            size -= n;
            ++i;
        }
        return true;
    }

  private:
    std::vector<QByteArray> pieces_;
    std::vector<int64_t> starts_;
    int64_t size_ = 0;
};

}  // namespace

ClientSession::ClientSession(const UdpAddress& addr, SendFunction send, int64_t nowMs, MemoryBudget& partials)
    : address(addr), lastHeardMs(nowMs), window_(std::move(send)), partials_(partials) {
    window_.TickCoef = kTicksPerMs;
    window_.PacketTimeOut = kFirstPacketTimeOutMs;
}

ClientSession::~ClientSession() {
    partials_.give(openTextBytes_);
}

void ClientSession::logIn(const QString& userName, int32_t id, int64_t regNumber) {
    const QUuid uuid = QUuid::createUuid();
    const QByteArray raw = uuid.toRfc4122();
    std::copy(raw.begin(), raw.end(), tag.begin());
    tid = uuid.toString(QUuid::WithoutBraces).toUpper();
    user = userName;
    userId = id;
    window_.TIDB = tag;
    markCompleted(regNumber);
}

void ClientSession::sendOnce(const QString& text) {
    window_.SendOne(text);
}

bool ClientSession::completed(int64_t number) const {
    return number <= completedFloor_ || completed_.count(number) > 0;
}

void ClientSession::markCompleted(int64_t number) {
    completed_.insert(number);
    while (!completed_.empty() && *completed_.begin() <= completedFloor_ + 1) {
        completedFloor_ = std::max(completedFloor_, *completed_.begin());
        completed_.erase(completed_.begin());
    }
    while (completed_.size() > kCompletedKept) {
        completedFloor_ = *completed_.begin();
        completed_.erase(completed_.begin());
    }
}

ClientSession::Take ClientSession::takePacket(const DatagramHeader& header, QByteArrayView data,
                                              QString& text, int64_t nowMs) {
    if (header.PacketType == PacketTypes::Json) {
        return takeText(header, data, text, nowMs);
    }
    if (header.PacketType == PacketTypes::File) {
        return takeFilePiece(header, data, nowMs);
    }
    return Take::Drop;
}

ClientSession::Take ClientSession::takeText(const DatagramHeader& header, QByteArrayView data, QString& text,
                                            int64_t nowMs) {
    const int64_t number = header.MessageNumber;
    if (completed(number)) {
        return Take::Duplicate;
    }
    if (header.PacketCount == 1) {
        if (header.PacketNumber != 1) {
            return Take::Drop;
        }
        text = fromAnsi(data);
        markCompleted(number);
        return Take::Text;
    }
    if (!PieceFits(header, data.size(), kMaxClientText)) {
        return Take::Drop;
    }
    auto it = texts_.find(number);
    if (it == texts_.end()) {
        // Pieces that do not fit now are not acknowledged: the client sends them again later.
        const int64_t size = header.MessageSize;
        if (int(texts_.size()) >= kMaxOpenTexts || openTextBytes_ + size > kMaxOpenTextBytes ||
            !partials_.take(size)) {
            return Take::Drop;
        }
        Partial p;
        if (!p.bits.Create(header.PacketCount, kMaxClientText / kMaxDataBytes + 2)) {
            partials_.give(size);
            return Take::Drop;
        }
        p.bytes = QByteArray(header.MessageSize, '\0');
        p.startedMs = nowMs;
        openTextBytes_ += size;
        it = texts_.emplace(number, std::move(p)).first;
    }
    Partial& p = it->second;
    if (p.bits.PacketCount() != header.PacketCount || p.bytes.size() != header.MessageSize ||
        header.Offset + data.size() > p.bytes.size()) {
        return Take::Drop;
    }
    memcpy(p.bytes.data() + header.Offset, data.data(), size_t(data.size()));
    p.bits.Set(header.PacketNumber);
    if (!p.bits.Complete()) {
        return Take::Partial;
    }
    text = fromAnsi(p.bytes);
    closeText(it);
    markCompleted(number);
    return Take::Text;
}

void ClientSession::closeText(std::map<int64_t, Partial>::iterator it) {
    openTextBytes_ -= it->second.bytes.size();
    partials_.give(it->second.bytes.size());
    texts_.erase(it);
}

void ClientSession::dropStaleTexts(int64_t nowMs) {
    for (auto it = texts_.begin(); it != texts_.end();) {
        const auto next = std::next(it);
        if (nowMs - it->second.startedMs > kOpenTextTimeOutMs) {
            closeText(it);
        }
        it = next;
    }
    if (upload_.file && upload_.heardMs < 0) {
        upload_.heardMs = nowMs;
    } else if (upload_.file && nowMs - upload_.heardMs > kUploadIdleMs) {
        upload_ = Upload{};
    }
}

void ClientSession::acceptUpload(std::unique_ptr<UploadFile> file) {
    upload_ = Upload{};
    upload_.file = std::move(file);
}

ClientSession::Take ClientSession::takeFilePiece(const DatagramHeader& header, QByteArrayView data,
                                                 int64_t nowMs) {
    const int64_t number = header.MessageNumber;
    if (completed(number)) {
        return Take::Duplicate;
    }
    if (!upload_.file || !PieceFits(header, data.size(), kMaxUpload)) {
        return Take::Drop;
    }
    if (upload_.number == 0) {
        if (!upload_.bits.Create(header.PacketCount)) {
            return Take::Drop;
        }
        if (!upload_.file->reserve(header.MessageSize)) {
            upload_ = Upload{};
            return Take::FileRefused;
        }
        upload_.number = number;
    }
    QFile& f = upload_.file->file();
    if (number != upload_.number || header.PacketCount != upload_.bits.PacketCount() ||
        header.Offset + data.size() > f.size()) {
        return Take::Drop;
    }
    if (!data.isEmpty() && (!f.seek(header.Offset) || f.write(data.data(), data.size()) != data.size())) {
        return Take::Drop;
    }
    upload_.heardMs = nowMs;
    upload_.bits.Set(header.PacketNumber);
    if (!upload_.bits.Complete()) {
        return Take::FilePiece;
    }
    const bool stored = upload_.file->finish();
    upload_ = Upload{};
    if (!stored) {
        return Take::FileRefused;
    }
    markCompleted(number);
    return Take::FileDone;
}

void ClientSession::queueText(const QString& text) {
    queue_.push_back(Outgoing{Outgoing::Text, text, {}, {}, {}});
}

void ClientSession::queueTextOnce(const QString& text) {
    // The head may be in the window already; a second copy behind it is still worth nothing.
    for (const Outgoing& o : queue_) {
        if (o.kind == Outgoing::Text && o.text == text) {
            return;
        }
    }
    queueText(text);
}

void ClientSession::queueRecord(const QByteArray& message, const QByteArray& text) {
    queue_.push_back(Outgoing{Outgoing::Record, {}, message, text, {}});
}

void ClientSession::queueFile(OutgoingFile file) {
    queue_.push_back(Outgoing{Outgoing::File, {}, {}, {}, std::move(file)});
}

void ClientSession::handleAck(int64_t messageNumber, int32_t packetNumber, uint64_t nowTicks) {
    window_.HandleAck(messageNumber, packetNumber, nowTicks);
}

void ClientSession::offerFile(uint64_t nowTicks) {
    const OutgoingFile& f = queue_.front().file;
    ++offers_;
    offeredAt_ = nowTicks;
    fileState_ = FileState::OfferInWindow;
    window_.StartText(CommandHead(Cmd::SendFile) + QStringLiteral(",\"name\":\"") + StrToJSONStr(f.name) +
                      QStringLiteral("\"}"));
}

void ClientSession::fileAccepted() {
    if (fileState_ != FileState::WaitingAcceptance && fileState_ != FileState::OfferInWindow) {
        return;
    }
    if (window_.PacketSend.start) {
        // The acceptance overtook the acknowledgement of the offer: start once the offer completes.
        acceptedEarly_ = true;
        return;
    }
    OutgoingFile& f = queue_.front().file;
    fileState_ = FileState::Sending;
    acceptedEarly_ = false;
    window_.BeginFileOffer();
    if (!f.open) {
        auto pieces = std::make_shared<const Pieces>(std::move(f.pieces));
        window_.StartFileData(pieces->size(), [pieces](int64_t offset, char* into, int size) {
            return pieces->read(offset, into, size);
        });
        return;
    }
    std::shared_ptr<QFile> file = f.open();
    if (!file) {
        window_.Abandon();
        queue_.pop_front();
        fileState_ = FileState::None;
        return;
    }
    window_.StartFileData(file->size(), [file](int64_t offset, char* into, int size) {
        return file->seek(offset) && file->read(into, size) == size;
    });
}

void ClientSession::startRecords(uint64_t nowTicks) {
    const QByteArray text = queue_.front().recordText;
    std::vector<QByteArray> batch;
    int64_t bytes = 0;
    while (!queue_.empty() && queue_.front().kind == Outgoing::Record &&
           batch.size() < size_t(kMaxBatchItems) && bytes < kMaxBatchBytes) {
        bytes += queue_.front().record.size();
        batch.push_back(std::move(queue_.front().record));
        queue_.pop_front();
    }
    const bool allLoaded = loadedTables.size() == qsizetype(ServerTables().size());
    const bool binaryApplied =
        !lastRecordBinary_ || nowTicks - lastRecordAt_ > kTextAfterBinaryMs * kTicksPerMs;
    lastRecordAt_ = nowTicks;
    if (batch.size() == 1 && !text.isEmpty() && allLoaded && binaryApplied) {
        lastRecordBinary_ = false;
        window_.StartMessage(PacketTypes::Json, text);
        return;
    }
    lastRecordBinary_ = true;
    window_.StartMessage(PacketTypes::Raw, batch.size() == 1 ? batch[0] : RecordBatch(batch));
}

void ClientSession::startNext(uint64_t nowTicks) {
    if (queue_.empty() || fileState_ != FileState::None) {
        return;
    }
    Outgoing& head = queue_.front();
    switch (head.kind) {
        case Outgoing::Text:
            window_.StartText(head.text);
            queue_.pop_front();
            break;
        case Outgoing::Record:
            startRecords(nowTicks);
            break;
        case Outgoing::File:
            offers_ = 0;
            offerFile(nowTicks);
            break;
    }
}

bool ClientSession::pump(uint64_t nowTicks) {
    // The client answers an offer at once, with a single datagram that may be lost.
    const uint64_t pause = std::max<uint64_t>(kOfferPauseMs, 3 * uint64_t(window_.PacketPing));
    if (!window_.PacketSend.start && fileState_ == FileState::WaitingAcceptance &&
        nowTicks - offeredAt_ > pause * kTicksPerMs) {
        if (offers_ >= kMaxOffers) {
            queue_.pop_front();
            fileState_ = FileState::None;
        } else {
            offerFile(nowTicks);
        }
    }
    // A message that completes makes room for the next one in the same pass.
    for (int round = 0; round < 2; ++round) {
        if (!window_.PacketSend.start) {
            startNext(nowTicks);
        }
        if (!window_.PacketSend.start) {
            return true;
        }
        const TSendWindow::FillResult fill = window_.FillWindow(nowTicks, kFileChunksPerPump);
        if (fill == TSendWindow::FillResult::Failed) {
            return false;
        }
        if (fill != TSendWindow::FillResult::Complete) {
            break;
        }
        // Re-sends follow the round trips of the messages before: a client that held back its
        // acknowledgements (its queue was full) is asked again after 50 ms on loopback, not after the
        // first guess of 100.
        window_.AdaptTimeOut();
        if (fileState_ == FileState::OfferInWindow) {
            fileState_ = FileState::WaitingAcceptance;
            if (acceptedEarly_) {
                fileAccepted();
            }
        } else if (fileState_ == FileState::Sending) {
            queue_.pop_front();
            fileState_ = FileState::None;
        }
    }
    if (!window_.PacketSend.start) {
        return true;
    }
    lastSendMs = int64_t(nowTicks / kTicksPerMs);
    return window_.SendWindow(nowTicks) == TSendWindow::SendResult::Sent;
}
