#include "StoreTransaction.h"

#include "StoreBackend.h"

#include <QSqlError>
#include <QSqlQuery>

StoreTransaction::StoreTransaction(const QSqlDatabase &db, const StoreBackend &backend)
    : m_db(db)
{
    // The caller tells why there is no connection.
    if (!m_db.isOpen()) {
        m_error = QStringLiteral("no connection to the database");
        return;
    }
    m_active = run(backend.beginStatement());
    if (!m_active)
        m_error = QStringLiteral("cannot start transaction: ") + m_error;
}

StoreTransaction::~StoreTransaction()
{
    if (m_active)
        run(QStringLiteral("ROLLBACK"));
}

bool StoreTransaction::run(const QString &statement)
{
    QSqlQuery query(m_db);
    if (query.exec(statement))
        return true;
    m_error = query.lastError().text();
    return false;
}

bool StoreTransaction::commit()
{
    if (!m_active)
        return false;
    if (!run(QStringLiteral("COMMIT")))
        return false; // still active: the destructor rolls back
    m_active = false;
    return true;
}
