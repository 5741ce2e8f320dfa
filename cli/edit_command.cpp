// edit TABLE N_ABS COL=VALUE...: Edit the record, write each value through AsString, Post; done
// when the record update for it has been applied (a server need not confirm edits).
#include "cli/cli_session.h"
#include "cli/column_values.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/record_change.h"
#include "cli/record_json.h"
#include "cli/table_words.h"

namespace {

class EditCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.size() < 2) {
            return QStringLiteral("edit needs a table name, a record number and COL=VALUE words");
        }
        const QString error = ParseTableAndRecord(words, table_, n_abs_);
        if (!error.isEmpty()) {
            return error;
        }
        return ParseColumnValues(words.mid(2), values_);
    }

    int Run(CommandContext& context) override {
        TBaseClient* table = context.session.Base().Find(table_);
        QString before;
        {
            const auto guard = context.session.LockLoaded(*table, context.deadline);
            if (!guard.owns_lock()) {
                return context.NotLoadedAgain(table_);
            }
            before = RecordPairsOf(*table, n_abs_);
            if (before.isEmpty()) {
                Output::Error(QStringLiteral("table %1 has no record %2").arg(table_).arg(n_abs_));
                return kExitUsage;
            }
            table->Edit();
            const QString error = WriteColumnValues(*table, values_);
            if (!error.isEmpty()) {
                table->Cancel();
                Output::Error(error);
                return kExitUsage;
            }
            context.session.TakeRefreshes();
            table->Post();
        }
        ReportPosted(context, table_);
        QString after;
        const bool done = WaitForTableUpdate(context, table_, *table, [&] {
            after = RecordPairsOf(*table, n_abs_);
            return !after.isEmpty() && (after != before || HoldsValues(*table));
        });
        if (!done) {
            return context.session.NotConfirmed(
                QStringLiteral("no update of %1 record %2 arrived within %3 seconds")
                    .arg(table_)
                    .arg(n_abs_)
                    .arg(context.timeoutSeconds));
        }
        context.output.Line(after);
        return kExitDone;
    }

  private:
    // An edit that changes nothing still gets its update; the record then already shows the values.
    // Expects the record to be current and the guard held.
    bool HoldsValues(TBaseClient& table) const {
        for (const auto& [name, value] : values_) {
            FieldGFB* column = table.GetFieldCurrent(name);
            if (column == nullptr || column->AsString() != value) {
                return false;
            }
        }
        return true;
    }

    QString table_;
    int32_t n_abs_ = 0;
    ColumnValues values_;
};

}  // namespace

std::unique_ptr<Command> MakeEditCommand() {
    return std::make_unique<EditCommand>();
}
