// The journal entry of an edit command a table hands to the session ("netadddatadatabase",
// "neteditdatadatabase", "netdeletedatadatabase"): the fields it sends as their new values, with
// the values the replica still holds for the record as the old ones (the replica changes only when
// the server's update comes back). Called while the table's lock is held, as Post and
// DeleteRecordCurrent hand their command over.
#pragma once

#include <QString>
#include <optional>

#include "journal/journal_entry.h"

class TBaseClient;

// Nothing for a text that is no edit command. The entry has no key or time yet.
std::optional<JournalEntry> EntryOfCommand(TBaseClient& table, const QString& command);
