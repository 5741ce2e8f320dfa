// The change journal on disk: an SQLite database in the working folder ("journal.db"), written by a
// thread of its own so that no operation waits for the disk. Operations are queued and run in order;
// Load hands the stored entries (newest last) to a callback on that thread. A file that is no
// journal database is set aside as "journal.db.damaged" and a new journal begins. At most
// kJournalKeep entries are kept: older ones are dropped when the journal is opened.
//
// Thread-safety: the public operations may be called from any one thread; the destructor writes
// what is still queued and stops the thread.
#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "journal/journal_entry.h"

struct sqlite3;

inline constexpr int kJournalKeep = 200'000;

class JournalStore {
  public:
    explicit JournalStore(const QString& path);
    ~JournalStore();
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;

    void Append(const JournalEntry& entry);
    void Update(int64_t key, JournalState state, int32_t n_abs, const QString& note);
    void Load(std::function<void(std::vector<JournalEntry>)> done);
    // Waits until everything queued so far is written (for tests and shutdown).
    void Flush();

  private:
    void Post(std::function<void()> job);
    void Run();
    void Open();
    bool Exec(const char* sql);
    std::vector<JournalEntry> ReadAll();

    QString path_;
    sqlite3* db_ = nullptr;
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool busy_ = false;
    bool closing_ = false;
    std::thread thread_;
};
