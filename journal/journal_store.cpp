#include "journal_store.h"

#include <sqlite3.h>

#include <QFile>

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS changes (key INTEGER PRIMARY KEY, at TEXT NOT NULL, tablename TEXT NOT NULL,"
    " n_abs INTEGER NOT NULL, action INTEGER NOT NULL, state INTEGER NOT NULL, note TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS change_fields (key INTEGER NOT NULL, pos INTEGER NOT NULL,"
    " col TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL, PRIMARY KEY (key, pos));";

// A prepared statement that finalizes itself.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (db == nullptr || sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK) {
            s_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return s_ != nullptr; }
    Statement& Bind(int i, int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Statement& Bind(int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(s_, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool Step() { return s_ != nullptr && sqlite3_step(s_) == SQLITE_ROW; }
    bool Done() { return s_ != nullptr && sqlite3_step(s_) == SQLITE_DONE; }
    void Reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    int64_t Integer(int i) const { return sqlite3_column_int64(s_, i); }
    QString Text(int i) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s_, i));
        return text != nullptr ? QString::fromUtf8(text, sqlite3_column_bytes(s_, i)) : QString();
    }

  private:
    sqlite3_stmt* s_ = nullptr;
};

JournalState StateOf(int64_t v) {
    return v >= 0 && v <= int64_t(JournalState::NotQueued) ? JournalState(v) : JournalState::Unconfirmed;
}

JournalAction ActionOf(int64_t v) {
    return v >= int64_t(JournalAction::Add) && v <= int64_t(JournalAction::Delete) ? JournalAction(v)
                                                                                   : JournalAction::Edit;
}

}  // namespace

JournalStore::JournalStore(const QString& path) : path_(path) {
    thread_ = std::thread([this] { Run(); });
    Post([this] { Open(); });
}

JournalStore::~JournalStore() {
    {
        const std::lock_guard guard(lock_);
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    sqlite3_close(db_);
}

void JournalStore::Post(std::function<void()> job) {
    {
        const std::lock_guard guard(lock_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void JournalStore::Run() {
    std::unique_lock guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        guard.unlock();
        job();
        guard.lock();
        busy_ = false;
        if (jobs_.empty()) {
            idle_.notify_all();
        }
    }
}

void JournalStore::Flush() {
    std::unique_lock guard(lock_);
    idle_.wait(guard, [this] { return jobs_.empty() && !busy_; });
}

bool JournalStore::Exec(const char* sql) {
    return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void JournalStore::Open() {
    const QByteArray name = QFile::encodeName(path_);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (sqlite3_open(name.constData(), &db_) == SQLITE_OK && Exec("PRAGMA journal_mode=WAL") &&
            Exec("PRAGMA synchronous=NORMAL") && Exec(kSchema)) {
            return;
        }
        sqlite3_close(db_);
        db_ = nullptr;
        // Not a journal of ours: keep it aside for a person to look at, and start afresh.
        QFile::remove(path_ + QStringLiteral(".damaged"));
        QFile::rename(path_, path_ + QStringLiteral(".damaged"));
        QFile::remove(path_ + QStringLiteral("-wal"));
        QFile::remove(path_ + QStringLiteral("-shm"));
    }
}

void JournalStore::Append(const JournalEntry& entry) {
    Post([this, entry] {
        Exec("BEGIN");
        Statement change(db_, "INSERT INTO changes VALUES (?,?,?,?,?,?,?)");
        change.Bind(1, entry.key)
            .Bind(2, entry.when.toString(Qt::ISODateWithMs))
            .Bind(3, entry.table)
            .Bind(4, entry.n_abs)
            .Bind(5, int64_t(entry.action))
            .Bind(6, int64_t(entry.state))
            .Bind(7, entry.note);
        change.Done();
        Statement field(db_, "INSERT INTO change_fields VALUES (?,?,?,?,?)");
        for (size_t i = 0; i < entry.fields.size(); ++i) {
            const JournalField& f = entry.fields[i];
            field.Bind(1, entry.key).Bind(2, int64_t(i)).Bind(3, f.column).Bind(4, f.before).Bind(5, f.after);
            field.Done();
            field.Reset();
        }
        Exec("COMMIT");
    });
}

void JournalStore::Update(int64_t key, JournalState state, int32_t n_abs, const QString& note) {
    Post([this, key, state, n_abs, note] {
        Statement s(db_, "UPDATE changes SET state = ?, n_abs = ?, note = ? WHERE key = ?");
        s.Bind(1, int64_t(state)).Bind(2, n_abs).Bind(3, note).Bind(4, key);
        s.Done();
    });
}

void JournalStore::Load(std::function<void(std::vector<JournalEntry>)> done) {
    Post([this, done = std::move(done)] { done(ReadAll()); });
}

std::vector<JournalEntry> JournalStore::ReadAll() {
    std::vector<JournalEntry> entries;
    Statement keep(db_, "SELECT key FROM changes ORDER BY key DESC LIMIT 1 OFFSET ?");
    keep.Bind(1, int64_t(kJournalKeep));
    if (keep.Step()) {
        const QByteArray cut = QByteArray::number(qlonglong(keep.Integer(0)));
        Exec(QByteArray("DELETE FROM changes WHERE key <= " + cut +
                        "; DELETE FROM change_fields WHERE key <= " + cut)
                 .constData());
    }
    Statement all(db_, "SELECT key, at, tablename, n_abs, action, state, note FROM changes ORDER BY key");
    while (all.Step()) {
        JournalEntry e;
        e.key = all.Integer(0);
        e.when = QDateTime::fromString(all.Text(1), Qt::ISODateWithMs);
        e.table = all.Text(2);
        e.n_abs = int32_t(all.Integer(3));
        e.action = ActionOf(all.Integer(4));
        e.state = StateOf(all.Integer(5));
        e.note = all.Text(6);
        entries.push_back(std::move(e));
    }
    Statement fields(db_, "SELECT key, col, before, after FROM change_fields ORDER BY key, pos");
    size_t at = 0;
    while (fields.Step()) {
        const int64_t key = fields.Integer(0);
        while (at < entries.size() && entries[at].key < key) {
            ++at;
        }
        if (at < entries.size() && entries[at].key == key) {
            entries[at].fields.push_back({fields.Text(1), fields.Text(2), fields.Text(3)});
        }
    }
    return entries;
}
