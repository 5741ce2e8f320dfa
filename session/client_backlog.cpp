// The operator's commands across sessions: what a dropped session keeps in the backlog "dd8", and
// the replay of the backlog once the next session has loaded its tables.
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "session/client_udp.h"

bool client_udp::KeepAcrossSessions(const QString& entry) {
    const QString c = CommandOf(entry);
    if (c == Cmd::PutFile) {
        return true;
    }
    if (c != Cmd::Database) {
        return false;
    }
    const QString command = GetJSONValue(entry, QStringLiteral("command"));
    return command == TableCmd::NetAddDataDatabase || command == TableCmd::NetEditDataDatabase ||
           command == TableCmd::NetDeleteDataDatabase;
}

void client_udp::DropQueuedCommands() {
    // The backlog entry being replayed is still in Back: it must not go in a second time.
    bool replayedSeen = !StartSoob;
    for (OchFIFOJSON* queue : {&Soob, &SoobFile}) {
        QString entry;
        while (queue->GetSoobD(entry)) {
            if (!replayedSeen && entry == SoobStr) {
                replayedSeen = true;
                continue;
            }
            if (KeepAcrossSessions(entry)) {
                Back.PutSoob(entry);
            }
        }
    }
}

void client_udp::HeadDone(OchFIFOJSON& queue) {
    QString head;
    if (!queue.GetSoobD(head)) {
        return;
    }
    // Replay starts only with both queues empty, so the entry replayed stays at the head of its queue
    // until it is done.
    if (StartSoob && &queue == &(SoobStrFile ? SoobFile : Soob) && head == SoobStr) {
        StartSoob = false;
        if (Back.Count() > 0) {
            Back.DeleteSoob();
        }
    }
}

void client_udp::BacklogStep(uint64_t now) {
    if (ElapsedMs(now, SendSoobTime) <= 100.0) {
        return;
    }
    SendSoobTime = now;
    if (Connected && DatabaseLoad && Back.Count() > 0 && !StartSoob && !Soob.IsSoob() && !SoobFile.IsSoob()) {
        if (!Back.GetSoob(SoobStr) || SoobStr.isEmpty()) {
            // An entry that cannot be read can never be sent.
            Back.DeleteSoob();
            return;
        }
        SoobStrFile = CommandOf(SoobStr) == Cmd::PutFile;
        StartSoob = true;
        (SoobStrFile ? SoobFile : Soob).PutSoob(SoobStr);
    }
}
