#include "command_entry.h"

#include "exchange/column_captions.h"
#include "infra/json_text.h"
#include "tables/base_client.h"

std::optional<JournalEntry> EntryOfCommand(TBaseClient& table, const QString& command) {
    if (GetJSONValue(command, QStringLiteral("$c$")) != QLatin1StringView("database")) {
        return std::nullopt;
    }
    const QString kind = GetJSONValue(command, QStringLiteral("command"));
    JournalEntry entry;
    if (kind == QLatin1StringView("netadddatadatabase")) {
        entry.action = JournalAction::Add;
    } else if (kind == QLatin1StringView("neteditdatadatabase")) {
        entry.action = JournalAction::Edit;
    } else if (kind == QLatin1StringView("netdeletedatadatabase")) {
        entry.action = JournalAction::Delete;
    } else {
        return std::nullopt;
    }
    entry.table = table.NameTableS;
    if (entry.action != JournalAction::Add) {
        entry.n_abs = GetJSONValue(command, QStringLiteral("n_abs")).toInt();
    }
    const auto guard = table.Guard();
    QString fields = GetJSONValue(command, QStringLiteral("fields"));
    QString name;
    QString value;
    while (!fields.isEmpty()) {
        const bool taken = GetJSONPair(fields, name, value);
        if (name.isEmpty()) {
            break;
        }
        if (!taken) {
            continue;
        }
        JournalField field{name, {}, value};
        if (entry.action == JournalAction::Edit) {
            if (FieldGFB* column = table.GetFieldInAbs(name, entry.n_abs)) {
                field.before = column->AsString();
            }
        }
        entry.fields.push_back(std::move(field));
    }
    // A deletion keeps what the record held, so that the journal shows what went.
    if (entry.action == JournalAction::Delete) {
        for (const auto& column : table.Fields) {
            if (column->name.isEmpty() || !FieldHasStorage(column->TypeField) ||
                ServerKeptColumn(column->name)) {
                continue;
            }
            if (FieldGFB* found = table.GetFieldInAbs(column->name, entry.n_abs);
                found != nullptr && table.RecNoTemp > 0) {
                entry.fields.push_back({column->name, found->AsString(), {}});
            }
        }
    }
    return entry;
}
