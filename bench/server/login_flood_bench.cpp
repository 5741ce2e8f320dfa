// What a flood of bogus logins does to the operators of the stand-in server: the time from a
// logged-in operator's edit command to its confirmation, and the time a new operator's login takes
// (from the first "reg" to "regok", a full password check each time), first on a quiet server, then
// while 1,000 bogus logins a second arrive from fresh source ports on four other loopback addresses
// (unknown names and wrong passwords for a real user), and last while the flood guesses the very
// account that logs in. Figures only: nothing here passes or fails.
//
//   cmake -S . -B build-bench -G Ninja -DBUILD_BENCH=ON -DBUILD_GUI=OFF -DBUILD_TESTING=OFF
//         -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench --target bench_login_flood && build-bench/bin/bench_login_flood
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "infra/udp_socket.h"
#include "session/client_udp.h"
#include "session/datagram.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kServerIp = 0x7F000001;
constexpr int kFloodAddresses = 4;  // 127.0.0.2 to 127.0.0.5
constexpr int kFloodPerSecond = 1000;
constexpr int kQuietEdits = 100;
constexpr int kFloodEdits = 200;
constexpr int kLogins = 3;
constexpr auto kLoginLimit = std::chrono::seconds(30);
constexpr auto kEditLimit = std::chrono::seconds(10);
// A series of edits ends after this long, confirmed or not.
constexpr auto kSeriesLimit = std::chrono::seconds(60);

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QString regText(const QString& user, const QString& password) {
    return QStringLiteral(
               "{\"$c$\":\"reg\",\"id\":\"%1\",\"username\":\"%2\",\"password\":\"%3\","
               "\"keepalive\":1,\"zip\":0,\"ver\":\"1.0.0.0\"}")
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces), user, password);
}

class ServerUnderTest {
  public:
    ServerUnderTest(const QString& dir, uint16_t port) {
        QStringList args = {"--bind", "127.0.0.1", "--port",           QString::number(port),
                            "--db",   "server.db", "--files",          "files",
                            "--demo", "--user",    "operator:opsecret"};
        for (int i = 1; i <= 2 * kLogins + 2; ++i) {
            args << "--user" << QStringLiteral("newcomer%1:secret%1").arg(i);
        }
        process_.setWorkingDirectory(dir);
        process_.setStandardErrorFile(dir + QStringLiteral("/server.log"));
        process_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mobcfg-server"), args);
        log_ = dir + QStringLiteral("/server.log");
    }
    ~ServerUnderTest() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    bool listening() const {
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < end) {
            QFile f(log_);
            if (f.open(QIODevice::ReadOnly) && f.readAll().contains("listening on")) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Resident memory in MB.
    double residentMb() const {
        QFile f(QStringLiteral("/proc/%1/status").arg(process_.processId()));
        if (!f.open(QIODevice::ReadOnly)) {
            return 0;
        }
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
            }
        }
        return 0;
    }

  private:
    QProcess process_;
    QString log_;
};

// Sends bogus registrations at a steady rate, each from a socket of its own (a fresh source port),
// and never answers what comes back.
class Flood {
  public:
    Flood(uint16_t port, std::function<QString(int64_t)> text) : port_(port), text_(std::move(text)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Flood() {
        stop_ = true;
        thread_.join();
    }
    int64_t sent() const { return sent_; }

  private:
    void run() {
        const auto start = Clock::now();
        while (!stop_) {
            const auto due = int64_t(msSince(start) * kFloodPerSecond / 1000);
            while (sent_ < due) {
                send(text_(sent_));
                ++sent_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void send(const QString& text) {
        UdpSocket socket;
        if (!socket.Open(kServerIp + 1 + uint32_t(sent_ % kFloodAddresses), 0, 4096)) {
            return;
        }
        const QByteArray d = EncodeTextDatagram(text, 1);
        socket.SendTo(d.constData(), int(d.size()), UdpAddress{kServerIp, port_});
    }

    uint16_t port_;
    std::function<QString(int64_t)> text_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> sent_{0};
    std::thread thread_;
};

ThreadPtr<client_udp> newClient(uint16_t port) {
    return client_udp::Create(QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("127.0.0.1"),
                              port);
}

void stop(ThreadPtr<client_udp>& c) {
    c.reset();
}

// Milliseconds from asking for the login to the server's answer; negative when refused or too late.
double loginMs(uint16_t port, const QString& user, const QString& password) {
    auto c = newClient(port);
    const auto start = Clock::now();
    c->username.Set(user);
    c->password.Set(password);
    c->ConnectTime = 0;
    c->Connect = true;
    while (!c->Connected && !c->AD && Clock::now() - start < kLoginLimit) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double ms = c->Connected ? msSince(start) : -1;
    stop(c);
    return ms;
}

// Each edit's time from its hand-over to the session until its confirmation, in ms (sorted), 1e9 for
// one not confirmed in time.
std::vector<double> editTimes(client_udp& c, int count) {
    std::vector<double> times;
    const auto series = Clock::now();
    for (int i = 0; i < count && Clock::now() - series < kSeriesLimit; ++i) {
        QString m;
        while (c.ReadJSON.GetSoobD(m)) {
        }
        const auto start = Clock::now();
        c.Soob.PutSoob(QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\","
                                      "\"nametable\":\"gps\",\"n_abs\":2,\"fields\":{\"name\":\"bench %1\"}}")
                           .arg(i));
        bool confirmed = false;
        while (!confirmed && Clock::now() - start < kEditLimit) {
            while (c.ReadJSON.GetSoobD(m)) {
                confirmed = confirmed || m.contains(QLatin1String("netyesadddatadatabase"));
            }
            if (!confirmed) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        }
        times.push_back(confirmed ? msSince(start) : 1e9);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::sort(times.begin(), times.end());
    return times;
}

void printEdits(const char* what, const std::vector<double>& t) {
    const auto confirmed = std::count_if(t.begin(), t.end(), [](double ms) { return ms < 1e9; });
    std::printf("%-46s %3zu edits:", what, t.size());
    if (confirmed > 0) {
        const size_t p99 = std::min(t.size() - 1, (t.size() * 99 + 99) / 100 - 1);
        const auto ms = [](double v) { return v < 1e9 ? QString::number(v, 'f', 2) : QStringLiteral("-"); };
        std::printf(" p50 %8s ms  p99 %8s ms  max %8s ms", qPrintable(ms(t[t.size() / 2])),
                    qPrintable(ms(t[p99])), qPrintable(ms(t.back())));
    }
    if (confirmed < qsizetype(t.size())) {
        std::printf("  (%lld not confirmed within 10 s)", static_cast<long long>(t.size() - confirmed));
    }
    std::printf("\n");
}

void printLogins(const char* what, const std::vector<double>& ms) {
    std::printf("%-46s", what);
    for (double m : ms) {
        if (m < 0) {
            std::printf("  not in %lld s", static_cast<long long>(kLoginLimit.count()));
        } else {
            std::printf("  %8.1f ms", m);
        }
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    UdpSocket probe;
    probe.Open(kServerIp, 0);
    const uint16_t port = probe.LocalPort();
    probe.Close();
    ServerUnderTest server(work.path(), port);
    if (!server.listening()) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }

    auto operatorClient = newClient(port);
    operatorClient->username.Set(QStringLiteral("admin"));
    operatorClient->password.Set(QStringLiteral("admin"));
    operatorClient->ConnectTime = 0;
    operatorClient->Connect = true;
    const auto start = Clock::now();
    while (!operatorClient->DatabaseLoad && Clock::now() - start < kLoginLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!operatorClient->DatabaseLoad) {
        std::fprintf(stderr, "the operator could not log in\n");
        return 1;
    }
    std::printf("server memory at start: %.1f MB\n", server.residentMb());

    int next = 1;
    auto logins = [&] {
        std::vector<double> ms;
        for (int i = 0; i < kLogins; ++i, ++next) {
            ms.push_back(
                loginMs(port, QStringLiteral("newcomer%1").arg(next), QStringLiteral("secret%1").arg(next)));
        }
        return ms;
    };

    printEdits("quiet: edit to confirmation", editTimes(*operatorClient, kQuietEdits));
    printLogins("quiet: new operator's login", logins());

    int64_t sent = 0;
    {
        Flood flood(port, [](int64_t i) {
            return i % 2 == 0 ? regText(QStringLiteral("nobody%1").arg(i), QStringLiteral("x"))
                              : regText(QStringLiteral("operator"), QStringLiteral("guess%1").arg(i));
        });
        std::this_thread::sleep_for(std::chrono::seconds(1));
        printEdits("1000 bogus logins/s: edit to confirmation", editTimes(*operatorClient, kFloodEdits));
        printLogins("1000 bogus logins/s: new operator's login", logins());
        std::printf("server memory under the flood: %.1f MB\n", server.residentMb());
        sent += flood.sent();
    }
    {
        const QString target = QStringLiteral("newcomer%1").arg(next);
        Flood flood(port, [target](int64_t i) { return regText(target, QStringLiteral("guess%1").arg(i)); });
        std::this_thread::sleep_for(std::chrono::seconds(1));
        printLogins("1000 guesses/s at the same account: its login",
                    {loginMs(port, target, QStringLiteral("secret%1").arg(next))});
        sent += flood.sent();
    }
    std::printf("bogus logins sent: %lld; server memory at the end: %.1f MB\n", static_cast<long long>(sent),
                server.residentMb());
    stop(operatorClient);
    return 0;
}
