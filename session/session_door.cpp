#include "session/session_door.h"

#include "session/application_id.h"

void WireSession(client_udp& client, TBaseC& tables, SessionHandlers handlers) {
    client.SetBases(&tables);
    client.SetOnRefreshDatabase(std::move(handlers.refreshed));
    client.SetOnCommandQueued(std::move(handlers.commandQueued));
}

ThreadPtr<client_udp> OpenSession(TBaseC& tables, const QString& host, uint16_t port,
                                  SessionHandlers handlers) {
    ThreadPtr<client_udp> client = client_udp::Create(kApplicationId, host, port);
    WireSession(*client, tables, std::move(handlers));
    return client;
}

void RequestLogin(client_udp& client, const QString& user, const QString& password) {
    client.username.Set(user);
    client.password.Set(password);
    client.ConnectTime = 0;
    client.Connect = true;
}
