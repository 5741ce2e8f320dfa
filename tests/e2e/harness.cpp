#include "harness.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <chrono>
#include <csignal>
#include <thread>

#include "infra/udp_socket.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

}  // namespace

QString BinaryPath(const QString& name) {
    return qEnvironmentVariable("MOBCFG_BIN_DIR") + u'/' + name;
}

uint16_t FreeUdpPort() {
    UdpSocket socket;
    if (!socket.Open(kLoopback, 0, 4096)) {
        return 0;
    }
    return socket.LocalPort();
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

ServerProcess::ServerProcess(const QString& dir, uint16_t port, QStringList extraArgs)
    : dir_(dir), port_(port), args_(std::move(extraArgs)) {
    QDir().mkpath(dir_);
}

ServerProcess::~ServerProcess() {
    if (Running()) {
        Stop();
    }
}

bool ServerProcess::Start() {
    process_ = std::make_unique<QProcess>();
    process_->setWorkingDirectory(dir_);
    // The server's output goes to a file, not a pipe: a test blocked on something else (a client it
    // runs to the end) must not stall a server that logs more than a pipe holds.
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(dir_ + QStringLiteral("/server.log"));
    logRead_ = 0;
    logText_ = QStringDecoder(QStringDecoder::Utf8);
    QStringList args = {
        "--bind",  "127.0.0.1",    "--port", QString::number(port_),          "--db", "server.db",
        "--files", "server-files", "--user", kTestUser + u':' + kTestPassword};
    args += args_;
    process_->start(BinaryPath("mobcfg-server"), args);
    if (!process_->waitForStarted(5000)) {
        log_ +=
            QStringLiteral("cannot start %1: %2\n").arg(BinaryPath("mobcfg-server"), process_->errorString());
        return false;
    }
    // The server says when its socket is bound. (Probing the port by binding it would take it from
    // the server at the moment it binds.)
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (Log().contains(QStringLiteral("listening on "))) {
            return true;
        }
        if (process_->waitForFinished(5)) {
            log_ += QStringLiteral("the server ended at start with code %1\n").arg(process_->exitCode());
            return false;
        }
    }
    log_ += QStringLiteral("the server did not bind port %1 in time\n").arg(port_);
    return false;
}

void ServerProcess::Kill() {
    if (Running()) {
        ::kill(pid_t(process_->processId()), SIGKILL);
        process_->waitForFinished(5000);
    }
}

bool ServerProcess::Reload() {
    if (!Running()) {
        return false;
    }
    const QString done = QStringLiteral("users re-read");
    const QString refused = QStringLiteral("users not re-read");
    const qsizetype doneBefore = Log().count(done);
    const qsizetype refusedBefore = Log().count(refused);
    ::kill(pid_t(process_->processId()), SIGHUP);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end && Log().count(refused) == refusedBefore) {
        if (Log().count(done) > doneBefore) {
            return true;
        }
        QThread::msleep(10);
    }
    return false;
}

int ServerProcess::Stop() {
    if (!Running()) {
        return process_ ? process_->exitCode() : -1;
    }
    process_->terminate();
    if (!process_->waitForFinished(5000)) {
        Kill();
        return -1;
    }
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

bool ServerProcess::Running() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

QString ServerProcess::Log() {
    QFile file(dir_ + QStringLiteral("/server.log"));
    if (process_ && file.open(QIODevice::ReadOnly) && file.seek(logRead_)) {
        const QByteArray added = file.readAll();
        logRead_ += added.size();
        log_ += logText_(added);
    }
    return log_;
}

bool ServerProcess::WaitForLog(const QString& part, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!Log().contains(part) && std::chrono::steady_clock::now() < end && Running()) {
        QThread::msleep(10);
    }
    return Log().contains(part);
}

int64_t ServerProcess::ResidentBytes() const {
    QFile status(QStringLiteral("/proc/%1/status").arg(Running() ? process_->processId() : 0));
    if (!Running() || !status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return 0;
}

CliProcess::CliProcess(const QString& dir, uint16_t port) : dir_(dir), port_(port) {
    QDir().mkpath(dir_);
}

CliProcess::~CliProcess() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

QStringList CliProcess::FullArgs(const QStringList& commandArgs, double cliTimeoutSeconds) const {
    QStringList args = {"--host",     "127.0.0.1",
                        "--port",     QString::number(port_),
                        "--user",     user_,
                        "--password", password_,
                        "--timeout",  QString::number(cliTimeoutSeconds)};
    return args + commandArgs;
}

CliResult CliProcess::Run(const QStringList& commandArgs, int timeoutMs, double cliTimeoutSeconds) {
    if (!Start(commandArgs, cliTimeoutSeconds)) {
        return {};
    }
    return Wait(timeoutMs);
}

bool CliProcess::Start(const QStringList& commandArgs, double cliTimeoutSeconds) {
    process_ = std::make_unique<QProcess>();
    process_->setWorkingDirectory(dir_);
    pending_.clear();
    lines_.clear();
    process_->start(BinaryPath("mobcfg-cli"), FullArgs(commandArgs, cliTimeoutSeconds));
    return process_->waitForStarted(5000);
}

void CliProcess::ReadLines() {
    pending_ += process_->readAllStandardOutput();
    qsizetype newline;
    while ((newline = pending_.indexOf('\n')) >= 0) {
        lines_ << QString::fromUtf8(pending_.left(newline));
        pending_.remove(0, newline + 1);
    }
}

QString CliProcess::WaitForLine(const std::function<bool(const QString&)>& match, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    qsizetype checked = 0;
    for (;;) {
        ReadLines();
        for (; checked < lines_.size(); ++checked) {
            if (match(lines_[checked])) {
                return lines_[checked];
            }
        }
        if (std::chrono::steady_clock::now() >= end || process_->state() == QProcess::NotRunning) {
            return {};
        }
        process_->waitForReadyRead(10);
    }
}

CliResult CliProcess::Wait(int timeoutMs) {
    if (process_->waitForFinished(timeoutMs) || process_->state() == QProcess::NotRunning) {
        return Collect(true);
    }
    process_->kill();
    process_->waitForFinished(5000);
    return Collect(false);
}

CliResult CliProcess::Stop(int timeoutMs) {
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
    }
    return Wait(timeoutMs);
}

CliResult CliProcess::Collect(bool finished) {
    ReadLines();
    CliResult result;
    result.exitCode = finished && process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
    result.lines = lines_;
    result.errors = QString::fromUtf8(process_->readAllStandardError());
    return result;
}

QJsonObject ParseLine(const QString& line) {
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

QStringList TableLoadLines(const QStringList& lines) {
    QStringList tables;
    for (const QString& line : lines) {
        const QJsonObject object = ParseLine(line);
        if (object.contains("table") && object.contains("size") && object.contains("count")) {
            tables << object.value("table").toString();
        }
    }
    return tables;
}

void E2eTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    port_ = FreeUdpPort();
    ASSERT_NE(port_, 0);
}

std::unique_ptr<ServerProcess> E2eTest::StartServer(const QStringList& extraArgs) {
    // port_ was free when the test began, but another process may have bound it since (tests run
    // side by side, and every client binds a port of its own). A test's first server then moves to
    // another free port; a restart keeps its port, which clients and relays already use.
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        auto server = std::make_unique<ServerProcess>(Path("server"), port_, extraArgs);
        if (server->Start()) {
            serverStarted_ = true;
            return server;
        }
        const uint16_t other = FreeUdpPort();
        if (serverStarted_ || attempt == kAttempts || other == 0 ||
            !server->Log().contains(QStringLiteral("cannot bind"))) {
            ADD_FAILURE() << server->Log().toStdString();
            return nullptr;
        }
        port_ = other;
    }
}
