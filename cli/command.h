// One class per subcommand of mobcfg-cli over the same core: the command first checks its own words
// (before any network work, so a usage error costs nothing), then runs once the session is logged
// in and every table is loaded.
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>

class CliSession;
class Output;

using Clock = std::chrono::steady_clock;

struct CommandContext {
    CliSession& session;
    Output& output;
    Clock::time_point deadline;  // the operation must be confirmed by then
    double timeoutSeconds;

    // Ends the command when a re-login emptied a table and it was not loaded again in time.
    int NotLoadedAgain(const QString& table) const;
};

class Command {
  public:
    virtual ~Command() = default;

    // An error line when the words do not fit the command.
    virtual QString Parse(const QStringList& words) = 0;
    // Returns an ExitCode.
    virtual int Run(CommandContext& context) = 0;
};

// Null for an unknown command name.
std::unique_ptr<Command> MakeCommand(const QString& name);

std::unique_ptr<Command> MakeLoadCommand();
std::unique_ptr<Command> MakeDumpCommand();
std::unique_ptr<Command> MakeAddCommand();
std::unique_ptr<Command> MakeEditCommand();
std::unique_ptr<Command> MakeDeleteCommand();
std::unique_ptr<Command> MakeGetFileCommand();
std::unique_ptr<Command> MakePutFileCommand();
std::unique_ptr<Command> MakeWatchCommand();
std::unique_ptr<Command> MakeImportCommand();
std::unique_ptr<Command> MakeExportCommand();
