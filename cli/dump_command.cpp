// dump TABLE: every visible record of one table, one JSON object per line.
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
        if (words.size() != 1) {
            return QStringLiteral("dump takes one table name");
        }
        table_ = words[0];
        return CheckTableName(table_);
    }

    int Run(CommandContext& context) override {
        TBaseClient* table = context.session.Base().Find(table_);
        const auto guard = table->Guard();
        const int32_t count = table->Count();
        for (int32_t pos = 1; pos <= count; ++pos) {
            context.output.Line(RecordPairsAt(*table, pos));
        }
        return kExitDone;
    }

  private:
    QString table_;
};

}  // namespace

std::unique_ptr<Command> MakeDumpCommand() {
    return std::make_unique<DumpCommand>();
}
