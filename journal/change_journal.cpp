#include "change_journal.h"

#include <QDateTime>
#include <algorithm>

#include "infra/json_text.h"
#include "journal/command_entry.h"
#include "tables/base_client.h"

ChangeJournal::ChangeJournal(const QString& path) : store_(path) {}

void ChangeJournal::StartLoad(std::function<void(std::vector<JournalEntry>)> deliver) {
    store_.Load(std::move(deliver));
}

void ChangeJournal::Loaded(std::vector<JournalEntry> stored) {
    for (JournalEntry& entry : stored) {
        if (entry.state == JournalState::Sent) {
            entry.state = JournalState::Unconfirmed;
            store_.Update(entry.key, entry.state, entry.n_abs, entry.note);
        }
    }
    std::erase_if(stored, [this](const JournalEntry& e) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&e](const JournalEntry& mine) { return mine.key == e.key; });
    });
    entries_.insert(entries_.begin(), std::make_move_iterator(stored.begin()),
                    std::make_move_iterator(stored.end()));
    Changed();
}

bool ChangeJournal::Open(const JournalEntry& entry) const {
    return entry.state == JournalState::Waiting || entry.state == JournalState::Sent;
}

void ChangeJournal::Changed() {
    if (onChanged) {
        onChanged();
    }
}

void ChangeJournal::SetState(JournalEntry& entry, JournalState state, int32_t n_abs, const QString& note) {
    entry.state = state;
    entry.n_abs = n_abs;
    entry.note = note;
    store_.Update(entry.key, state, n_abs, note);
}

void ChangeJournal::CommandQueued(TBaseClient& table, const QString& command, bool queued) {
    std::optional<JournalEntry> entry = EntryOfCommand(table, command);
    if (!entry) {
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    entry->key = std::max<int64_t>(now.toMSecsSinceEpoch() * 1000, lastKey_ + 1);
    lastKey_ = entry->key;
    entry->when = now;
    entry->state = queued ? JournalState::Waiting : JournalState::NotQueued;
    store_.Append(*entry);
    entries_.push_back(std::move(*entry));
    Changed();
}

void ChangeJournal::AllDelivered() {
    bool any = false;
    for (JournalEntry& entry : entries_) {
        if (entry.state == JournalState::Waiting) {
            SetState(entry, JournalState::Sent, entry.n_abs, entry.note);
            any = true;
        }
    }
    if (any) {
        Changed();
    }
}

void ChangeJournal::Notice(const QString& notice) {
    const QString command = GetJSONValue(notice, QStringLiteral("$c$"));
    const QString table = GetJSONValue(notice, QStringLiteral("nametable"));
    auto openOf = [&](const std::function<bool(const JournalEntry&)>& match) -> JournalEntry* {
        for (JournalEntry& e : entries_) {
            if (Open(e) && e.table == table && match(e)) {
                return &e;
            }
        }
        return nullptr;
    };
    if (command == QLatin1StringView("netyesadddatadatabase")) {
        const int32_t n_abs = GetJSONValue(notice, QStringLiteral("n_abs")).toInt();
        JournalEntry* e = openOf(
            [n_abs](const JournalEntry& x) { return x.action == JournalAction::Edit && x.n_abs == n_abs; });
        if (e == nullptr) {
            e = openOf([](const JournalEntry& x) { return x.action == JournalAction::Add; });
        }
        if (e != nullptr) {
            SetState(*e, JournalState::Confirmed, n_abs, {});
            Changed();
        }
    } else if (command == QLatin1StringView("neterrordatadatabase")) {
        if (JournalEntry* e = openOf([](const JournalEntry&) { return true; })) {
            SetState(*e, JournalState::Refused, e->n_abs, GetJSONValue(notice, QStringLiteral("error")));
            Changed();
        }
    }
}

void ChangeJournal::TableChanged(TBaseClient& table) {
    bool any = false;
    const auto guard = table.Guard();
    for (JournalEntry& e : entries_) {
        if (!Open(e) || e.table != table.NameTableS || e.action == JournalAction::Add) {
            continue;
        }
        bool settled = true;
        if (e.action == JournalAction::Delete) {
            table.GetFieldInAbs(QStringLiteral("n_abs"), e.n_abs);
            settled = table.RecNoTemp <= 0;
        } else {
            for (const JournalField& f : e.fields) {
                FieldGFB* column = table.GetFieldInAbs(f.column, e.n_abs);
                settled =
                    settled && column != nullptr && table.RecNoTemp > 0 && column->AsString() == f.after;
            }
        }
        if (settled) {
            SetState(e, JournalState::Confirmed, e.n_abs, {});
            any = true;
        }
    }
    if (any) {
        Changed();
    }
}
