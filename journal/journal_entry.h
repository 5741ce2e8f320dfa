// One entry of the operator's change journal: an addition, change or deletion the operator made,
// when, in which table and record, which fields from what to what, and how far it got.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

enum class JournalAction : int { Add = 1, Edit = 2, Delete = 3 };

// Waiting: queued, not yet taken by the server (kept across a lost link); Sent: taken by the
// server; Confirmed: the server stored it; Refused: the server said no; Unconfirmed: taken, but the
// program ended before the server's answer could come; NotQueued: the session's queue was full and
// the command was never sent.
enum class JournalState : int {
    Waiting = 0,
    Sent = 1,
    Confirmed = 2,
    Refused = 3,
    Unconfirmed = 4,
    NotQueued = 5
};

struct JournalField {
    QString column;
    QString before;
    QString after;
    bool operator==(const JournalField&) const = default;
};

struct JournalEntry {
    int64_t key = 0;  // unique, growing with time: microseconds since the epoch at creation
    QDateTime when;
    QString table;
    int32_t n_abs = 0;  // 0 for an addition the server has not confirmed yet
    JournalAction action = JournalAction::Add;
    std::vector<JournalField> fields;
    JournalState state = JournalState::Waiting;
    QString note;  // the server's reason for a refusal
};

QString JournalActionText(JournalAction action);
QString JournalStateText(JournalState state);
