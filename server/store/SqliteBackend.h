#pragma once

#include "StoreBackend.h"

// A database in an SQLite file, which one server and the operator's commands
// share. Its one server holds candidates in memory; the file itself holds
// no holds and takes none.
class SqliteBackend final : public StoreBackend
{
public:
    QString fullLocation(const QString &location) const override;
    std::optional<ControlKey> controlKey(const QString &location, quint16) const override
    {
        return ControlKey{location, true};
    }
    bool needsConnectionChecks() const override { return false; }
    bool connect(StoreConnection &connection, const QString &location, bool mustExist) override;
    bool readVersion(StoreConnection &connection, const QString &shown, int *version) override;
    bool prepareDatabase(StoreConnection &connection, const QString &shown) override;
    bool isConnectionLost(const QSqlError &) const override { return false; }
    QString beginStatement() const override;

    bool lockVersion(StoreConnection &, const QString &, int *) override { return true; }
    QString writeVersionStatement(int version) const override;
    QString courseTable() const override;
    QString serialKey() const override;
    QStringList versionTable() const override { return {}; }
    QStringList holdTable() const override { return {}; }

    QString coursesInOrder() const override;
    QString lockRowsClause() const override { return QString(); }
    bool lockCandidateIds(StoreConnection &) override { return true; }

    bool ping(StoreConnection &) override { return true; }
    Hold takeHoldRow(StoreConnection &, int, const QString &) override { return Hold::Taken; }
    bool takeHoldLock(StoreConnection &, int) override { return true; }
    bool releaseHoldRow(StoreConnection &, int, const QString &) override { return true; }
    bool releaseHoldLock(StoreConnection &, int) override { return true; }
    bool renewHolds(StoreConnection &, const QSet<int> &held, const QString &, QSet<int> *renewed) override;
    bool dropHoldsExcept(StoreConnection &, const QSet<int> &, const QString &) override { return true; }
    void dropAllHolds(StoreConnection &, const QString &) override {}
};
