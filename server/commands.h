// What the server does with each complete text a logged-in client sends: the keep-alive test,
// table load requests, file requests and offers, and the edit commands. Changes are stored first,
// then distributed to every client that holds the table (after the changes of other servers that
// came before them), then confirmed to the sender (for edits this can be switched off). A change the
// database cannot take is refused and leaves the table as it was.
// Nothing a client sends is trusted: malformed texts, unknown tables and columns and paths outside
// the files folder are refused and logged. Not thread-safe: the protocol thread calls it.
#pragma once

#include <QString>
#include <functional>

#include "client_session.h"
#include "edit_fields.h"
#include "files.h"
#include "limits.h"
#include "snapshot.h"
#include "storage.h"

class Commands {
  public:
    using Log = std::function<void(const QString&)>;
    using EachSession = std::function<void(const std::function<void(ClientSession&)>&)>;

    Commands(Storage& storage, FilesFolder files, Log log, EachSession eachSession);

    // A complete text of a logged-in client (registrations are the server's own business).
    void handle(ClientSession& session, const QString& text);

    static QString Version();

    // Whether an edit is confirmed to its sender as an addition is (on at start). Switched off, the
    // sender of an edit learns of it from the record update alone.
    void setConfirmEdits(bool on) { confirmEdits_ = on; }
    void setLimits(const ServerLimits& limits) { limits_ = limits; }

    // Computes every table's snapshot payloads and digests ahead of the first load request.
    void prepareSnapshots();

    // Sends the record updates of every change the storage applied since the last call (this
    // server's and other servers') to the clients holding their tables.
    void distributeApplied();

  private:
    void loadRequest(ClientSession& s, const QString& text);
    void getFile(ClientSession& s, const QString& text);
    void offerFromClient(ClientSession& s, const QString& text);
    void edit(ClientSession& s, const QString& text, const QString& command);
    // One attempt at an edit command: false when it lost its race with another server's change
    // (Storage::raced), the table as it was and the sender not told.
    bool tryEdit(ClientSession& s, const QString& text, const QString& command);
    void refuse(ClientSession& s, const QString& table, const QString& why);
    // The fields of an edit command, converted for their columns; false (refused) when malformed.
    bool readFields(ClientSession& s, const TableData& table, const QString& text,
                    std::vector<std::pair<int, FieldValue>>& values);
    // Begins the change in the storage (Storage::beginChange: for an addition to `adding`, the write
    // lock, what other servers committed, its identifier and what its mark stored before); the
    // sender is told when the database cannot be written now.
    bool beginChange(ClientSession& s, const QString& table, const TableData* adding, const QString& mark);
    // Ends a change begun but refused, telling the sender why.
    void abandonChange(ClientSession& s, const QString& table, const QString& why);
    // Stores the change; when the database does not take it, the table is put back as it was before
    // and the sender is told (unless the change only lost a race, which is made again), so that
    // nothing is confirmed or distributed that was not stored. Then
    // every change applied meanwhile, this one last, goes to the clients holding its table. An
    // addition's mark is stored with it.
    bool store(ClientSession& s, TableData& table, int32_t row, bool deleted,
               const TableData::Savepoint& before, const std::vector<std::pair<int, uint32_t>>& entries,
               const QString& mark = {});
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
