// export TABLE FILE: every visible record of the table, in its order, with all of its columns, to a
// CSV file (UTF-8 with a byte-order mark, ";" between fields) or, for a name ending in ".xlsx", a
// workbook.
#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/table_words.h"
#include "exchange/table_export.h"

namespace {

class ExportCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.size() != 2) {
            return QStringLiteral("export needs a table name and a file name");
        }
        table_ = words[0];
        path_ = words[1];
        return CheckTableName(table_);
    }

    int Run(CommandContext& context) override {
        TBaseClient* table = context.session.Base().Find(table_);
        const auto guard = context.session.LockLoaded(*table, context.deadline);
        if (!guard.owns_lock()) {
            return context.NotLoadedAgain(table_);
        }
        const std::vector<int32_t> positions = AllPositions(*table);
        if (const QString error = ExportRecords(*table, positions, path_); !error.isEmpty()) {
            Output::Error(error);
            return kExitUsage;
        }
        context.output.Line(QStringLiteral("\"exported\":%1,\"file\":%2,\"rows\":%3")
                                .arg(JsonString(table_), JsonString(path_))
                                .arg(positions.size()));
        return kExitDone;
    }

  private:
    QString table_;
    QString path_;
};

}  // namespace

std::unique_ptr<Command> MakeExportCommand() {
    return std::make_unique<ExportCommand>();
}
