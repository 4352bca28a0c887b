#pragma once

#include <QSqlDatabase>
#include <QString>

// One write transaction on the server's database: begun at construction,
// rolled back at destruction unless committed. It takes the write lock at
// once, so that what it reads stays true until it commits even when an
// operator's command writes to the same file.
class StoreTransaction
{
public:
    explicit StoreTransaction(const QSqlDatabase &db);
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
