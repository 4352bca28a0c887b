#pragma once

#include "StoreBackend.h"

#include <QHash>
#include <QSharedPointer>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

class QSqlError;
class QSqlQuery;

// The database connection that the store's units share: its name in
// QSqlDatabase's registry, the backend it runs on, the statements prepared on
// it, why it cannot be made while it cannot, and where a failed statement is
// reported. The report goes to the store, which tells a lost connection from
// any other failure.
class StoreConnection
{
public:
    // error is null when no statement failed (a rule of the store did).
    using FailureHandler = std::function<void(const QString &what, const QSqlError *error)>;

    // A statement prepared once per connection and used again: a shared
    // database then gets one round trip per use instead of three. Finished
    // when it goes out of scope, so no result set stays open.
    class Statement
    {
    public:
        explicit Statement(QSqlQuery *query) : m_query(query) {}
        ~Statement();
        QSqlQuery *operator->() const { return m_query; }
        QSqlQuery &operator*() const { return *m_query; }

    private:
        QSqlQuery *m_query;
    };

    enum class Lookup { Found, Missing, Failed };

    StoreConnection(const QString &name, FailureHandler onFailure);
    Q_DISABLE_COPY(StoreConnection)

    QString name() const { return m_name; }
    // An SQLite one until the first open.
    StoreBackend &backend() const { return *m_backend; }
    void setBackend(std::unique_ptr<StoreBackend> backend) { m_backend = std::move(backend); }
    QSqlDatabase database() const;
    bool isOpen() const;
    Statement statement(const QString &sql);
    // Closes and unregisters the connection; its statements go after their
    // driver, so that they do not ask a dead connection to free them.
    void drop();

    // Why the database cannot be reached, once an attempt to reconnect
    // failed; empty while connected.
    QString outageCause() const { return m_outageCause; }
    void setOutageCause(const QString &cause) { m_outageCause = cause; }
    // The reason to give for a failed statement: while no connection
    // stands, why the last attempt to connect failed.
    QString failureText(const QString &error) const;

    // Both report and return false.
    bool fail(const QString &what, const QSqlError &error);
    bool fail(const QString &what);
    // Runs a query for at most one row and leaves it on that row when Found.
    Lookup lookUp(QSqlQuery &query, const QString &what);

private:
    struct Prepared
    {
        QSharedPointer<QSqlQuery> query;
        bool ok = false;
    };

    QString m_name;
    FailureHandler m_onFailure;
    std::unique_ptr<StoreBackend> m_backend;
    QString m_outageCause;
    QHash<QString, Prepared> m_statements;
    QSharedPointer<QSqlQuery> m_offline;
};
