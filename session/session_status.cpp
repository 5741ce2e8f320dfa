#include "session/session_status.h"

#include <algorithm>

#include "session/client_udp.h"

SessionStatus StatusOf(client_udp& client, const TBaseC& tables) {
    SessionStatus status;
    status.connected = client.Connected;
    status.connecting = client.Connect && !client.Connected;
    const int32_t host = client.TekHost;
    status.server = (host >= 0 && host < client.host.size() ? client.host[host] : QString()) + u':' +
                    QString::number(client.port);
    status.tablesTotal = tables.Count();
    for (int32_t i = 0; i < tables.Count(); ++i) {
        const TBaseClient* table = tables.At(i);
        if (table->FlagLoadData) {
            ++status.tablesLoaded;
        } else if (table->StartLoad && status.connected && status.loadingTable.isEmpty()) {
            status.loadingTable = table->NameTableS;
        }
    }
    if (!status.loadingTable.isEmpty() && client.ReciveDone > 0) {
        status.loadSize = client.ReciveSize;
        status.loadReceived = std::min<int64_t>(client.ReciveDone, status.loadSize);
    }
    const int32_t kept = client.Back.Count();
    const int32_t queued = client.Soob.CountIf(client_udp::KeepAcrossSessions) +
                           client.SoobFile.CountIf(client_udp::KeepAcrossSessions);
    // A backlog entry being replayed sits in the backlog and in a queue at once.
    status.waitingCommands =
        std::max(0, kept + queued - (client.StartSoob && kept > 0 && queued > 0 ? 1 : 0));
    return status;
}
