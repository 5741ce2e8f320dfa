// add TABLE COL=VALUE...: Add, write each value through AsString, Post; done when the server
// confirms the addition with "netyesadddatadatabase" and the new record is in the replica.
#include "cli/cli_session.h"
#include "cli/column_values.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/record_change.h"
#include "cli/record_json.h"
#include "cli/table_words.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"

namespace {

class AddCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.isEmpty()) {
            return QStringLiteral("add needs a table name and COL=VALUE words");
        }
        table_ = words[0];
        const QString error = CheckTableName(table_);
        return error.isEmpty() ? ParseColumnValues(words.mid(1), values_) : error;
    }

    int Run(CommandContext& context) override {
        TBaseClient* table = context.session.Base().Find(table_);
        {
            const auto guard = context.session.LockLoaded(*table, context.deadline);
            if (!guard.owns_lock()) {
                return context.NotLoadedAgain(table_);
            }
            table->Add();
            const QString error = WriteColumnValues(*table, values_);
            if (!error.isEmpty()) {
                table->Cancel();
                Output::Error(error);
                return kExitUsage;
            }
            table->Post();
        }
        ReportPosted(context, table_);
        std::optional<int32_t> added;
        context.session.SetNoticeHandler([&](const QString& notice) {
            if (CommandOf(notice) == Cmd::NetYesAddDataDatabase &&
                GetJSONValue(notice, QStringLiteral("nametable")) == table_) {
                added = ParseRecordId(GetJSONValue(notice, QStringLiteral("n_abs")));
            }
        });
        QString pairs;
        const bool done = context.session.WaitUntil(context.deadline, [&] {
            if (!added) {
                return false;
            }
            const auto guard = table->Guard();
            pairs = RecordPairsOf(*table, *added);
            return !pairs.isEmpty();
        });
        if (!done) {
            return context.session.NotConfirmed(
                QStringLiteral("the server did not confirm the new %1 record within %2 seconds")
                    .arg(table_)
                    .arg(context.timeoutSeconds));
        }
        context.output.Line(pairs);
        return kExitDone;
    }

  private:
    QString table_;
    ColumnValues values_;
};

}  // namespace

std::unique_ptr<Command> MakeAddCommand() {
    return std::make_unique<AddCommand>();
}
