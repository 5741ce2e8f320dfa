// mobcfg-server: the stand-in monitoring server. Options as documented in docs/server.md.
#include <QCoreApplication>
#include <QDateTime>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "server/server.h"

namespace {

std::atomic<bool> stopRequested{false};

void onSignal(int) {
    stopRequested.store(true);
}

void logLine(const QString& line) {
    const QByteArray text =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
         QStringLiteral(" - ") + line + u'\n')
            .toUtf8();
    fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

int usage(const char* why) {
    fprintf(
        stderr,
        "%s\nusage: mobcfg-server [--bind 127.0.0.1] [--port 9010] [--db server.db] [--files server-files]\n"
        "       [--demo] [--records N] [--user NAME:PASSWORD]... [--loss P] [--dup P] [--reorder P]\n"
        "       [--delay-ms D] [--seed S]\n",
        why);
    return 2;
}

bool probability(const QString& text, double& out) {
    bool ok = false;
    out = text.toDouble(&ok);
    return ok && out >= 0 && out <= 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    ServerOptions o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--demo")) {
            o.demo = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return usage("missing value or unknown option");
        }
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--bind")) {
            o.bind = v;
        } else if (a == QLatin1String("--port")) {
            const uint p = v.toUInt(&ok);
            ok = ok && p <= 65535;
            o.port = uint16_t(p);
        } else if (a == QLatin1String("--db")) {
            o.db = v;
        } else if (a == QLatin1String("--files")) {
            o.files = v;
        } else if (a == QLatin1String("--records")) {
            o.records = v.toInt(&ok);
            ok = ok && o.records >= 0 && o.records <= 10000000;
        } else if (a == QLatin1String("--user")) {
            const qsizetype colon = v.indexOf(u':');
            ok = colon > 0;
            o.users.emplace_back(v.left(colon), v.mid(colon + 1));
        } else if (a == QLatin1String("--loss")) {
            ok = probability(v, o.faults.loss);
        } else if (a == QLatin1String("--dup")) {
            ok = probability(v, o.faults.dup);
        } else if (a == QLatin1String("--reorder")) {
            ok = probability(v, o.faults.reorder);
        } else if (a == QLatin1String("--delay-ms")) {
            o.faults.delayMs = v.toInt(&ok);
            ok = ok && o.faults.delayMs >= 0 && o.faults.delayMs <= 60000;
        } else if (a == QLatin1String("--seed")) {
            o.faults.seed = v.toUInt(&ok);
        } else {
            return usage("unknown option");
        }
        if (!ok) {
            return usage("bad value for an option");
        }
    }

    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    Server server(o, logLine);
    QString error;
    if (!server.start(error)) {
        logLine(QStringLiteral("cannot start: ") + error);
        return 1;
    }
    logLine(QStringLiteral("listening on %1:%2").arg(o.bind).arg(server.port()));
    server.run(stopRequested);
    logLine(QStringLiteral("stopped"));
    return 0;
}
