#include "postgres_database.h"

#include <libpq-fe.h>
#include <poll.h>

#include <QtEndian>
#include <chrono>
#include <cstring>

#include "postgres_row.h"

namespace {

constexpr int kBinary = 1;
// The advisory lock every writer takes; any number, the same for every server.
constexpr const char* kWriteLock = "SELECT pg_advisory_xact_lock(4673001)";
constexpr const char* kChannel = "mobcfg_changes";

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits until the socket is ready for `events`, at most until deadlineMs; false on time-out.
bool waitSocket(int fd, short events, int64_t deadlineMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int64_t left = std::max<int64_t>(deadlineMs - nowMs(), 0);
        const int ready = ::poll(&p, 1, int(left));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR || nowMs() > deadlineMs) {
            return false;
        }
    }
}

Oid typeOf(const SqlValue& v) {
    switch (v.type) {
        case SqlValue::Type::Integer:
            return PgType::Int8;
        case SqlValue::Type::Real:
            return PgType::Float8;
        case SqlValue::Type::Text:
            return PgType::Text;
        case SqlValue::Type::Bytes:
            return PgType::Bytea;
    }
    return PgType::Text;
}

// The parameters in binary: big-endian integers and doubles, texts and bytes as they are.
struct BinaryParams {
    explicit BinaryParams(const SqlParams& params) : values(params.size()), lengths(params.size()) {
        store.reserve(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            const SqlValue& p = params[i];
            if (p.type == SqlValue::Type::Integer || p.type == SqlValue::Type::Real) {
                quint64 bits;
                if (p.type == SqlValue::Type::Integer) {
                    bits = quint64(p.integer);
                } else {
                    std::memcpy(&bits, &p.real, sizeof bits);
                }
                QByteArray b(8, Qt::Uninitialized);
                qToBigEndian(bits, b.data());
                store.push_back(b);
            } else {
                store.push_back(p.bytes);
            }
            values[i] = store.back().constData();
            lengths[i] = int(store.back().size());
        }
        formats.assign(params.size(), kBinary);
    }
    std::vector<QByteArray> store;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

void ignoreNotice(void*, const char*) {}

}  // namespace

PostgresDatabase::~PostgresDatabase() {
    drop();
}

bool PostgresDatabase::IsUri(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"));
}

const SqlTypes& PostgresDatabase::types() const {
    static const SqlTypes kTypes{"BIGINT", "DOUBLE PRECISION", "BYTEA", "BIGINT"};
    return kTypes;
}

bool PostgresDatabase::open(const QString& uri) {
    uri_ = uri;
    lastAttemptMs_ = nowMs() - kRetryEveryMs;
    connectTimeoutMs_ = kFirstConnectTimeoutMs;
    const int64_t deadline = nowMs() + kFirstConnectTimeoutMs;
    bool ok = true;
    while (ok && !reconnect()) {
        ok = connecting_ && nowMs() <= deadline;
        const int fd = ok ? PQsocket(conn_) : -1;
        if (fd >= 0) {
            waitSocket(fd, connectEvents_, std::min(deadline, nowMs() + 100));
        }
    }
    connectTimeoutMs_ = kConnectTimeoutMs;
    if (!ok) {
        drop();
    }
    return ok;
}

void PostgresDatabase::drop() {
    if (conn_) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
    connecting_ = false;
    inTransaction_ = false;
    statements_.clear();
}

bool PostgresDatabase::fail(const QString& why) {
    error_ = why.trimmed();
    // A connection left inside a pipeline has answers nobody will read: it cannot be used again.
    if (conn_ && !connecting_ &&
        (PQstatus(conn_) == CONNECTION_BAD || PQpipelineStatus(conn_) != PQ_PIPELINE_OFF)) {
        drop();
    }
    return false;
}

bool PostgresDatabase::reconnect() {
    if (connected()) {
        return true;
    }
    const int64_t now = nowMs();
    if (!connecting_) {
        if (now - lastAttemptMs_ < kRetryEveryMs) {
            return false;
        }
        lastAttemptMs_ = now;
        drop();
        const QByteArray uri = uri_.toUtf8();
        const char* const keys[] = {"dbname", nullptr};
        const char* const values[] = {uri.constData(), nullptr};
        conn_ = PQconnectStartParams(keys, values, 1);
        if (!conn_ || PQstatus(conn_) == CONNECTION_BAD) {
            error_ =
                conn_ ? QString::fromUtf8(PQerrorMessage(conn_)).trimmed() : QStringLiteral("out of memory");
            drop();
            return false;
        }
        PQsetNoticeProcessor(conn_, ignoreNotice, nullptr);
        connecting_ = true;
        connectStartedMs_ = now;
    }
    for (;;) {
        const int fd = PQsocket(conn_);
        const PostgresPollingStatusType status = PQconnectPoll(conn_);
        if (status == PGRES_POLLING_OK) {
            connecting_ = false;
            if (!configure()) {
                drop();
                return false;
            }
            return true;
        }
        if (status == PGRES_POLLING_FAILED) {
            error_ = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
            drop();
            return false;
        }
        // Go on only while the socket is ready; otherwise come back at the next step.
        connectEvents_ = status == PGRES_POLLING_WRITING ? POLLOUT : POLLIN;
        if (fd < 0 || !waitSocket(fd, connectEvents_, nowMs())) {
            if (nowMs() - connectStartedMs_ > connectTimeoutMs_) {
                error_ = QStringLiteral("no connection to the database within %1 ms").arg(connectTimeoutMs_);
                drop();
            }
            return false;
        }
    }
}

bool PostgresDatabase::configure() {
    if (PQsetClientEncoding(conn_, "UTF8") != 0) {
        return fail(QString::fromUtf8(PQerrorMessage(conn_)));
    }
    if (PQsetnonblocking(conn_, 1) != 0) {
        return fail(QString::fromUtf8(PQerrorMessage(conn_)));
    }
    return run(QByteArray("LISTEN ") + kChannel);
}

bool PostgresDatabase::awaitResult(int64_t deadlineMs) {
    for (;;) {
        const int flushed = PQflush(conn_);
        if (flushed < 0) {
            return fail(QString::fromUtf8(PQerrorMessage(conn_)));
        }
        if (flushed == 0 && !PQisBusy(conn_)) {
            return true;
        }
        const short events = flushed == 1 ? short(POLLIN | POLLOUT) : short(POLLIN);
        if (!waitSocket(PQsocket(conn_), events, deadlineMs)) {
            const QString why =
                QStringLiteral("no answer from the database within %1 ms").arg(kQueryTimeoutMs);
            drop();
            error_ = why;
            return false;
        }
        if (PQconsumeInput(conn_) == 0) {
            return fail(QString::fromUtf8(PQerrorMessage(conn_)));
        }
    }
}

QByteArray PostgresDatabase::statementKey(const QByteArray& sql, const SqlParams& params) {
    QByteArray key = sql;
    key.append('\0');
    for (const SqlValue& p : params) {
        key.append(char('0' + int(p.type)));
    }
    return key;
}

bool PostgresDatabase::run(const QByteArray& sql, const SqlParams& params, const EachRow& eachRow) {
    return runBatch({SqlStatement{sql, params, eachRow}});
}

bool PostgresDatabase::runBatch(const SqlBatch& batch) {
    if (!connected()) {
        error_ = error_.isEmpty() ? QStringLiteral("not connected to the database") : error_;
        return false;
    }
    if (batch.empty()) {
        return true;
    }
    const int64_t deadline = nowMs() + kQueryTimeoutMs;
    if (PQenterPipelineMode(conn_) != 1) {
        return fail(QString::fromUtf8(PQerrorMessage(conn_)));
    }
    // What was sent, in order: a statement to run, or one to prepare (its key) first.
    struct Sent {
        const SqlStatement* statement = nullptr;
        QByteArray prepareKey;
    };
    std::vector<Sent> sent;
    QHash<QByteArray, QByteArray> preparing;
    for (const SqlStatement& st : batch) {
        const QByteArray key = statementKey(st.sql, st.params);
        QByteArray name = statements_.value(key, preparing.value(key));
        if (name.isEmpty()) {
            name = "s" + QByteArray::number(statements_.size() + preparing.size() + 1);
            std::vector<Oid> types(st.params.size());
            for (size_t i = 0; i < st.params.size(); ++i) {
                types[i] = typeOf(st.params[i]);
            }
            if (!PQsendPrepare(conn_, name.constData(), st.sql.constData(), int(st.params.size()),
                               types.data())) {
                return fail(QString::fromUtf8(PQerrorMessage(conn_)));
            }
            preparing.insert(key, name);
            sent.push_back({nullptr, key});
        }
        const BinaryParams binary(st.params);
        if (!PQsendQueryPrepared(conn_, name.constData(), int(st.params.size()), binary.values.data(),
                                 binary.lengths.data(), binary.formats.data(), kBinary)) {
            return fail(QString::fromUtf8(PQerrorMessage(conn_)));
        }
        sent.push_back({&st, {}});
    }
    if (PQpipelineSync(conn_) != 1) {
        return fail(QString::fromUtf8(PQerrorMessage(conn_)));
    }
    // Every result is taken, also after a failure: the statements after it come back aborted.
    bool ok = true;
    QString why;
    for (const Sent& item : sent) {
        for (;;) {
            if (!awaitResult(deadline)) {
                return false;
            }
            PGresult* r = PQgetResult(conn_);
            if (!r) {
                break;
            }
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_TUPLES_OK && item.statement && item.statement->eachRow && ok) {
                PostgresRow row(r);
                const int n = PQntuples(r);
                for (int i = 0; i < n; ++i) {
                    row.at(i);
                    item.statement->eachRow(row);
                }
            } else if (status == PGRES_COMMAND_OK && !item.prepareKey.isEmpty()) {
                statements_.insert(item.prepareKey, preparing.value(item.prepareKey));
            } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
                if (ok && status != PGRES_PIPELINE_ABORTED) {
                    why = QString::fromUtf8(PQresultErrorMessage(r));
                }
                ok = false;
            }
            PQclear(r);
        }
    }
    if (!awaitResult(deadline)) {
        return false;
    }
    PGresult* sync = PQgetResult(conn_);
    const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (!synced || PQexitPipelineMode(conn_) != 1) {
        return fail(QString::fromUtf8(PQerrorMessage(conn_)));
    }
    return ok || fail(why);
}

bool PostgresDatabase::beginWrite(const SqlBatch& then) {
    return lockedBatch(then, false);
}

bool PostgresDatabase::commit(const SqlBatch& first) {
    SqlBatch batch = first;
    return commitBatch(batch);
}

bool PostgresDatabase::writeAtOnce(const SqlBatch& batch) {
    return lockedBatch(batch, true);
}

bool PostgresDatabase::lockedBatch(const SqlBatch& batch, bool andCommit) {
    SqlBatch all{{"BEGIN", {}, {}}, {kWriteLock, {}, {}}};
    all.insert(all.end(), batch.begin(), batch.end());
    inTransaction_ = true;
    if (!(andCommit ? commitBatch(all) : runBatch(all))) {
        rollback();
        return false;
    }
    return true;
}

bool PostgresDatabase::commitBatch(SqlBatch& batch) {
    if (announced_) {
        batch.push_back({"SELECT pg_notify($1, $2)",
                         {SqlValue::Text(QByteArray(kChannel)), SqlValue::Text(notice_)},
                         {}});
    }
    batch.push_back({"COMMIT", {}, {}});
    if (!runBatch(batch)) {
        return false;
    }
    inTransaction_ = false;
    announced_ = false;
    notice_.clear();
    return true;
}

void PostgresDatabase::rollback() {
    announced_ = false;
    notice_.clear();
    if (inTransaction_ && connected()) {
        const QString why = error_;
        run("ROLLBACK");
        error_ = why;
    }
    inTransaction_ = false;
}

void PostgresDatabase::announce(const QByteArray& notice) {
    announced_ = true;
    notice_ = notice;
}

int PostgresDatabase::announcementSocket() const {
    return connected() ? PQsocket(conn_) : -1;
}

bool PostgresDatabase::takeAnnouncements(std::vector<QByteArray>& notices) {
    if (!connected()) {
        return false;
    }
    if (PQconsumeInput(conn_) == 0) {
        fail(QString::fromUtf8(PQerrorMessage(conn_)));
        return false;
    }
    if (PQstatus(conn_) == CONNECTION_BAD) {
        fail(QString::fromUtf8(PQerrorMessage(conn_)));
        return false;
    }
    // A server hears its own announcements too; they tell it nothing new.
    const int own = PQbackendPID(conn_);
    bool any = false;
    while (PGnotify* n = PQnotifies(conn_)) {
        if (n->be_pid != own) {
            any = true;
            notices.emplace_back(n->extra);
        }
        PQfreemem(n);
    }
    return any;
}
