// Bounded first-in, first-out ring queues for handing messages between threads: OchFIFO holds
// byte arrays, OchFIFOJSON strings. A full queue refuses; it never overwrites. Every operation
// except SetSizeOch and SetWakeUp runs under the queue's own lock, so any number of producers and one
// consumer may use a queue at once. SetSizeOch and SetWakeUp are called by the owner before sharing;
// resizing a queue that holds messages keeps the oldest that fit, in order.
//
// OchFIFO keeps the storage of each slot: a put copies the bytes into the slot, and GetSoobD copies
// them out into the taker's array, so a producer and a consumer that reuse their arrays hand small
// messages over without allocating. A slot that grew past kKeepBytes gives its storage away instead,
// so a burst of large messages is not held on to.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "infra/wake_up.h"

class OchFIFO {
  public:
    // Slots keep storage up to this size between messages.
    static constexpr qsizetype kKeepBytes = 4096;

    void SetSizeOch(int32_t Value);
    // Every accepted put signals `wake` (null: nobody).
    void SetWakeUp(TWakeUp* wake) { wake_ = wake; }
    bool PutSoob(const char* soob, int32_t size);
    bool PutSoob(const QByteArray& soob) { return PutSoob(soob.constData(), int32_t(soob.size())); }
    // True when the front message has at least one byte (a zero-length message gives false).
    bool GetSoob(QByteArray& ma);
    // Takes the front message into ma, reusing ma's storage when it is large enough and not shared.
    bool GetSoobD(QByteArray& ma);
    void DeleteSoob();
    bool IsSoob();
    int32_t CountSoob();
    // Up to Count front messages (at most 255) as one batch (infra/message_batch.h). The queue is
    // unchanged.
    bool GetSoob10(QByteArray& ma, int32_t Count);

  private:
    std::vector<QByteArray> FSendBuf;
    int32_t BeginOc = 0;
    int32_t EndOc = 0;
    bool Full = false;
    int32_t FSize = 0;
    TWakeUp* wake_ = nullptr;
    std::mutex section6;
};

class OchFIFOJSON {
  public:
    void SetSizeOch(int32_t Value);
    // Every accepted put signals `wake` (null: nobody).
    void SetWakeUp(TWakeUp* wake) { wake_ = wake; }
    // An empty string is refused.
    bool PutSoob(const QString& soob);
    bool GetSoob(QString& ma);
    bool GetSoobD(QString& ma);
    void DeleteSoob();
    bool IsSoob();
    int32_t CountSoob();
    // How many queued messages satisfy `match` (run under the queue's lock: keep it short).
    int32_t CountIf(const std::function<bool(const QString&)>& match);
    // The front message followed directly by up to Count - 1 more; returns how many were taken.
    int32_t GetSoobCount(QString& ma, int32_t Count);

  private:
    std::vector<QString> FSendBuf;
    int32_t BeginOc = 0;
    int32_t EndOc = 0;
    bool Full = false;
    int32_t FSize = 0;
    TWakeUp* wake_ = nullptr;
    std::mutex section6;
};
