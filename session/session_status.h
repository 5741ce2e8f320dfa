// What a user interface shows of a session at a glance: the link and the server's address, the
// table being loaded with the bytes of its file received so far, and the operator's commands still
// waiting to be sent (those the session keeps across a lost link). Read from the client's shared
// fields and queues, each under its own lock or atomic, so any thread may ask at any time; the
// figures are a moment's picture, not one consistent snapshot.
#pragma once

#include <QString>
#include <cstdint>

class client_udp;
class TBaseC;

struct SessionStatus {
    bool connected = false;
    bool connecting = false;  // asked to log in, no session (yet, or again)
    QString server;           // "address:port" the session talks to
    QString loadingTable;     // the table whose file is on its way; empty when none
    int64_t loadReceived = 0;
    int64_t loadSize = 0;  // 0 until the file's first piece came
    int32_t tablesLoaded = 0;
    int32_t tablesTotal = 0;
    int32_t waitingCommands = 0;
};

SessionStatus StatusOf(client_udp& client, const TBaseC& tables);
