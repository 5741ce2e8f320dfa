#include "cli/record_change.h"

#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/output.h"

void ReportPosted(CommandContext& context, const QString& table) {
    if (context.output.Times()) {
        context.output.Line(QStringLiteral("\"posted\":%1").arg(JsonString(table)));
    }
}

bool WaitForTableUpdate(CommandContext& context, const QString& name, TBaseClient& table,
                        const std::function<bool()>& applied) {
    return context.session.WaitUntil(context.deadline, [&] {
        bool refreshed = false;
        for (const CliSession::Refresh& refresh : context.session.TakeRefreshes()) {
            refreshed = refreshed || refresh.table == name;
        }
        if (!refreshed) {
            return false;
        }
        const auto guard = table.Guard();
        return applied();
    });
}
