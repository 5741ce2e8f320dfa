// The system's own session client in the test's process, with its six cached tables, logged in to
// the stand-in server as soon as it is made. Each client works in a folder of its own (cache, backlog
// and fetched files); the folder becomes the process's working folder, so clients made one after the
// other in one folder share its cache. Driven by one test thread; the client runs its own threads.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "harness.h"
#include "infra/thread.h"
#include "session/client_udp.h"
#include "tables/base_set.h"

class SessionClient {
  public:
    // For the servers `hosts` (comma-separated addresses) on `port`.
    SessionClient(const QString& dir, const QString& hosts, uint16_t port, const QString& user = kTestUser,
                  const QString& password = kTestPassword);

    // Whether the client has logged in and loaded every table within `seconds`.
    bool Loaded(int seconds = 30);
    TBaseClient* Table(const char* name);
    int32_t Count(const char* table);
    // The column's text in the record, "<missing>" when the record is not there.
    QString Text(const char* table, const char* column, int32_t nAbs);
    void Edit(const char* table, int32_t nAbs, const char* column, const QString& value);
    void Add(const char* table, const char* column, const QString& value);
    // Whether a notice holding `part` has arrived within `seconds` (notices are kept once read).
    bool Notice(const QString& part, int seconds);
    // The "n_abs" of every confirmation of an addition to the table, in order.
    QStringList Confirmed(const char* table) const;

  private:
    TBaseC base_;
    QStringList notices_;

  public:
    // Declared after the tables it works on, so that it stops before they go.
    ThreadPtr<client_udp> c;
};
