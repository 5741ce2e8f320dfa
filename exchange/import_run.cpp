#include "import_run.h"

#include <algorithm>

#include "infra/json_text.h"
#include "tables/base_client.h"

ImportRun::ImportRun(TBaseClient& table, const std::vector<ImportLine>& lines, Clock::duration timeout)
    : table_(table), timeout_(timeout) {
    for (const ImportLine& line : lines) {
        if (line.Valid()) {
            lines_.push_back(line);
            results_.push_back({line.line, State::Waiting, 0, {}});
        }
    }
    finished_ = lines_.empty();
}

bool ImportRun::Step(Clock::time_point now) {
    if (finished_) {
        return false;
    }
    if (inFlight_) {
        if (now - sentAt_ >= timeout_) {
            Settle(State::Unconfirmed, 0, {});
            End();
        }
        return !finished_;
    }
    if (stopping_ || next_ >= lines_.size()) {
        End();
        return false;
    }
    const auto guard = table_.Guard();
    // The operator is adding or editing a record of this table: the run waits, it does not take over.
    if (table_.RecordNE) {
        return true;
    }
    Send(next_);
    sentAt_ = now;
    return true;
}

void ImportRun::Send(size_t index) {
    table_.Add();
    for (const auto& [name, value] : lines_[index].values) {
        if (FieldGFB* column = table_.FindColumn(name, true)) {
            WriteCell(*column, value);
        }
    }
    inFlight_ = true;
    results_[index].state = State::Sent;
    table_.Post();
}

bool ImportRun::TakeNotice(const QString& notice) {
    if (!inFlight_ || GetJSONValue(notice, QStringLiteral("nametable")) != table_.NameTableS) {
        return false;
    }
    const QString command = GetJSONValue(notice, QStringLiteral("$c$"));
    if (command == QLatin1StringView("netyesadddatadatabase")) {
        bool ok = false;
        const int32_t n_abs = GetJSONValue(notice, QStringLiteral("n_abs")).toInt(&ok);
        Settle(State::Confirmed, ok ? n_abs : 0, {});
        return true;
    }
    if (command == QLatin1StringView("neterrordatadatabase")) {
        Settle(State::Refused, 0, GetJSONValue(notice, QStringLiteral("error")));
        return true;
    }
    return false;
}

void ImportRun::Settle(State state, int32_t n_abs, const QString& note) {
    Result& result = results_[next_];
    result.state = state;
    result.n_abs = n_abs;
    result.note = note;
    inFlight_ = false;
    ++next_;
}

void ImportRun::Stop() {
    stopping_ = true;
    if (!inFlight_) {
        End();
    }
}

void ImportRun::End() {
    if (inFlight_) {
        return;
    }
    for (Result& result : results_) {
        if (result.state == State::Waiting) {
            result.state = State::NotSent;
        }
    }
    finished_ = true;
}

int ImportRun::Count(State state) const {
    return int(std::count_if(results_.begin(), results_.end(),
                             [state](const Result& r) { return r.state == state; }));
}

int ImportRun::Settled() const {
    return int(results_.size()) - Count(State::Waiting) - Count(State::Sent);
}

QString ImportStateText(ImportRun::State state) {
    switch (state) {
        case ImportRun::State::Waiting:
            return QStringLiteral("ожидает");
        case ImportRun::State::Sent:
            return QStringLiteral("отправлена");
        case ImportRun::State::Confirmed:
            return QStringLiteral("подтверждена сервером");
        case ImportRun::State::Refused:
            return QStringLiteral("отклонена сервером");
        case ImportRun::State::Unconfirmed:
            return QStringLiteral("не подтверждена сервером");
        case ImportRun::State::NotSent:
            return QStringLiteral("не отправлена");
    }
    return {};
}
