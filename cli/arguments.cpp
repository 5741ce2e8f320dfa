#include "arguments.h"

#include <cmath>

namespace {

// Splits "--name=value" so that both "--name value" and "--name=value" work.
struct OptionWord {
    QString name;
    std::optional<QString> inlineValue;
};

OptionWord SplitOption(const QString& word) {
    const qsizetype equals = word.indexOf(u'=');
    if (equals < 0) {
        return {word, std::nullopt};
    }
    return {word.left(equals), word.mid(equals + 1)};
}

}  // namespace

ParsedArguments ParseArguments(const QStringList& args) {
    CliOptions options;
    bool haveUser = false;
    bool havePassword = false;
    qsizetype i = 0;
    for (; i < args.size(); ++i) {
        const QString& word = args[i];
        if (!word.startsWith(QStringLiteral("--"))) {
            break;
        }
        const OptionWord option = SplitOption(word);
        if (option.name == QStringLiteral("--help")) {
            options.help = true;
            return {options, {}};
        }
        if (option.name == QStringLiteral("--version")) {
            options.version = true;
            return {options, {}};
        }
        if (option.name == QStringLiteral("--times")) {
            options.times = true;
            continue;
        }
        QString value;
        if (option.inlineValue) {
            value = *option.inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return {std::nullopt, QStringLiteral("option %1 needs a value").arg(option.name)};
        }
        if (option.name == QStringLiteral("--host")) {
            options.host = value;
        } else if (option.name == QStringLiteral("--port")) {
            bool ok = false;
            const uint port = value.toUInt(&ok);
            if (!ok || port == 0 || port > 65535) {
                return {std::nullopt,
                        QStringLiteral("port must be a number from 1 to 65535, not \"%1\"").arg(value)};
            }
            options.port = uint16_t(port);
        } else if (option.name == QStringLiteral("--user")) {
            options.user = value;
            haveUser = true;
        } else if (option.name == QStringLiteral("--password")) {
            options.password = value;
            havePassword = true;
        } else if (option.name == QStringLiteral("--timeout")) {
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400) {
                return {std::nullopt,
                        QStringLiteral("timeout must be a number of seconds above 0, not \"%1\"").arg(value)};
            }
            options.timeoutSeconds = seconds;
        } else {
            return {std::nullopt, QStringLiteral("unknown option %1").arg(option.name)};
        }
    }
    if (i == args.size()) {
        return {std::nullopt, QStringLiteral("no command given")};
    }
    if (!haveUser || !havePassword) {
        return {std::nullopt, QStringLiteral("--user and --password are required")};
    }
    options.command = args[i];
    options.commandArgs = args.mid(i + 1);
    return {options, {}};
}

QString UsageText() {
    return QStringLiteral(
        "usage: mobcfg-cli [--host H] [--port P] --user U --password P [--timeout SECONDS] [--times] "
        "COMMAND\n"
        "       mobcfg-cli --help | --version\n"
        "  load                           log in, load all six tables; one JSON line per table loaded\n"
        "  dump TABLE...                  also print each visible record as one JSON object per line\n"
        "  add TABLE COL=VALUE...         add a record; print it once the server has stored it\n"
        "  edit TABLE N_ABS COL=VALUE...  change a record; print it once its update has arrived\n"
        "  delete TABLE N_ABS             delete a record; done once the deletion is applied\n"
        "  get-file SERVERPATH NAME       fetch a server file into temp/NAME\n"
        "  put-file LOCALPATH SERVERPATH  send a file to the server\n"
        "  watch [--seconds S]            print every notice and every changed record as JSON lines\n"
        "  import TABLE FILE              add the lines of a CSV or XLSX file to gps or gpeople\n"
        "  export TABLE FILE              write every visible record to FILE (.csv, or .xlsx)\n"
        "--host and --port default to section ServerHost of setup.ini in the working directory.\n"
        "--times adds \"t_us\", wall-clock microseconds, to every output line.\n"
        "Exit codes: 0 done, 2 usage, 3 no session within the time-out, 4 access denied,\n"
        "5 the operation was not confirmed in time, 6 import: some lines were invalid or refused.\n");
}
