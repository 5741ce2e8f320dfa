// watch [--seconds S]: after loading, print every notice of the session client and every record
// that appeared, changed or disappeared in a table, until S seconds have passed or the process is
// asked to stop (SIGINT, SIGTERM).
#include <QHash>
#include <cmath>

#include "cli/cli_session.h"
#include "cli/command.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/record_json.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"

namespace {

using Snapshot = QHash<int32_t, QString>;  // n_abs -> record pairs

// Expects the table's guard to be held.
Snapshot TakeSnapshot(TBaseClient& table) {
    Snapshot snapshot;
    const int32_t count = table.Count();
    snapshot.reserve(count);
    for (int32_t pos = 1; pos <= count; ++pos) {
        const QString pairs = RecordPairsAt(table, pos);
        snapshot.insert(table.GetFieldCurrentAsInteger(QStringLiteral("n_abs")), pairs);
    }
    return snapshot;
}

class WatchCommand final : public Command {
  public:
    QString Parse(const QStringList& words) override {
        if (words.isEmpty()) {
            return {};
        }
        if (words.size() == 2 && words[0] == QStringLiteral("--seconds")) {
            bool ok = false;
            seconds_ = words[1].toDouble(&ok);
            if (ok && std::isfinite(seconds_) && seconds_ > 0) {
                return {};
            }
        }
        return QStringLiteral("watch takes only --seconds S, with S above 0");
    }

    int Run(CommandContext& context) override {
        TBaseC& Base = context.session.Base();
        for (int32_t i = 0; i < Base.Count(); ++i) {
            const auto guard = context.session.LockLoaded(*Base[i], context.deadline);
            if (!guard.owns_lock()) {
                return context.NotLoadedAgain(Base[i]->NameTableS);
            }
            snapshots_.insert(Base[i]->NameTableS, TakeSnapshot(*Base[i]));
        }
        Output& output = context.output;
        context.session.SetNoticeHandler([&output](const QString& notice) {
            output.Line(QStringLiteral("\"notice\":%1,\"text\":%2")
                            .arg(JsonString(CommandOf(notice)), JsonString(notice)));
        });
        const Clock::time_point end = seconds_ > 0
                                          ? Clock::now() + std::chrono::milliseconds(int64_t(seconds_ * 1000))
                                          : Clock::time_point::max();
        context.session.WaitUntil(end, [&] {
            for (const CliSession::Refresh& refresh : context.session.TakeRefreshes()) {
                Report(context, refresh);
            }
            return false;
        });
        return kExitDone;
    }

  private:
    void Report(CommandContext& context, const CliSession::Refresh& refresh) {
        TBaseClient* table = context.session.Base().Find(refresh.table);
        if (table == nullptr) {
            return;
        }
        // A table being reloaded is reported once it is loaded again: its refresh comes then.
        const auto guard = table->Guard();
        if (!table->FlagLoadData) {
            return;
        }
        Snapshot now = TakeSnapshot(*table);
        Snapshot& before = snapshots_[refresh.table];
        const QString name = JsonString(refresh.table);
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            const auto old = before.constFind(it.key());
            if (old == before.cend() || old.value() != it.value()) {
                context.output.Line(QStringLiteral("\"table\":%1,\"record\":{%2}").arg(name, it.value()),
                                    refresh.atMicros);
            }
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!now.contains(it.key())) {
                context.output.Line(QStringLiteral("\"table\":%1,\"deleted\":%2").arg(name).arg(it.key()),
                                    refresh.atMicros);
            }
        }
        before = std::move(now);
    }

    double seconds_ = 0;
    QHash<QString, Snapshot> snapshots_;
};

}  // namespace

std::unique_ptr<Command> MakeWatchCommand() {
    return std::make_unique<WatchCommand>();
}
