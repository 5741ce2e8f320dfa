#include "journal_entry.h"

QString JournalActionText(JournalAction action) {
    switch (action) {
        case JournalAction::Add:
            return QStringLiteral("Добавление");
        case JournalAction::Edit:
            return QStringLiteral("Изменение");
        case JournalAction::Delete:
            return QStringLiteral("Удаление");
    }
    return {};
}

QString JournalStateText(JournalState state) {
    switch (state) {
        case JournalState::Waiting:
            return QStringLiteral("ожидает отправки");
        case JournalState::Sent:
            return QStringLiteral("отправлено");
        case JournalState::Confirmed:
            return QStringLiteral("подтверждено сервером");
        case JournalState::Refused:
            return QStringLiteral("отклонено сервером");
        case JournalState::Unconfirmed:
            return QStringLiteral("нет подтверждения");
        case JournalState::NotQueued:
            return QStringLiteral("не отправлено: очередь переполнена");
    }
    return {};
}
