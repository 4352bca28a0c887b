#pragma once

#include <QSqlDatabase>
#include <QString>

class StoreBackend;

// One write transaction on the server's database: begun at construction,
// rolled back at destruction unless committed. It begins as the backend
// says: on SQLite with the write lock at once, so that what it reads stays
// true until it commits even when an operator's command writes to the same
// file; on PostgreSQL the caller locks the rows it relies on.
class StoreTransaction
{
public:
    StoreTransaction(const QSqlDatabase &db, const StoreBackend &backend);
    ~StoreTransaction();
    Q_DISABLE_COPY(StoreTransaction)

    // False when the transaction could not begin; error() tells why.
    bool isActive() const { return m_active; }
    bool commit();
    QString error() const { return m_error; }

private:
    bool run(const QString &statement);

    QSqlDatabase m_db;
    bool m_active = false;
    QString m_error;
};
