// mobcfg-server: the stand-in monitoring server. Options as documented in docs/server.md.
#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "server/log_sink.h"
#include "server/options.h"
#include "server/server.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<bool> reloadRequested{false};

void onStop(int) {
    stopRequested.store(true);
}

void onReload(int) {
    reloadRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const ServerCommandLine given = ParseServerCommandLine(args);
    if (!given.error.isEmpty()) {
        fprintf(stderr, "mobcfg-server: %s (see mobcfg-server --help)\n", given.error.toUtf8().constData());
        return 2;
    }
    if (given.command == ServerCommand::Help) {
        fputs(ServerUsageText().toUtf8().constData(), stdout);
        return 0;
    }
    if (given.command == ServerCommand::Version) {
        printf("mobcfg-server %s\n", MOBCFG_VERSION);
        return 0;
    }

    struct sigaction sa = {};
    sa.sa_handler = onStop;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = onReload;
    sigaction(SIGHUP, &sa, nullptr);

    const LogSink sink;
    const ServerOptions& o = given.options;
    Server server(o, [&sink](const QString& line) { sink.Write(LogPriority::Info, line); });
    QString error;
    if (!server.start(error)) {
        sink.Write(LogPriority::Error, QStringLiteral("cannot start: ") + error);
        return 1;
    }
    sink.Write(LogPriority::Info, QStringLiteral("listening on %1:%2").arg(o.bind).arg(server.port()));
    server.run(stopRequested, reloadRequested, [&] {
        // The configuration file is read again; of what it says, only the users change while running.
        const ServerCommandLine again = ParseServerCommandLine(args);
        if (!again.error.isEmpty()) {
            sink.Write(LogPriority::Error, QStringLiteral("users not re-read: ") + again.error);
        } else if (!server.reloadUsers(again.options)) {
            sink.Write(LogPriority::Error, QStringLiteral("users not re-read: the database refused them"));
        } else {
            sink.Write(LogPriority::Info,
                       QStringLiteral("users re-read: %1 named").arg(again.options.users.size()));
        }
    });
    sink.Write(LogPriority::Info, QStringLiteral("stopped"));
    return 0;
}
