// dump TABLE...: every visible record of the tables, one JSON object per line, table after table.
#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/record_json.h"
#include "cli/table_words.h"

namespace {

class DumpCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.isEmpty()) {
            return QStringLiteral("dump needs a table name");
        }
        for (const QString& word : words) {
            if (const QString error = CheckTableName(word); !error.isEmpty()) {
                return error;
            }
        }
        tables_ = words;
        return {};
    }

    int Run(CommandContext& context) override {
        for (const QString& name : tables_) {
            TBaseClient* table = context.session.Base().Find(name);
            const auto guard = context.session.LockLoaded(*table, context.deadline);
            if (!guard.owns_lock()) {
                return context.NotLoadedAgain(name);
            }
            const int32_t count = table->Count();
            for (int32_t pos = 1; pos <= count; ++pos) {
                context.output.Line(RecordPairsAt(*table, pos));
            }
        }
        return kExitDone;
    }

  private:
    QStringList tables_;
};

}  // namespace

std::unique_ptr<Command> MakeDumpCommand() {
    return std::make_unique<DumpCommand>();
}
