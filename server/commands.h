// What the server does with each complete text a client sends: registration, the keep-alive test,
// table load requests, file requests and offers, and the edit commands. Changes are stored first,
// then distributed to every client that holds the table, then confirmed to the sender (for edits
// this can be switched off).
// Nothing a client sends is trusted: malformed texts, unknown tables and columns and paths outside
// the files folder are refused and logged. Not thread-safe: the protocol thread calls it.
#pragma once

#include <QString>
#include <functional>

#include "client_session.h"
#include "files.h"
#include "limits.h"
#include "snapshot.h"
#include "storage.h"

class Commands {
  public:
    using Log = std::function<void(const QString&)>;
    using EachSession = std::function<void(const std::function<void(ClientSession&)>&)>;

    Commands(Storage& storage, FilesFolder files, Log log, EachSession eachSession);

    // A "reg" text: checks the user and answers "regok" (a new session tag) or "accessdenied".
    // True when the login was accepted.
    bool registerClient(ClientSession& session, const QString& text);
    // Any other complete text of a logged-in client.
    void handle(ClientSession& session, const QString& text);

    static QString Version();

    // Whether an edit is confirmed to its sender as an addition is (on at start). Switched off, the
    // sender of an edit learns of it from the record update alone.
    void setConfirmEdits(bool on) { confirmEdits_ = on; }
    void setLimits(const ServerLimits& limits) { limits_ = limits; }

    // Computes every table's snapshot payloads and digests ahead of the first load request.
    void prepareSnapshots();

  private:
    void loadRequest(ClientSession& s, const QString& text);
    void getFile(ClientSession& s, const QString& text);
    void offerFromClient(ClientSession& s, const QString& text);
    void edit(ClientSession& s, const QString& text, const QString& command);
    void refuse(ClientSession& s, const QString& table, const QString& why);
    // Stores the change; when the database does not take it, the table is put back as it was before
    // and the sender is told, so that nothing is confirmed or distributed that was not stored.
    bool store(ClientSession& s, TableData& table, int32_t row, const TableData::Savepoint& before,
               const std::vector<std::pair<int, uint32_t>>& entries);
    void distribute(const TableData& table, const QByteArray& message);

    Storage& storage_;
    FilesFolder files_;
    Log log_;
    EachSession eachSession_;
    SnapshotBuilder snapshots_;
    int64_t snapshotCounter_ = 0;
    bool confirmEdits_ = true;
    ServerLimits limits_;
};
