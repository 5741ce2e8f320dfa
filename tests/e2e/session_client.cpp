#include "session_client.h"

#include <QDir>
#include <QUuid>

#include "infra/json_text.h"
#include "tables/base_client.h"
#include "tables/field.h"

SessionClient::SessionClient(const QString& dir, const QString& hosts, uint16_t port, const QString& user,
                             const QString& password) {
    QDir().mkpath(dir);
    QDir::setCurrent(dir);
    for (const QString& name : kSixTables) {
        AddTable(base_, name, QString(), QString(), true, false);
    }
    c = client_udp::Create(QUuid::createUuid().toString(QUuid::WithoutBraces), hosts, port);
    c->SetBases(&base_);
    c->username.Set(user);
    c->password.Set(password);
    c->ConnectTime = 0;
    c->Connect = true;
}

bool SessionClient::Loaded(int seconds) {
    return WaitFor([&] { return c->Connected && c->DatabaseLoad; }, seconds);
}

TBaseClient* SessionClient::Table(const char* name) {
    return base_.Find(QString::fromLatin1(name));
}

int32_t SessionClient::Count(const char* table) {
    auto guard = Table(table)->Guard();
    return Table(table)->CountRecordFilter;
}

QString SessionClient::Text(const char* table, const char* column, int32_t nAbs) {
    TBaseClient* t = Table(table);
    auto guard = t->Guard();
    for (int32_t pos = 1; pos <= t->CountRecordFilter; ++pos) {
        if (t->GetFieldNumber(1, pos)->AsInteger() == nAbs) {
            return t->GetField(QString::fromLatin1(column), pos)->AsString();
        }
    }
    return QStringLiteral("<missing>");
}

void SessionClient::Edit(const char* table, int32_t nAbs, const char* column, const QString& value) {
    TBaseClient* t = Table(table);
    auto guard = t->Guard();
    for (int32_t pos = 1; pos <= t->CountRecordFilter; ++pos) {
        if (t->GetFieldNumber(1, pos)->AsInteger() == nAbs) {
            t->SetRecordIndex(pos);
            t->Edit();
            t->GetField(QString::fromLatin1(column), 0)->SetAsString(value);
            t->Post();
            return;
        }
    }
    ADD_FAILURE() << "no record " << nAbs << " in " << table;
}

void SessionClient::Add(const char* table, const char* column, const QString& value) {
    TBaseClient* t = Table(table);
    auto guard = t->Guard();
    t->Add();
    t->GetField(QString::fromLatin1(column), 0)->SetAsString(value);
    t->Post();
}

bool SessionClient::Notice(const QString& part, int seconds) {
    return WaitFor(
        [&] {
            QString m;
            while (c->ReadJSON.GetSoobD(m)) {
                notices_ << m;
            }
            return notices_.join(u'\n').contains(part);
        },
        seconds);
}

QStringList SessionClient::Confirmed(const char* table) const {
    QStringList ids;
    for (const QString& m : notices_) {
        if (m.contains(QStringLiteral("netyesadddatadatabase")) &&
            GetJSONValue(m, QStringLiteral("nametable")) == QLatin1String(table)) {
            ids << GetJSONValue(m, QStringLiteral("n_abs"));
        }
    }
    return ids;
}
