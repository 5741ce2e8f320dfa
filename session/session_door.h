// The front door to a session, the one way in for the desktop tool and the command-line client: the
// client built for the server addresses and wired to the registered tables and to the owner's
// handlers, and the login asked for. The tables are registered beforehand (RegisterConfigTables,
// session/table_registration.h) and outlive the client. Call from the owner's thread.
#pragma once

#include <QString>
#include <cstdint>

#include "infra/thread.h"
#include "session/client_udp.h"
#include "tables/base_set.h"

// What the owner hears from the session; either may be empty.
struct SessionHandlers {
    // A table changed (on the client thread).
    TRefreshDataBase refreshed;
    // A table handed an edit command to the session (on the thread that posted it).
    TCommandQueued commandQueued;
};

// Wires a client to the tables and the handlers (a client built without its thread, in tests, too).
void WireSession(client_udp& client, TBaseC& tables, SessionHandlers handlers);

// Builds the client of this program for host (several addresses separated by commas) and port,
// starts its thread and wires it.
ThreadPtr<client_udp> OpenSession(TBaseC& tables, const QString& host, uint16_t port,
                                  SessionHandlers handlers);

// Hands the credentials to the client and asks for a login at once.
void RequestLogin(client_udp& client, const QString& user, const QString& password);
