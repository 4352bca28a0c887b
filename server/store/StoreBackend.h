#pragma once

#include "ControlKey.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSqlError;
class StoreConnection;

// What differs between the databases the server's store runs on: how a
// connection is made and set up, where the schema version is kept, what a
// lost connection looks like, how a write transaction begins, the few SQL
// fragments that are not common to both, and the candidate holds other
// servers on the same database must see. The store and its units only call
// this; nothing above it asks which database it has.
//
// Every operation that runs a statement reports a failure through the
// connection (StoreConnection::fail) and returns false.
class StoreBackend
{
public:
    enum class Hold { Taken, Busy, Failed };
    // How long a hold stands unrenewed, counted from the later of its
    // renewal and the database's start.
    static constexpr int holdLeaseSeconds = 5;

    virtual ~StoreBackend() = default;

    // The backend for a location: a file path, or a postgresql:// address.
    static std::unique_ptr<StoreBackend> forLocation(const QString &location);
    static bool isPostgresLocation(const QString &location);
    // The location as shown to the operator: without any password.
    static QString shownLocation(const QString &location);

    // The location as the operator is told where the database is.
    virtual QString fullLocation(const QString &location) const = 0;
    // What names the control socket of the server serving location on port.
    // Where the database has one server the database alone names it, and
    // port may be 0 (not known yet); where servers share it, each names its
    // socket after its port: none without one. Only a database file has a
    // place for the socket next to it.
    virtual std::optional<ControlKey> controlKey(const QString &location, quint16 port) const = 0;
    // Whether a serving store must check its connection and renew its holds
    // every ServerStore::holdRenewalMs: only holds other servers see lapse.
    virtual bool needsConnectionChecks() const = 0;

    // Opens the connection and sets up its session. False after reporting
    // why; the connection is then left for the caller to drop.
    virtual bool connect(StoreConnection &connection, const QString &location, bool mustExist) = 0;
    // The schema version stored in the database, 0 for an empty one.
    virtual bool readVersion(StoreConnection &connection, const QString &shown, int *version) = 0;
    // Settings of an opened database that live in the database itself.
    virtual bool prepareDatabase(StoreConnection &connection, const QString &shown) = 0;
    // Whether a failed statement's error means the connection is gone.
    virtual bool isConnectionLost(const QSqlError &error) const = 0;
    // The statement that begins a write transaction.
    virtual QString beginStatement() const = 0;

    // Within an upgrade's transaction: keeps other servers from upgrading
    // the same database at once and reads the version again, which another
    // server may have raised meanwhile.
    virtual bool lockVersion(StoreConnection &connection, const QString &shown, int *version) = 0;
    virtual QString writeVersionStatement(int version) const = 0;
    // The pieces of the schema that are not the same SQL on both.
    virtual QString courseTable() const = 0;
    virtual QString serialKey() const = 0;
    virtual QStringList versionTable() const = 0;
    virtual QStringList holdTable() const = 0;

    // The courses in the order they were added.
    virtual QString coursesInOrder() const = 0;
    // Appended to a read within a transaction to lock the rows it returns.
    virtual QString lockRowsClause() const = 0;
    // Within a transaction, before new candidate ids are chosen: keeps
    // other writers from choosing the same.
    virtual bool lockCandidateIds(StoreConnection &connection) = 0;

    // Whether the connection still works.
    virtual bool ping(StoreConnection &connection) = 0;
    // The hold on a candidate for the run runId: its row, then the lock that
    // says its holder lives.
    virtual Hold takeHoldRow(StoreConnection &connection, int candidateId, const QString &runId) = 0;
    // False when someone else's connection has the lock.
    virtual bool takeHoldLock(StoreConnection &connection, int candidateId) = 0;
    virtual bool releaseHoldRow(StoreConnection &connection, int candidateId, const QString &runId) = 0;
    virtual bool releaseHoldLock(StoreConnection &connection, int candidateId) = 0;
    // *renewed gets the held ids whose rows were still there.
    virtual bool renewHolds(StoreConnection &connection, const QSet<int> &held, const QString &runId,
                            QSet<int> *renewed) = 0;
    // Removes the rows of runId except those of the ids kept.
    virtual bool dropHoldsExcept(StoreConnection &connection, const QSet<int> &kept, const QString &runId) = 0;
    // At close: a failure only leaves rows for their lease to end.
    virtual void dropAllHolds(StoreConnection &connection, const QString &runId) = 0;
};
