// The operator's change journal: every addition, change and deletion a table hands to the session,
// with its fields from what to what, followed until the server has confirmed or refused it, kept on
// disk (journal_store.h) and listed oldest first.
//
// How an entry moves on: it is Waiting when queued (NotQueued when the session's queue refused it);
// Sent once nothing the operator issued waits to be sent any more (AllDelivered); Confirmed by the
// server's "netyesadddatadatabase" (an addition takes the oldest open addition of its table, a change
// the open change of that record), or when the replica shows a change's new values or a deletion's
// record gone (TableChanged); Refused by "neterrordatadatabase" (the oldest open entry of its table).
// Entries of an earlier run that were sent but never settled become Unconfirmed when loaded: their
// answer went to a session that no longer exists. Waiting ones stay open: the session keeps their
// commands across runs and sends them after the next login.
//
// Thread-safety: one thread (the user interface's); the store writes on its own thread.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "journal/journal_entry.h"
#include "journal/journal_store.h"

class TBaseClient;

class ChangeJournal {
  public:
    explicit ChangeJournal(const QString& path);

    // Reads the stored entries; `deliver` gets them on the store's thread and must hand them to the
    // journal's own thread, which calls Loaded.
    void StartLoad(std::function<void(std::vector<JournalEntry>)> deliver);
    void Loaded(std::vector<JournalEntry> stored);

    void CommandQueued(TBaseClient& table, const QString& command, bool queued);
    void AllDelivered();
    void Notice(const QString& notice);
    void TableChanged(TBaseClient& table);

    // Oldest first.
    const std::vector<JournalEntry>& Entries() const { return entries_; }
    // Runs after entries were added or changed.
    std::function<void()> onChanged;

    // Waits until the store has written everything (tests, shutdown).
    void Flush() { store_.Flush(); }

  private:
    void SetState(JournalEntry& entry, JournalState state, int32_t n_abs, const QString& note);
    bool Open(const JournalEntry& entry) const;
    void Changed();

    JournalStore store_;
    std::vector<JournalEntry> entries_;
    int64_t lastKey_ = 0;
};
