// Real processes for the end-to-end tests: the stand-in server and the command-line client, taken
// from the folder named by the environment variable MOBCFG_BIN_DIR, talking over 127.0.0.1 on a
// free port, each in its own working folder inside a temporary folder. Every wait is bounded.
// Not thread-safe: one test thread drives them.
#pragma once

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>

// $MOBCFG_BIN_DIR/name.
QString BinaryPath(const QString& name);

// A UDP port on 127.0.0.1 that was free a moment ago.
uint16_t FreeUdpPort();

// Asks `done` every few milliseconds until it holds or `seconds` have passed; its last answer.
bool WaitFor(const std::function<bool()>& done, int seconds);

// The user the servers of these tests know besides the demo's "admin".
inline const QString kTestUser = QStringLiteral("operator");
inline const QString kTestPassword = QStringLiteral("пароль-1");

class ServerProcess {
  public:
    // Runs in dir with its database and files folder there; extraArgs follow the fixed ones.
    ServerProcess(const QString& dir, uint16_t port, QStringList extraArgs);
    ~ServerProcess();

    // Starts the server and waits until it has bound its port. False (with the reason in Log())
    // when it did not within a few seconds.
    bool Start();
    // SIGKILL: the server gets no chance to tidy up.
    void Kill();
    // SIGHUP, and waits until the server has logged whether it re-read its users: true when it did,
    // false when it refused or said nothing within a few seconds.
    bool Reload();
    // SIGTERM and the exit code, -1 when it had to be killed.
    int Stop();
    bool Running() const;
    QString Log();
    // Waits until the log holds `part`, at most `seconds`.
    bool WaitForLog(const QString& part, int seconds = 10);
    // The server's resident memory in bytes (0 when it does not run).
    int64_t ResidentBytes() const;

  private:
    QString dir_;
    uint16_t port_;
    QStringList args_;
    std::unique_ptr<QProcess> process_;
    QString log_;
    // How much of the server's log file log_ holds, and the decoder that keeps a character split
    // between two reads.
    qint64 logRead_ = 0;
    QStringDecoder logText_{QStringDecoder::Utf8};
};

struct CliResult {
    int exitCode = -1;  // -1: did not finish in time
    QStringList lines;  // standard output, one entry per line
    QString errors;     // standard error
};

class CliProcess {
  public:
    // Works in dir (made when missing) against 127.0.0.1:port as kTestUser unless args say otherwise.
    CliProcess(const QString& dir, uint16_t port);
    ~CliProcess();

    // The options every run gets before its own: host, port, user, password, time-out.
    void SetCredentials(const QString& user, const QString& password) {
        user_ = user;
        password_ = password;
    }

    // Runs to the end (bounded by timeoutMs).
    CliResult Run(const QStringList& commandArgs, int timeoutMs = 20000, double cliTimeoutSeconds = 10);

    // Starts in the background; read with WaitForLine, end with Wait or Stop.
    bool Start(const QStringList& commandArgs, double cliTimeoutSeconds = 10);
    // Waits until a line of standard output satisfies match; returns it, or an empty text.
    QString WaitForLine(const std::function<bool(const QString&)>& match, int timeoutMs = 15000);
    // Waits for the end of the run (killing it after timeoutMs, which gives exit code -1).
    CliResult Wait(int timeoutMs = 40000);
    // SIGTERM, then the result of the whole run.
    CliResult Stop(int timeoutMs = 10000);
    const QStringList& Lines() const { return lines_; }

    const QString& Dir() const { return dir_; }

  private:
    QStringList FullArgs(const QStringList& commandArgs, double cliTimeoutSeconds) const;
    void ReadLines();
    CliResult Collect(bool finished);

    QString dir_;
    uint16_t port_;
    QString user_ = kTestUser;
    QString password_ = kTestPassword;
    std::unique_ptr<QProcess> process_;
    QByteArray pending_;
    QStringList lines_;
};

// The JSON object of a line, empty when it is none.
QJsonObject ParseLine(const QString& line);

// The lines that describe loaded tables ({"table":..,"size":..,"count":..}), in order.
QStringList TableLoadLines(const QStringList& lines);

// A temporary folder with a free port for each test; the server's working folder is "server" in it.

class E2eTest : public testing::Test {
  protected:
    void SetUp() override;
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // Starts mobcfg-server in Path("server") on port_ and checks that it runs; a first server whose
    // port was taken in the meantime moves port_ to another free one.
    std::unique_ptr<ServerProcess> StartServer(const QStringList& extraArgs = {"--demo"});

    QTemporaryDir dir_;
    uint16_t port_ = 0;
    bool serverStarted_ = false;
};

// The six tables in the order they load.
inline const QStringList kSixTables = {"object", "gps", "gpeople", "groupgps", "gpsug", "gpsshab"};
