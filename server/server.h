// The server's protocol loop: one UDP socket, one thread, every client. Each pass reads what has
// arrived in batches (one system call for up to 64 datagrams, decoded where they landed), answers
// acknowledgements, hands complete texts to Commands, and lets every session's window send what is
// due. What a pass sends is gathered and leaves in batches too (one system call for up to 64), at
// the latest when the pass ends, so nothing waits across the rest between passes. Faults, when
// configured, sit between the socket and the rest in both directions; only then is a datagram
// copied. The loop runs on the caller's thread until the stop flag is set.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "client_session.h"
#include "commands.h"
#include "faults.h"
#include "limits.h"
#include "logins.h"
#include "memory_budget.h"
#include "storage.h"

struct ServerOptions {
    QString bind = QStringLiteral("127.0.0.1");
    uint16_t port = 9010;
    QString db = QStringLiteral("server.db");
    QString files = QStringLiteral("server-files");
    bool demo = false;
    bool confirmEdits = true;
    int32_t records = 0;
    std::vector<std::pair<QString, QString>> users;
    // The users named are all the users: any other in the database is removed (at start and when the
    // users are re-read). Without it the named users are added to those the database holds.
    bool exactUsers = false;
    ServerLimits limits;
    FaultSettings faults;
};

class Server {
  public:
    Server(ServerOptions options, Commands::Log log);
    ~Server();

    // Opens the database (filling demo data and users as asked) and binds the socket.
    bool start(QString& error);
    uint16_t port() const { return socket_.LocalPort(); }
    // Runs passes until stop is set. Between two passes, a set reload flag is cleared and onReload
    // called on this thread.
    void run(const std::atomic<bool>& stop, std::atomic<bool>& reload, const std::function<void()>& onReload);
    // Takes the users of options (as start does) and forgets which passwords were already verified,
    // so that every later login is checked against the database. Sessions stay as they are.
    bool reloadUsers(const ServerOptions& options);
    // One pass of the loop, waiting at most waitMs for a datagram.
    void pass(int waitMs);

    // Handles one datagram as if it had just come from `from` (after the incoming faults), and
    // sends what it caused.
    void receive(const QByteArray& datagram, const UdpAddress& from);

  private:
    static uint64_t key(const UdpAddress& a) { return (uint64_t(a.ip) << 16) | a.port; }
    // Decodes the datagram in place and acts on it; what it sends is gathered, not yet flushed.
    void take(char* datagram, int size, const UdpAddress& from);
    void receiveBatches();
    void send(const char* data, int size, const UdpAddress& to);
    void sendAck(const DatagramHeader& header, const UdpAddress& to);
    void registration(const DatagramHeader& header, const QString& text, const UdpAddress& from, int size);
    // The outcomes of password checks finished since the last pass.
    void decideLogins();
    // A session for an accepted login (in place of one of the same address and port), within the
    // caps on sessions; answered once with "regok".
    void admit(const LoginAttempt& attempt);
    // Why the login would pass a cap on sessions; empty when it would not.
    QString overCap(const LoginAttempt& attempt) const;
    // Answered once with "accessdenied", unless its address and port have a session that is alive:
    // the refusal would end it at the client, and a registration carries nothing that proves it
    // came from there.
    void refuse(const LoginAttempt& attempt, const QString& why);
    // Sends a text as one datagram to an address without a session, when it is no larger than the
    // datagram it answers.
    void answerOnce(const QString& text, const LoginAttempt& attempt);
    void upkeep();
    ClientSession* find(const UdpAddress& a);

    ServerOptions options_;
    Commands::Log log_;
    Storage storage_;
    Logins logins_;
    MemoryBudget partials_;
    std::unique_ptr<Commands> commands_;
    UdpSocket socket_;
    UdpReceiveBatch inBatch_;
    UdpSendBatch outBatch_;
    Faults inFaults_;
    Faults outFaults_;
    std::unordered_map<uint64_t, std::unique_ptr<ClientSession>> sessions_;
    int64_t nowMs_ = 0;
    uint64_t nowTicks_ = 0;
    int64_t lastUpkeepMs_ = 0;
    int64_t malformed_ = 0;
};
