// mobcfg-cli: the configuration tool without windows, for scripts and tests.
#include <csignal>
#include <cstdio>

#include "cli/arguments.h"
#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "infra/files.h"
#include "session/settings.h"

namespace {

void OnStopSignal(int) {
    CliSession::RequestStop();
}

int UsageError(const QString& message) {
    Output::Error(message + QStringLiteral(" (see mobcfg-cli --help)"));
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const ParsedArguments parsed = ParseArguments(args);
    if (!parsed.options) {
        return UsageError(parsed.error);
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(UsageText().toUtf8().constData(), stdout);
        return kExitDone;
    }
    if (options.version) {
        std::printf("mobcfg-cli %s\n", MOBCFG_VERSION);
        return kExitDone;
    }
    const std::unique_ptr<Command> command = MakeCommand(options.command);
    if (!command) {
        return UsageError(QStringLiteral("unknown command \"%1\"").arg(options.command));
    }
    if (const QString error = command->Parse(options.commandArgs); !error.isEmpty()) {
        return UsageError(error);
    }

    QString dir = WorkingDir();
    if (!dir.endsWith(u'/')) {
        dir += u'/';
    }
    const ServerSettings settings = ReadServerSettings(dir);
    const QString host = options.host.value_or(settings.host);
    const uint16_t port = options.port.value_or(settings.port);

    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);

    const auto timeout = std::chrono::milliseconds(int64_t(options.timeoutSeconds * 1000));
    Output output(options.times);
    CliSession session(host, port, output);
    if (const int code = session.LoginAndLoad(options.user, options.password, Clock::now() + timeout,
                                              options.timeoutSeconds);
        code != kExitDone) {
        return code;
    }
    CommandContext context{session, output, Clock::now() + timeout, options.timeoutSeconds};
    return command->Run(context);
}
