#include "options.h"

#include <QFile>
#include <vector>

namespace {

// One option as a name without its dashes and its value (empty for a flag).
struct Setting {
    QString name;
    QString value;
};

const QStringList kFlags = {QStringLiteral("demo"), QStringLiteral("no-edit-confirm")};
const QStringList kValued = {QStringLiteral("bind"), QStringLiteral("port"), QStringLiteral("db"),
                             QStringLiteral("files"), QStringLiteral("records"), QStringLiteral("user"),
                             QStringLiteral("loss"), QStringLiteral("dup"), QStringLiteral("reorder"),
                             QStringLiteral("delay-ms"), QStringLiteral("seed"),
                             // Limits (limits.h).
                             QStringLiteral("max-sessions"), QStringLiteral("max-sessions-per-address"),
                             QStringLiteral("max-sessions-per-user"), QStringLiteral("max-pending-logins"),
                             QStringLiteral("login-delay-max"), QStringLiteral("max-partial-mb"),
                             QStringLiteral("max-upload-mb"), QStringLiteral("max-upload-mb-per-user"),
                             QStringLiteral("max-files-mb"), QStringLiteral("max-dictionary-entries")};
// Options of the command line alone.
const QStringList kCommandFlags = {QStringLiteral("help"), QStringLiteral("version")};
const QString kConfig = QStringLiteral("config");

// Splits option words into settings; false with a reason on an unknown option or a missing value.
bool SplitWords(const QStringList& words, bool commandLine, std::vector<Setting>& out, QString& error) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        const QString name = word.startsWith(QStringLiteral("--")) ? word.mid(2) : QString();
        if (kFlags.contains(name) || (commandLine && kCommandFlags.contains(name))) {
            out.push_back({name, {}});
            continue;
        }
        if (!kValued.contains(name) && !(commandLine && name == kConfig)) {
            error = QStringLiteral("unknown option %1").arg(word);
            return false;
        }
        if (i + 1 >= words.size()) {
            error = QStringLiteral("option %1 needs a value").arg(word);
            return false;
        }
        out.push_back({name, words[++i]});
    }
    return true;
}

bool Probability(const QString& text, double& out) {
    bool ok = false;
    out = text.toDouble(&ok);
    return ok && out >= 0 && out <= 1;
}

// A whole number from lo to hi.
template <typename T>
bool Whole(const QString& text, int64_t lo, int64_t hi, T& out) {
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < lo || n > hi) {
        return false;
    }
    out = T(n);
    return true;
}

// Applies one setting; false when its value does not fit.
bool Apply(const Setting& s, ServerOptions& o) {
    const QString& v = s.value;
    bool ok = true;
    if (s.name == QLatin1String("demo")) {
        o.demo = true;
    } else if (s.name == QLatin1String("no-edit-confirm")) {
        o.confirmEdits = false;
    } else if (s.name == QLatin1String("bind")) {
        o.bind = v;
    } else if (s.name == QLatin1String("port")) {
        const uint p = v.toUInt(&ok);
        ok = ok && p <= 65535;
        o.port = uint16_t(p);
    } else if (s.name == QLatin1String("db")) {
        o.db = v;
    } else if (s.name == QLatin1String("files")) {
        o.files = v;
    } else if (s.name == QLatin1String("records")) {
        o.records = v.toInt(&ok);
        ok = ok && o.records >= 0 && o.records <= 10000000;
    } else if (s.name == QLatin1String("user")) {
        const qsizetype colon = v.indexOf(u':');
        ok = colon > 0;
        o.users.emplace_back(v.left(colon), v.mid(colon + 1));
    } else if (s.name == QLatin1String("loss")) {
        ok = Probability(v, o.faults.loss);
    } else if (s.name == QLatin1String("dup")) {
        ok = Probability(v, o.faults.dup);
    } else if (s.name == QLatin1String("reorder")) {
        ok = Probability(v, o.faults.reorder);
    } else if (s.name == QLatin1String("delay-ms")) {
        o.faults.delayMs = v.toInt(&ok);
        ok = ok && o.faults.delayMs >= 0 && o.faults.delayMs <= 60000;
    } else if (s.name == QLatin1String("seed")) {
        o.faults.seed = v.toUInt(&ok);
    } else if (s.name == QLatin1String("max-sessions")) {
        ok = Whole(v, 1, 100000, o.limits.maxSessions);
    } else if (s.name == QLatin1String("max-sessions-per-address")) {
        ok = Whole(v, 1, 100000, o.limits.maxSessionsPerAddress);
    } else if (s.name == QLatin1String("max-sessions-per-user")) {
        ok = Whole(v, 1, 100000, o.limits.maxSessionsPerUser);
    } else if (s.name == QLatin1String("max-pending-logins")) {
        ok = Whole(v, 1, 100000, o.limits.maxPendingLogins);
    } else if (s.name == QLatin1String("login-delay-max")) {
        ok = Whole(v, 0, 3600, o.limits.loginDelayMaxSeconds);
    } else if (s.name == QLatin1String("max-partial-mb")) {
        ok = Whole(v, 1, 65536, o.limits.maxPartialBytes);
        o.limits.maxPartialBytes *= 1024 * 1024;
    } else if (s.name == QLatin1String("max-upload-mb")) {
        ok = Whole(v, 1, 1048576, o.limits.maxUploadBytes);
        o.limits.maxUploadBytes *= 1024 * 1024;
    } else if (s.name == QLatin1String("max-upload-mb-per-user")) {
        ok = Whole(v, 1, 1048576, o.limits.maxUploadBytesPerUser);
        o.limits.maxUploadBytesPerUser *= 1024 * 1024;
    } else if (s.name == QLatin1String("max-files-mb")) {
        ok = Whole(v, 1, 1LL << 30, o.limits.maxFilesBytes);
        o.limits.maxFilesBytes *= 1024 * 1024;
    } else if (s.name == QLatin1String("max-dictionary-entries")) {
        ok = Whole(v, 1, 65534, o.limits.maxDictionaryEntries);
    }
    return ok;
}

bool ReadConfig(const QString& path, std::vector<Setting>& out, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the configuration file %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.read(kMaxConfigBytes + 1);
    if (text.size() > kMaxConfigBytes) {
        error = QStringLiteral("the configuration file %1 is longer than %2 bytes")
                    .arg(path)
                    .arg(kMaxConfigBytes);
        return false;
    }
    QString why;
    const QStringList words = ConfigWords(text, why);
    if (!why.isEmpty()) {
        error = path + QStringLiteral(": ") + why;
        return false;
    }
    return SplitWords(words, false, out, error);
}

}  // namespace

QStringList ConfigWords(QByteArrayView text, QString& error) {
    QStringList words;
    const QStringList lines =
        QString::fromUtf8(text.first(std::min(text.size(), kMaxConfigBytes))).split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.front() == u'#' || line.front() == u';') {
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString name = (equals < 0 ? line : line.left(equals)).trimmed();
        const QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed();
        const QString where = QStringLiteral("line %1: ").arg(n + 1);
        if (kFlags.contains(name)) {
            static const QStringList yes = {QString(), QStringLiteral("yes"), QStringLiteral("true"),
                                            QStringLiteral("1")};
            static const QStringList no = {QStringLiteral("no"), QStringLiteral("false"),
                                           QStringLiteral("0")};
            if (yes.contains(value, Qt::CaseInsensitive)) {
                words << QStringLiteral("--") + name;
            } else if (!no.contains(value, Qt::CaseInsensitive)) {
                error = where + QStringLiteral("%1 takes yes or no, not \"%2\"").arg(name, value);
                return {};
            }
        } else if (kValued.contains(name)) {
            if (value.isEmpty()) {
                error = where + QStringLiteral("%1 needs a value").arg(name);
                return {};
            }
            words << QStringLiteral("--") + name << value;
        } else {
            error = where + QStringLiteral("unknown setting \"%1\"").arg(name.left(64));
            return {};
        }
    }
    return words;
}

ServerCommandLine ParseServerCommandLine(const QStringList& args) {
    ServerCommandLine result;
    std::vector<Setting> given;
    if (!SplitWords(args, true, given, result.error)) {
        return result;
    }
    std::vector<Setting> settings;
    for (const Setting& s : given) {
        if (s.name == QLatin1String("help")) {
            result.command = ServerCommand::Help;
            return result;
        }
        if (s.name == QLatin1String("version")) {
            result.command = ServerCommand::Version;
            return result;
        }
        if (s.name == kConfig) {
            result.configFile = s.value;
        }
    }
    if (!result.configFile.isEmpty() && !ReadConfig(result.configFile, settings, result.error)) {
        return result;
    }
    settings.insert(settings.end(), given.begin(), given.end());
    for (const Setting& s : settings) {
        if (s.name != kConfig && !Apply(s, result.options)) {
            result.error = QStringLiteral("bad value for --%1: \"%2\"").arg(s.name, s.value.left(64));
            return result;
        }
    }
    if (!result.configFile.isEmpty()) {
        result.options.exactUsers = true;
        if (result.options.demo && result.options.users.empty()) {
            result.options.users.emplace_back(QStringLiteral("admin"), QStringLiteral("admin"));
        }
    }
    return result;
}

QString ServerUsageText() {
    return QStringLiteral(
        "usage: mobcfg-server [--config FILE] [--bind 127.0.0.1] [--port 9010] [--db server.db]\n"
        "                     [--files server-files] [--demo] [--records N] [--user NAME:PASSWORD]...\n"
        "                     [--no-edit-confirm] [--loss P] [--dup P] [--reorder P] [--delay-ms D]\n"
        "                     [--seed S]\n"
        "       mobcfg-server --help | --version\n"
        "The stand-in monitoring server: the six tables in an SQLite database, or in a PostgreSQL\n"
        "database several servers share, served over UDP.\n"
        "  --config FILE         read settings from FILE (\"name = value\" lines named as the options);\n"
        "                        the users named there and with --user are then all the users\n"
        "  --bind, --port        IPv4 address and UDP port to listen on (port 0: any free one)\n"
        "  --db FILE|URI         the database file, created when missing, or a postgresql:// URI\n"
        "  --files DIR           the folder of files clients fetch and send\n"
        "  --demo                fill empty tables with demo records; user admin/admin when none\n"
        "  --records N           fill empty tables with N generated records each\n"
        "  --user NAME:PASSWORD  add a user or give one a new password (may be repeated)\n"
        "  --no-edit-confirm     confirm additions only, as the monitoring server does\n"
        "  --loss, --dup, --reorder P, --delay-ms D, --seed S   network faults (probabilities 0..1)\n"
        "Limits (defaults in brackets; see the manual page):\n"
        "  --max-sessions N              sessions at once [1000]\n"
        "  --max-sessions-per-address N  sessions from one IPv4 address [64]\n"
        "  --max-sessions-per-user N     sessions of one user [64]\n"
        "  --max-pending-logins N        logins waiting for their password check [256]\n"
        "  --login-delay-max S           longest wait an address earns by failed logins, seconds [30]\n"
        "  --max-partial-mb M            memory of texts received in part, all sessions [64]\n"
        "  --max-upload-mb M             uploads in progress, all sessions [1024]\n"
        "  --max-upload-mb-per-user M    uploads in progress of one user [512]\n"
        "  --max-files-mb M              the files folder with the uploads in progress [16384]\n"
        "  --max-dictionary-entries N    entries a dictionary may grow to through edits [4096]\n"
        "SIGHUP re-reads the users (and the configuration file's) without ending sessions;\n"
        "SIGINT and SIGTERM stop the server. Exit codes: 0 stopped by a signal, 1 cannot start,\n"
        "2 bad options or configuration.\n");
}
