// A PostgreSQL server of the distribution's packages for the tests: a fresh cluster made by initdb in a
// temporary folder and run by pg_ctl on 127.0.0.1 and a free TCP port, with the user "mobcfg" trusted
// and one database per test made on demand. Where the tests run as root the cluster belongs to, and
// runs as, the unprivileged system user "postgres" (or "nobody"), since PostgreSQL refuses root.
// A machine without PostgreSQL fails the test that asks for one: scripts/setup installs it.
// Every wait is bounded. Not thread-safe: one test thread drives it.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>

class PostgresCluster {
  public:
    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // initdb (once) and pg_ctl start; false with the reason in Error().
    bool Start();
    // pg_ctl stop in "fast" mode: sessions are cut, the data stays. Start() brings it back on the
    // same port.
    bool Stop();
    // Makes the database `name` (createdb) and returns its connection URI, empty on failure.
    QString CreateDatabase(const QString& name);
    // The URI of database `name`, made or not.
    QString Uri(const QString& name) const;
    uint16_t Port() const { return port_; }
    const QString& Error() const { return error_; }

  private:
    // Runs a program of PostgreSQL's folder of programs as the cluster's owner; false (with its
    // output in error_) when it fails or takes longer than timeoutMs.
    bool Run(const QString& program, const QStringList& args, int timeoutMs);

    QTemporaryDir dir_;
    QString binDir_;
    QString owner_;  // empty: the current user
    uint16_t port_ = 0;
    bool made_ = false;
    bool running_ = false;
    QString error_;
};
