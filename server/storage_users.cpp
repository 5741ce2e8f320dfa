// The users: salted password digests, the configuration's users and the identifiers of names.
#include <QStringList>
#include <algorithm>

#include "storage.h"
#include "storage_sql.h"

namespace {

// Users written from a configuration file; the others belong to the database's administration.
const QString kConfigOrigin = QStringLiteral("config");

}  // namespace

void Storage::writeUser(SqlBatch& batch, const QString& name, const QString& password,
                        const QString& origin) {
    ++usersVersion_;
    const PasswordDigest d = MakePasswordDigest(password);
    batch.push_back({StorageSql::UpsertUser(),
                     {SqlValue::Text(name), SqlValue::Bytes(d.salt), SqlValue::Bytes(d.hash),
                      SqlValue::Int(d.iterations), SqlValue::Text(origin)},
                     {}});
    batch.push_back({StorageSql::InsertUserId(), {SqlValue::Text(name)}, {}});
}

bool Storage::setUser(const QString& name, const QString& password) {
    const bool own = !inBulk_;
    if (own && !lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    SqlBatch batch;
    writeUser(batch, name, password, {});
    logChange(batch, {}, int(StorageSql::ChangeKind::Users), 0, {});
    return endOwnOrBulkWrite(own, batch, before);
}

bool Storage::replaceUsers(const std::vector<std::pair<QString, QString>>& users) {
    ++usersVersion_;
    if (!lockAndCatchUp()) {
        return false;
    }
    const int64_t before = lastSeq_;
    bool ok = true;
    if (shared_) {
        QStringList configured;
        ok = db_->run(StorageSql::SelectUserNames(), {SqlValue::Text(kConfigOrigin)},
                      [&configured](const SqlRow& r) { configured << QString::fromUtf8(r.bytes(0)); });
        for (const QString& name : std::as_const(configured)) {
            const bool named =
                std::any_of(users.begin(), users.end(), [&name](const auto& u) { return u.first == name; });
            if (!named && ok) {
                ok = db_->run(StorageSql::DeleteUser(), {SqlValue::Text(name)});
                if (ok && log_) {
                    log_(QStringLiteral("user \"%1\" removed: no configuration names it").arg(name));
                }
            }
        }
    } else {
        ok = db_->run(StorageSql::DeleteAllUsers());
    }
    SqlBatch batch;
    for (const auto& [name, password] : users) {
        writeUser(batch, name, password, kConfigOrigin);
    }
    logChange(batch, {}, int(StorageSql::ChangeKind::Users), 0, {});
    return endWrite(ok, batch, before);
}

bool Storage::userDigest(const QString& name, PasswordDigest& out) {
    bool found = false;
    if (!db_->run(StorageSql::SelectUser(), {SqlValue::Text(name)}, [&](const SqlRow& r) {
            out.salt = r.bytes(0);
            out.hash = r.bytes(1);
            out.iterations = int(std::clamp<int64_t>(r.integer(2), 0, INT32_MAX));
            found = true;
        })) {
        failed();
        return false;
    }
    return found;
}

bool Storage::hasUsers() {
    int64_t count = 0;
    return db_->run(StorageSql::CountUsers(), {}, [&count](const SqlRow& r) { count = r.integer(0); }) &&
           count > 0;
}

int32_t Storage::userId(const QString& name) {
    int64_t id = 0;
    if (!db_->run(StorageSql::SelectUserId(), {SqlValue::Text(name)},
                  [&id](const SqlRow& r) { id = r.integer(0); })) {
        failed();
    }
    return id > 0 && id <= INT32_MAX ? int32_t(id) : 0;
}
