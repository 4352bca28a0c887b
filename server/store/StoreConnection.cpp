#include "StoreConnection.h"

#include <QSqlError>
#include <QSqlQuery>

StoreConnection::Statement::~Statement()
{
    m_query->finish();
}

StoreConnection::StoreConnection(const QString &name, FailureHandler onFailure)
    : m_name(name)
    , m_onFailure(std::move(onFailure))
    , m_backend(StoreBackend::forLocation(QString()))
{
}

QString StoreConnection::failureText(const QString &error) const
{
    // A statement on a connection that could not be made again fails with
    // the driver's words for no connection, which tell nothing.
    return m_outageCause.isEmpty() ? error : m_outageCause;
}

QSqlDatabase StoreConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool StoreConnection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

StoreConnection::Statement StoreConnection::statement(const QString &sql)
{
    // Without a connection (it could not be made again) a query has no
    // driver and fails when run; preparing it would only add a warning.
    if (!isOpen()) {
        if (!m_offline)
            m_offline.reset(new QSqlQuery(QSqlDatabase()));
        return Statement(m_offline.data());
    }
    Prepared &prepared = m_statements[sql];
    if (!prepared.ok) {
        prepared.query.reset(new QSqlQuery(database()));
        prepared.ok = prepared.query->prepare(sql);
        // Prepared again at the next use; this one fails with the reason.
        if (!prepared.ok)
            fail(QStringLiteral("cannot prepare a statement"), prepared.query->lastError());
    }
    return Statement(prepared.query.data());
}

void StoreConnection::drop()
{
    if (QSqlDatabase::contains(m_name)) {
        {
            QSqlDatabase db = database();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    m_statements.clear();
}

bool StoreConnection::fail(const QString &what, const QSqlError &error)
{
    m_onFailure(what, &error);
    return false;
}

bool StoreConnection::fail(const QString &what)
{
    m_onFailure(what, nullptr);
    return false;
}

StoreConnection::Lookup StoreConnection::lookUp(QSqlQuery &query, const QString &what)
{
    if (!query.exec()) {
        fail(what, query.lastError());
        return Lookup::Failed;
    }
    return query.next() ? Lookup::Found : Lookup::Missing;
}
