// delete TABLE N_ABS: DeleteRecordCurrent on the record; done when the server's deletion has been
// applied and the record has left the view.
#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/record_change.h"
#include "cli/table_words.h"

namespace {

class DeleteCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.size() != 2) {
            return QStringLiteral("delete needs a table name and a record number");
        }
        return ParseTableAndRecord(words, table_, n_abs_);
    }

    int Run(CommandContext& context) override {
        TBaseClient* table = context.session.Base().Find(table_);
        {
            const auto guard = context.session.LockLoaded(*table, context.deadline);
            if (!guard.owns_lock()) {
                return context.NotLoadedAgain(table_);
            }
            if (!table->GotoAbs(n_abs_)) {
                Output::Error(QStringLiteral("table %1 has no record %2").arg(table_).arg(n_abs_));
                return kExitUsage;
            }
            context.session.TakeRefreshes();
            table->DeleteRecordCurrent();
        }
        ReportPosted(context, table_);
        // A table being reloaded has no records at all, which is no sign of the deletion.
        const bool done = WaitForTableUpdate(context, table_, *table,
                                             [&] { return table->FlagLoadData && !table->GotoAbs(n_abs_); });
        if (!done) {
            return context.session.NotConfirmed(
                QStringLiteral("the deletion of %1 record %2 was not applied within %3 seconds")
                    .arg(table_)
                    .arg(n_abs_)
                    .arg(context.timeoutSeconds));
        }
        context.output.Line(
            QStringLiteral("\"table\":%1,\"deleted\":%2").arg(JsonString(table_)).arg(n_abs_));
        return kExitDone;
    }

  private:
    QString table_;
    int32_t n_abs_ = 0;
};

}  // namespace

std::unique_ptr<Command> MakeDeleteCommand() {
    return std::make_unique<DeleteCommand>();
}
