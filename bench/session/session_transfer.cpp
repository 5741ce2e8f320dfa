#include "session_transfer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <atomic>
#include <cstring>
#include <thread>

#include "infra/codepage.h"
#include "infra/json_text.h"
#include "infra/ticks.h"
#include "infra/udp_socket.h"
#include "session/client_udp.h"
#include "session/send_window.h"

namespace {

const QString kTid = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");

// The server's side: answers the registration, offers the file once the client is logged in, and
// sends it through its window when the client accepts.
class Sender {
  public:
    explicit Sender(const QByteArray& file)
        : file_(file), window_([this](const char* d, int n) { send(d, n); }) {
        uint32_t loopback = 0;
        ParseIPv4(QStringLiteral("127.0.0.1"), loopback);
        socket_.Open(loopback, 0, 1 << 20);
        window_.TickCoef = kTicksPerMs;
        window_.PacketTimeOut = 200;
    }

    uint16_t Port() const { return socket_.LocalPort(); }
    std::atomic<bool> offered{false};
    std::atomic<bool> done{false};
    std::atomic<int64_t> resends{0};

    void Run(const std::atomic<bool>& stop) {
        char buffer[65536];
        while (!stop.load() && !done.load()) {
            bool any = false;
            UdpAddress from;
            int size;
            while ((size = socket_.RecvFrom(buffer, sizeof buffer, from)) >= 0) {
                any = true;
                client_ = from;
                take(buffer, size);
            }
            const uint64_t now = GetTicks();
            if (window_.PacketSend.start) {
                if (window_.FillWindow(now, kWindowSlotsMax) == TSendWindow::FillResult::Complete) {
                    resends = window_.CountReSend;
                    done = true;
                }
                window_.SendWindow(now);
                any = true;
            }
            if (!any) {
                socket_.WaitReadable(1);
            }
        }
    }

  private:
    void send(const char* datagram, int size) { socket_.SendTo(datagram, size, client_); }

    void take(char* datagram, int size) {
        DatagramHeader header;
        QByteArrayView data;
        if (!DecodeDatagramInPlace(datagram, size, header, data)) {
            return;
        }
        if (header.PacketType == PacketTypes::Ack) {
            window_.HandleAck(header.MessageNumber, header.PacketNumber, GetTicks());
            return;
        }
        char ack[kHeaderEnd];
        EncodeAck(header, ack);
        socket_.SendTo(ack, kHeaderEnd, client_);
        const QString text = fromAnsi(data);
        const QString command = GetJSONValue(text, QStringLiteral("$c$"));
        if (command == u"reg") {
            window_.CountMes = 0;
            window_.SendOne(QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + kTid +
                            QStringLiteral("\",\"version\":\"1\"}"));
            window_.TIDB = client_udp::TIDBFromTid(kTid);
            window_.SendOne(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"bench.bin\"}"));
            offered = true;
        } else if (command == u"startrecivefile" && !window_.PacketSend.start) {
            window_.BeginFileOffer();
            window_.StartFileData(file_.size(), [this](int64_t offset, char* into, int n) {
                std::memcpy(into, file_.constData() + offset, size_t(n));
                return true;
            });
        }
    }

    const QByteArray& file_;
    UdpSocket socket_;
    UdpAddress client_;
    TSendWindow window_;
};

}  // namespace

ReferenceResult RunSessionTransfer(int64_t totalBytes) {
    QByteArray file(qsizetype(totalBytes), '\0');
    char* bytes = file.data();
    for (int64_t i = 0; i < totalBytes; ++i) {
        bytes[i] = char((i * 131) >> 3);
    }
    Sender sender(file);
    std::atomic<bool> stop{false};
    std::thread server([&] { sender.Run(stop); });

    auto client = client_udp::Create(QStringLiteral("bench"), QStringLiteral("127.0.0.1"), sender.Port());
    client->username.Set(QStringLiteral("bench"));
    client->Connect = true;

    QElapsedTimer timer;
    bool started = false;
    bool received = false;
    QElapsedTimer limit;
    limit.start();
    while (!received && limit.elapsed() < 120000) {
        if (!started && sender.offered.load()) {
            timer.start();
            started = true;
        }
        QString notice;
        while (client->ReadJSON.GetSoobD(notice)) {
            received = received || GetJSONValue(notice, QStringLiteral("$c$")) == u"getfileok";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    stop = true;
    server.join();
    client->Stop();
    const bool whole = received && QFileInfo(QStringLiteral("temp/bench.bin")).size() == totalBytes;
    return {whole ? double(totalBytes) / 1e6 / seconds : 0.0, sender.resends.load()};
}
