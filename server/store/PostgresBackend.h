#pragma once

#include "StoreBackend.h"

// A PostgreSQL database that several servers share. A hold on a candidate is
// a row naming the holding run, renewed while it lasts, with the candidate's
// advisory lock on top while the holder's connection lasts; the row lets
// holds outlive a restart of the database, the lock tells the others that a
// holder whose renewals fall behind still lives.
class PostgresBackend final : public StoreBackend
{
public:
    QString fullLocation(const QString &location) const override { return shownLocation(location); }
    std::optional<ControlKey> controlKey(const QString &location, quint16 port) const override;
    bool needsConnectionChecks() const override { return true; }
    bool connect(StoreConnection &connection, const QString &location, bool mustExist) override;
    bool readVersion(StoreConnection &connection, const QString &shown, int *version) override;
    bool prepareDatabase(StoreConnection &, const QString &) override { return true; }
    bool isConnectionLost(const QSqlError &error) const override;
    QString beginStatement() const override;

    bool lockVersion(StoreConnection &connection, const QString &shown, int *version) override;
    QString writeVersionStatement(int version) const override;
    QString courseTable() const override;
    QString serialKey() const override;
    QStringList versionTable() const override;
    QStringList holdTable() const override;

    QString coursesInOrder() const override;
    QString lockRowsClause() const override;
    bool lockCandidateIds(StoreConnection &connection) override;

    bool ping(StoreConnection &connection) override;
    Hold takeHoldRow(StoreConnection &connection, int candidateId, const QString &runId) override;
    bool takeHoldLock(StoreConnection &connection, int candidateId) override;
    bool releaseHoldRow(StoreConnection &connection, int candidateId, const QString &runId) override;
    bool releaseHoldLock(StoreConnection &connection, int candidateId) override;
    bool renewHolds(StoreConnection &connection, const QSet<int> &held, const QString &runId,
                    QSet<int> *renewed) override;
    bool dropHoldsExcept(StoreConnection &connection, const QSet<int> &kept, const QString &runId) override;
    void dropAllHolds(StoreConnection &connection, const QString &runId) override;

private:
    // Session settings of a fresh connection.
    bool prepareSession(StoreConnection &connection, const QString &shown);
};
