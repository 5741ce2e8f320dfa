// import TABLE FILE: the lines of a CSV or XLSX file into "gps" or "gpeople", checked first, then
// the valid ones sent one at a time, each once the server settled the one before (see
// exchange/import_run.h). One line of output per line of the file, as its fate is known, then a
// summary; the time-out bounds the wait for each line.
#include <thread>

#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "exchange/import_check.h"
#include "exchange/import_run.h"
#include "exchange/sheet_file.h"

namespace {

QString StateWord(ImportRun::State state) {
    switch (state) {
        case ImportRun::State::Confirmed:
            return QStringLiteral("confirmed");
        case ImportRun::State::Refused:
            return QStringLiteral("refused");
        case ImportRun::State::Unconfirmed:
            return QStringLiteral("unconfirmed");
        case ImportRun::State::NotSent:
            return QStringLiteral("not sent");
        case ImportRun::State::Waiting:
        case ImportRun::State::Sent:
            break;
    }
    return QStringLiteral("waiting");
}

class ImportCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.size() != 2) {
            return QStringLiteral("import needs a table name and a file name");
        }
        table_ = words[0];
        profile_ = ImportProfileOf(table_);
        if (!profile_) {
            return QStringLiteral("only gps and gpeople can be imported, not \"%1\"").arg(table_);
        }
        const SheetRead read = ReadSheetFile(words[1]);
        if (!read.ok()) {
            return QStringLiteral("%1: %2").arg(words[1], read.error);
        }
        sheet_ = read.sheet;
        return {};
    }

    int Run(CommandContext& context) override {
        TBaseClient* table = context.session.Base().Find(table_);
        std::vector<ImportLine> lines;
        {
            const auto guard = context.session.LockLoaded(*table, context.deadline);
            if (!guard.owns_lock()) {
                return context.NotLoadedAgain(table_);
            }
            const QStringList mapping = MapColumns(*table, sheet_.header);
            if (const QString error = CheckMapping(*profile_, mapping); !error.isEmpty()) {
                Output::Error(error);
                return kExitUsage;
            }
            lines = CheckLines(*table, context.session.Base().Find(QStringLiteral("object")), *profile_,
                               sheet_, mapping);
        }
        int invalid = 0;
        for (const ImportLine& line : lines) {
            if (!line.Valid()) {
                ++invalid;
                context.output.Line(QStringLiteral("\"line\":%1,\"state\":\"invalid\",\"error\":%2")
                                        .arg(line.line)
                                        .arg(JsonString(line.errors.join(QStringLiteral("; ")))));
            }
        }
        ImportRun run(*table, lines, std::chrono::milliseconds(int64_t(context.timeoutSeconds * 1000)));
        context.session.SetNoticeHandler([&run](const QString& notice) { run.TakeNotice(notice); });
        size_t printed = 0;
        while (!run.Finished()) {
            if (CliSession::StopRequested()) {
                run.Stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            context.session.WaitUntil(Clock::now() + std::chrono::milliseconds(100),
                                      [&run] { return !run.Step(ImportRun::Clock::now()); });
            printed = Print(context, run, printed);
        }
        Print(context, run, printed);
        context.session.SetNoticeHandler({});
        const int notConfirmed =
            run.Count(ImportRun::State::Unconfirmed) + run.Count(ImportRun::State::NotSent);
        context.output.Line(QStringLiteral("\"imported\":%1,\"confirmed\":%2,\"invalid\":%3,\"refused\":%4,"
                                           "\"unconfirmed\":%5,\"not_sent\":%6")
                                .arg(JsonString(table_))
                                .arg(run.Count(ImportRun::State::Confirmed))
                                .arg(invalid)
                                .arg(run.Count(ImportRun::State::Refused))
                                .arg(run.Count(ImportRun::State::Unconfirmed))
                                .arg(run.Count(ImportRun::State::NotSent)));
        if (notConfirmed > 0) {
            return CliSession::NotConfirmed(
                QStringLiteral("%1 line(s) were not confirmed by the server").arg(notConfirmed));
        }
        if (invalid > 0 || run.Count(ImportRun::State::Refused) > 0) {
            Output::Error(QStringLiteral("some lines were not imported (invalid or refused)"));
            return kExitLinesLeftOut;
        }
        return kExitDone;
    }

  private:
    // Prints the results settled since `from`, in file order; returns how far it got.
    static size_t Print(CommandContext& context, const ImportRun& run, size_t from) {
        const auto& results = run.Results();
        for (; from < results.size(); ++from) {
            const ImportRun::Result& r = results[from];
            if (r.state == ImportRun::State::Waiting || r.state == ImportRun::State::Sent) {
                break;
            }
            QString pairs =
                QStringLiteral("\"line\":%1,\"state\":\"%2\"").arg(r.line).arg(StateWord(r.state));
            if (r.state == ImportRun::State::Confirmed) {
                pairs += QStringLiteral(",\"n_abs\":%1").arg(r.n_abs);
            } else if (!r.note.isEmpty()) {
                pairs += QStringLiteral(",\"error\":%1").arg(JsonString(r.note));
            }
            context.output.Line(pairs);
        }
        return from;
    }

    QString table_;
    std::optional<ImportProfile> profile_;
    Sheet sheet_;
};

}  // namespace

std::unique_ptr<Command> MakeImportCommand() {
    return std::make_unique<ImportCommand>();
}
