#include "cli_session.h"

#include <thread>

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "infra/json_text.h"
#include "infra/session_texts.h"
#include "session/client_udp.h"
#include "session/session_door.h"
#include "session/table_registration.h"

CliSession::CliSession(const QString& host, uint16_t port, Output& output) : output_(output) {
    RegisterConfigTables(Base_);
    client_ = OpenSession(Base_, host, port,
                          {[this](client_udp*, const QString& name) {
                               const std::lock_guard lock(refreshLock_);
                               refreshes_.push_back({name, NowMicros()});
                           },
                           {}});
}

CliSession::~CliSession() {
    // The client thread reports refreshes into members declared after it: it stops before they go.
    client_.reset();
}

int CliSession::LoginAndLoad(const QString& user, const QString& password, Clock::time_point deadline,
                             double timeoutSeconds) {
    RequestLogin(*client_, user, password);
    bool everConnected = false;
    const bool loaded = WaitUntil(deadline, [&] {
        if (!everConnected && client_->Connected && output_.Times()) {
            output_.Line(QStringLiteral("\"session\":\"registered\""));
        }
        everConnected = everConnected || client_->Connected;
        return client_->AD || client_->RegTooLong || Ready();
    });
    if (client_->RegTooLong) {
        Output::Error(QStringLiteral("the user name and password are too long to be sent to the server"));
        return kExitUsage;
    }
    if (client_->AD) {
        client_->Connect = false;
        Output::Error(QStringLiteral("access denied for user \"%1\"").arg(user));
        return kExitAccessDenied;
    }
    if (loaded) {
        return kExitDone;
    }
    if (StopRequested()) {
        Output::Error(QStringLiteral("stopped before the tables were loaded"));
        return kExitNotConfirmed;
    }
    if (!everConnected) {
        Output::Error(QStringLiteral("no session with %1 port %2 within %3 seconds")
                          .arg(client_->host.join(u','))
                          .arg(client_->port)
                          .arg(timeoutSeconds));
        return kExitNoSession;
    }
    Output::Error(QStringLiteral("the tables were not all loaded within %1 seconds").arg(timeoutSeconds));
    return kExitNotConfirmed;
}

bool CliSession::WaitUntil(Clock::time_point deadline, const std::function<bool()>& done) {
    for (;;) {
        PumpNotices();
        if (done()) {
            return true;
        }
        if (StopRequested() || Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int CliSession::NotConfirmed(const QString& message) {
    Output::Error(StopRequested() ? QStringLiteral("stopped by a signal before the operation was confirmed")
                                  : message);
    return kExitNotConfirmed;
}

TBaseClient::GuardType CliSession::LockLoaded(TBaseClient& table, Clock::time_point deadline) {
    TBaseClient::GuardType guard;
    WaitUntil(deadline, [&] {
        guard = table.Guard();
        if (table.FlagLoadData) {
            return true;
        }
        guard.unlock();
        return false;
    });
    return guard;
}

bool CliSession::Ready() const {
    return client_->Connected && client_->DatabaseLoad;
}

std::vector<CliSession::Refresh> CliSession::TakeRefreshes() {
    const std::lock_guard lock(refreshLock_);
    return std::exchange(refreshes_, {});
}

bool CliSession::PutCommand(const QString& text) {
    return client_->Soob.PutSoob(text);
}

bool CliSession::PutFile(const QString& text) {
    return client_->SoobFile.PutSoob(text);
}

void CliSession::PumpNotices() {
    QString notice;
    while (client_->ReadJSON.GetSoobD(notice)) {
        if (CommandOf(notice) == Cmd::TableLoad) {
            output_.Line(QStringLiteral("\"table\":%1,\"size\":%2,\"count\":%3")
                             .arg(JsonString(GetJSONValue(notice, QStringLiteral("name"))))
                             .arg(GetJSONValue(notice, QStringLiteral("size")).toLongLong())
                             .arg(GetJSONValue(notice, QStringLiteral("count")).toLongLong()));
        }
        if (CommandOf(notice) == Cmd::TableLoadError) {
            Output::Error(QStringLiteral("the file of table %1 could not be loaded; it is asked for again")
                              .arg(GetJSONValue(notice, QStringLiteral("name"))));
        }
        if (noticeHandler_) {
            noticeHandler_(notice);
        }
    }
}
