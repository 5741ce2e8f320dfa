// File transfer in both directions over the session window: the server's offers and the pieces that
// follow them, the client's offers of files from SoobFile, and the requests that fetch files.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "infra/byte_codec.h"
#include "infra/codepage.h"
#include "infra/file_names.h"
#include "infra/files.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "infra/ticks.h"
#include "session/client_udp.h"

namespace {

QString TempPath(const QString& name) {
    return kTempDir + u'/' + name;
}

// The archive of event history: a 55-byte header with a length-prefixed name and, at offsets 35, 43
// and 51, the sizes of the three parts that follow it.
constexpr int kArchiveHeader = 55;
constexpr int kArchiveNameMax = 54;
constexpr int kArchiveSizeAt[3] = {35, 43, 51};
const char* const kArchiveExtension[3] = {".fm8", ".fp8", ".fz8"};

bool CopyPart(QFile& from, const QString& to, int64_t size) {
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray buffer;
    while (size > 0) {
        buffer = from.read(std::min<int64_t>(size, 65536));
        if (buffer.isEmpty() || out.write(buffer) != buffer.size()) {
            return false;
        }
        size -= buffer.size();
    }
    return true;
}

}  // namespace

void client_udp::HandleServerOffer(const QString& m) {
    if (fstreamRecive) {
        BaseLostConnect();
        return;
    }
    StartfileCount += 1;
    FileNameRecive = SafeFileName(GetJSONValue(m, QStringLiteral("name")));
    if (FileNameRecive.isEmpty()) {
        // A name that would leave "temp" is refused: no acceptance, so no piece follows.
        Log(QStringLiteral("sendfile refused ") + m);
    } else {
        SendOne(CommandText(Cmd::StartReciveFile));
        Log(QStringLiteral("sendfile ") + m + u' ' + host.value(TekHost) + u':' + QString::number(port) +
            u' ' + QString::number(Window.CountMes) + u' ' + QString::number(Window.TIDB[0]) +
            QString::number(Window.TIDB[1]));
    }
    if (StartfileCount > 10) {
        BaseLostConnect();
        StartfileCount = 0;
        PostDisconnected(DisconnectCode::ServerFileError);
    }
}

bool client_udp::openReceivedFile(const DatagramHeader& header) {
    if (FileNameRecive.isEmpty()) {
        Disconnect(DisconnectCode::PieceWithoutOffer);
        return false;
    }
    if (header.MessageSize > kMaxFileSize) {
        Log(QStringLiteral("file too large ") + FileNameRecive + u' ' + QString::number(header.MessageSize));
        return false;
    }
    const QString path = TempPath(FileNameRecive);
    StartfileCount = 0;
    // A file of the same name (an earlier attempt, or a table file still being read through its
    // mapping by the loading thread) is replaced rather than written over: the new file gets storage
    // of its own, and a mapping of the old one never sees it change size under it.
    QFile::remove(path);
    fstreamRecive = std::make_unique<QFile>(path);
    if (!fstreamRecive->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        fstreamRecive.reset();
    }
    if (!fstreamRecive || !fstreamRecive->resize(header.MessageSize) || !Reassembly.StartFile(header)) {
        fstreamRecive.reset();
        Disconnect(DisconnectCode::ReceiveFileNotOpened);
        return false;
    }
    ReciveSize = header.MessageSize;
    ReciveDone = 0;
    return true;
}

void client_udp::HandleFilePiece(const DatagramHeader& header, QByteArrayView data) {
    reciveTime = GetTicks();
    // Pieces that come while the session is down are acknowledged by the receiving thread only.
    if (!Connected) {
        return;
    }
    if (!fstreamRecive && !openReceivedFile(header)) {
        return;
    }
    RecivePos = header.Offset;
    if (!data.isEmpty() && !Pieces.Continues(header.Offset, data.size())) {
        flushPieces();
    }
    const bool repeated = Reassembly.FileRsM.Set(header.PacketNumber);
    if (!data.isEmpty()) {
        Pieces.Append(header.Offset, data, repeated ? 0 : header.PacketNumber);
    }
    if (repeated) {
        ResendPacket += 1;
    } else {
        ReciveDone += data.size();
    }
    SizePLoad += data.size();
    perload = Reassembly.FileRsM.Percent();
    // The file is used as soon as it is complete, so everything gathered goes to the disk first; a
    // failed write makes its pieces missing again and the file stays incomplete.
    if (Reassembly.FileRsM.Complete() && flushPieces()) {
        finishReceivedFile(header.MessageNumber, header.MessageSize);
    }
}

bool client_udp::flushPieces() {
    if (Pieces.IsEmpty()) {
        return true;
    }
    if (fstreamRecive && Pieces.Flush(*fstreamRecive)) {
        return true;
    }
    Log(QStringLiteral("file write error ") + FileNameRecive);
    for (const int32_t packet : Pieces.Packets()) {
        Reassembly.FileRsM.Unset(packet);
    }
    Pieces.Clear();
    perload = Reassembly.FileRsM.Percent();
    return false;
}

void client_udp::finishReceivedFile(int64_t messageNumber, int64_t messageSize) {
    const QString name = FileNameRecive;
    Log(QStringLiteral("fileok ") + name);
    fstreamRecive.reset();
    ReciveDone = 0;
    Reassembly.FinishFile(messageNumber);
    // The next file needs its own offer.
    FileNameRecive.clear();
    const QString path = TempPath(name);
    const QString getFileOk = CommandHead(Cmd::GetFileOk) + QStringLiteral(",\"name\":\"") +
                              StrToJSONStr(name) + QStringLiteral("\"}");

    if (!ArchiveFileName.isEmpty() && ArchiveFileName == name) {
        splitArchive(path);
        QFile::remove(path);
        ReadJSON.PutSoob(CommandHead(Cmd::ArchiveLoad) + QStringLiteral(",\"name\":\"") +
                         StrToJSONStr(ArchiveName) + QStringLiteral("\"}"));
        ArchiveFileName.clear();
        ArchiveName.clear();
        return;
    }
    if (TableFileArrived(name, messageSize)) {
        return;
    }
    if (!MessagesRefreshFileName.isEmpty() && MessagesRefreshFileName == name) {
        // Event history is not kept by this tool.
        QFile::remove(path);
        MessagesRefreshFileName.clear();
        ReadJSON.PutSoob(getFileOk);
        return;
    }
    ReadJSON.PutSoob(getFileOk);
    if (GetFileName == name) {
        GetFileYes = true;
    }
}

void client_udp::splitArchive(const QString& path) {
    QFile archive(path);
    if (!archive.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray header = archive.read(kArchiveHeader);
    if (header.size() != kArchiveHeader) {
        Log(QStringLiteral("archive too short ") + path);
        return;
    }
    const int nameLength = std::min<int>(uint8_t(header[0]), kArchiveNameMax);
    const QString inner = SafeFileName(fromAnsi(QByteArrayView(header.constData() + 1, nameLength)));
    int64_t sizes[3];
    int64_t total = kArchiveHeader;
    for (int k = 0; k < 3; ++k) {
        sizes[k] = GetLE<int32_t>(header.constData() + kArchiveSizeAt[k]);
        total += sizes[k];
    }
    if (inner.isEmpty() || sizes[0] < 0 || sizes[1] < 0 || sizes[2] < 0 || total > archive.size()) {
        Log(QStringLiteral("archive damaged ") + path);
        return;
    }
    const QString folder = TempPath(host.value(0) + u'-' + QString::number(port));
    QDir().mkpath(folder);
    for (int k = 0; k < 3; ++k) {
        if (!CopyPart(archive, folder + u'/' + inner + QLatin1String(kArchiveExtension[k]), sizes[k])) {
            Log(QStringLiteral("archive part not written ") + inner);
            return;
        }
    }
}

QString client_udp::FileOfferText() const {
    return CommandHead(Cmd::SendFile) + QStringLiteral(",\"name\":\"") + StrToJSONStr(SendFileName) +
           QStringLiteral("\",\"nameinserv\":\"") + StrToJSONStr(SendFileNameInServ) +
           QStringLiteral("\",\"tid\":\"") + StrToJSONStr(tId) + QStringLiteral("\"}");
}

bool client_udp::StartFileSend(uint64_t now) {
    QString entry;
    if (!SoobFile.GetSoob(entry)) {
        return false;
    }
    SendFileName = GetJSONValue(entry, QStringLiteral("name"));
    SendFileNameInServ = GetJSONValue(entry, QStringLiteral("nameinserv"));
    const QFileInfo local(SendFileName);
    if (!local.isFile() || local.size() > kMaxFileSize) {
        HeadDone(SoobFile);
        return true;
    }
    Window.BeginFileOffer();
    StartFile = false;
    UploadAccepted = false;
    UploadOpenFailedAt = 0;
    StartFileTimeOut = now;
    OfferOrOpenUpload(now);
    return true;
}

void client_udp::OfferOrOpenUpload(uint64_t now) {
    if (UploadAccepted) {
        OpenUpload(now);
        return;
    }
    if (now < StartFileTimeOut) {
        return;
    }
    StartFileTimeOut = now + TickCoef * Window.PacketTimeOut;
    if (!SendOne(FileOfferText())) {
        AbandonUpload(UploadError::TooLong);
    }
}

void client_udp::HandleFileAccepted() {
    if (!Window.PacketSend.start || !Window.PacketSend.SFile || fstreamSend) {
        return;
    }
    // The server accepts an offer once; from here the file is ours to open.
    UploadAccepted = true;
    OpenUpload(GetTicks());
}

void client_udp::OpenUpload(uint64_t now) {
    // One attempt per pass: a file another program holds for a moment is waited for without the
    // loop ever standing still, and one that stays unreadable is given up and reported.
    auto file = std::make_unique<QFile>(SendFileName);
    if (!file->open(QIODevice::ReadOnly)) {
        if (UploadOpenFailedAt == 0) {
            UploadOpenFailedAt = now;
        } else if (ElapsedMs(now, UploadOpenFailedAt) > kUploadOpenPatienceMs) {
            AbandonUpload(UploadError::Unreadable);
        }
        return;
    }
    fstreamSend = std::move(file);
    StartFile = true;
    Window.StartFileData(fstreamSend->size(), [this](int64_t offset, char* into, int size) {
        return fstreamSend && fstreamSend->seek(offset) && fstreamSend->read(into, size) == size;
    });
}

void client_udp::AbandonUpload(UploadError why) {
    static const QLatin1StringView kReason[] = {QLatin1StringView("refused"), QLatin1StringView("unreadable"),
                                                QLatin1StringView("too long")};
    const QLatin1StringView reason = kReason[int(why)];
    Log(QStringLiteral("upload given up (") + reason + QStringLiteral(") ") + SendFileName);
    ReadJSON.PutSoob(CommandHead(Cmd::SendFileError) + QStringLiteral(",\"name\":\"") +
                     StrToJSONStr(SendFileName) + QStringLiteral("\",\"nameinserv\":\"") +
                     StrToJSONStr(SendFileNameInServ) + QStringLiteral("\",\"reason\":\"") + reason +
                     QStringLiteral("\"}"));
    fstreamSend.reset();
    StartFile = false;
    UploadAccepted = false;
    Window.Abandon();
    HeadDone(SoobFile);
}

void client_udp::FileSendComplete(uint64_t now) {
    ReadJSON.PutSoob(CommandHead(Cmd::SendFileOk) + QStringLiteral(",\"name\":\"") +
                     StrToJSONStr(SendFileName) + QStringLiteral("\",\"nameinserv\":\"") +
                     StrToJSONStr(SendFileNameInServ) + QStringLiteral("\",\"size\":") +
                     QString::number(Window.PacketSend.Size) + u'}');
    HeadDone(SoobFile);
    fstreamSend.reset();
    StartFile = false;
    UploadAccepted = false;
    Window.AdaptAfterFile(now);
}

void client_udp::HandleFileToServer(const QString& m) {
    // The server may ask only for files under the working directory, never for any file the user
    // can read.
    if (!StaysInWorkingDir(GetJSONValue(m, QStringLiteral("name")))) {
        Log(QStringLiteral("filetoserver refused ") + m);
        return;
    }
    SoobFile.PutSoob(m);
}

void client_udp::HandleGetArchiveOk(const QString& m) {
    const QString filename = GetJSONValue(m, QStringLiteral("filename"));
    const QString part = SafeFileName(filename);
    if (part.isEmpty()) {
        Log(QStringLiteral("getarchiveok refused ") + m);
        return;
    }
    Soob.PutSoob(GetFileRequest(filename).Name(part).DeleteAfter().Text());
    ArchiveFileName = part;
    ArchiveName = GetJSONValue(m, QStringLiteral("name"));
}

void client_udp::HandleHistoryFromFile(const QString& m) {
    Soob.PutSoob(GetFileRequest(GetJSONValue(m, QStringLiteral("filename"))).Tid(tId).Text());
}

void client_udp::CloseFiles() {
    fstreamSend.reset();
    // What arrived of an abandoned file is kept on the disk like the rest of it.
    flushPieces();
    fstreamRecive.reset();
    Reassembly.FileRsM.Clear();
}
