#include "postgres_cluster.h"

#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

constexpr int kStartMs = 60000;
constexpr int kToolMs = 30000;

// The programs folder of the newest PostgreSQL installed the Debian way, empty when there is none.
QString FindBinDir() {
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(*it);
        if (QFile::exists(bin + QStringLiteral("/initdb")) &&
            QFile::exists(bin + QStringLiteral("/pg_ctl"))) {
            return bin;
        }
    }
    return {};
}

// A TCP port on 127.0.0.1 that was free a moment ago.
uint16_t FreeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace

PostgresCluster::PostgresCluster() : binDir_(FindBinDir()) {
    if (::getuid() == 0) {
        owner_ = ::getpwnam("postgres") ? QStringLiteral("postgres") : QStringLiteral("nobody");
    }
}

PostgresCluster::~PostgresCluster() {
    if (running_) {
        Run(QStringLiteral("pg_ctl"),
            {QStringLiteral("stop"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
             QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w")},
            kToolMs);
    }
}

bool PostgresCluster::Run(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir_.path());
    if (!owner_.isEmpty()) {
        const passwd* pw = ::getpwnam(owner_.toUtf8().constData());
        if (!pw) {
            error_ = QStringLiteral("no system user ") + owner_;
            return false;
        }
        const uid_t uid = pw->pw_uid;
        const gid_t gid = pw->pw_gid;
        p.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
                ::_exit(127);
            }
        });
    }
    p.start(binDir_ + u'/' + program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        error_ = QStringLiteral("%1 did not finish in time: %2").arg(program, QString::fromUtf8(p.readAll()));
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error_ = QStringLiteral("%1 failed (%2): %3")
                     .arg(program)
                     .arg(p.exitCode())
                     .arg(QString::fromUtf8(p.readAll()));
        return false;
    }
    return true;
}

bool PostgresCluster::Start() {
    if (binDir_.isEmpty()) {
        error_ = QStringLiteral(
            "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb): run scripts/setup");
        return false;
    }
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    if (!owner_.isEmpty()) {
        const passwd* pw = ::getpwnam(owner_.toUtf8().constData());
        if (!pw || ::chown(dir_.path().toUtf8().constData(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = QStringLiteral("cannot give the temporary folder to ") + owner_;
            return false;
        }
    }
    const QString data = dir_.filePath(QStringLiteral("data"));
    if (!made_) {
        if (!Run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("mobcfg"),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
                 kStartMs)) {
            return false;
        }
        made_ = true;
        port_ = FreeTcpPort();
    }
    const QString options =
        QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(port_).arg(dir_.path());
    if (!Run(QStringLiteral("pg_ctl"),
             {QStringLiteral("start"), QStringLiteral("-D"), data, QStringLiteral("-l"),
              dir_.filePath(QStringLiteral("postgres.log")), QStringLiteral("-o"), options,
              QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60")},
             kStartMs)) {
        QFile log(dir_.filePath(QStringLiteral("postgres.log")));
        if (log.open(QIODevice::ReadOnly)) {
            error_ += QString::fromUtf8(log.readAll().right(2000));
        }
        return false;
    }
    running_ = true;
    return true;
}

bool PostgresCluster::Stop() {
    if (!running_) {
        return true;
    }
    running_ = !Run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("stop"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                     QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w")},
                    kToolMs);
    return !running_;
}

QString PostgresCluster::CreateDatabase(const QString& name) {
    if (!Run(QStringLiteral("createdb"),
             {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port_),
              QStringLiteral("-U"), QStringLiteral("mobcfg"), name},
             kToolMs)) {
        return {};
    }
    return Uri(name);
}

QString PostgresCluster::Uri(const QString& name) const {
    return QStringLiteral("postgresql://mobcfg@127.0.0.1:%1/%2").arg(port_).arg(name);
}
