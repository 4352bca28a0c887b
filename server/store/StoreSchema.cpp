#include "StoreSchema.h"

#include "StoreBackend.h"
#include "StoreConnection.h"
#include "StoreTransaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace {

QStringList firstSchema(const StoreBackend &backend)
{
    QStringList statements;
    statements << backend.courseTable();
    statements << QStringLiteral("CREATE TABLE candidate ("
                                 " id INTEGER PRIMARY KEY,"
                                 " number TEXT NOT NULL,"
                                 " course_code TEXT NOT NULL REFERENCES course(code),"
                                 " licence_class INTEGER NOT NULL CHECK (licence_class BETWEEN 0 AND 9),"
                                 " pid TEXT NOT NULL,"
                                 " full_name TEXT NOT NULL,"
                                 " photo TEXT NOT NULL DEFAULT '',"
                                 " state TEXT NOT NULL CHECK (state IN "
                                 "('ready','examined','theory-not-passed','not-required')),"
                                 " UNIQUE (course_code, number))");
    statements << QStringLiteral("CREATE TABLE result ("
                                 " id %1,"
                                 " candidate_id INTEGER NOT NULL REFERENCES candidate(id),"
                                 " course_code TEXT NOT NULL,"
                                 " total INTEGER NOT NULL,"
                                 " pass_score INTEGER NOT NULL,"
                                 " passed INTEGER NOT NULL,"
                                 " detail TEXT NOT NULL,"
                                 " received_at TEXT NOT NULL,"
                                 " station TEXT NOT NULL DEFAULT '',"
                                 " UNIQUE (candidate_id, course_code, total, pass_score, passed, detail))")
                      .arg(backend.serialKey());
    statements << backend.versionTable();
    return statements;
}

// What takes a database from version n - 1 to n.
QStringList upgradeTo(int version, const StoreBackend &backend)
{
    switch (version) {
    case 2:
        // The centre that received a result, for the result sheets of a
        // database that several centres share; and the date ranges of the
        // exports.
        return {QStringLiteral("ALTER TABLE result ADD COLUMN centre TEXT NOT NULL DEFAULT ''"),
                QStringLiteral("CREATE INDEX result_received_at ON result (received_at)")};
    case 3:
        // The candidates under examination, for the other servers on the
        // database to see even across a restart of the database; a file has
        // one server, which keeps them in memory.
        return backend.holdTable();
    default:
        return {};
    }
}

} // namespace

bool StoreSchema::upgrade(StoreConnection &connection, StoreBackend &backend, const QString &shown, int from,
                          int *done)
{
    *done = -1;
    StoreTransaction transaction(connection.database(), backend);
    if (!transaction.isActive())
        return connection.fail(transaction.error());
    int current = from;
    if (!backend.lockVersion(connection, shown, &current))
        return false;
    if (current >= version) {
        return transaction.commit()
            || connection.fail(QStringLiteral("cannot upgrade %1: ").arg(shown) + transaction.error());
    }
    QStringList statements;
    if (current == 0)
        statements = firstSchema(backend);
    for (int next = qMax(current, 1) + 1; next <= version; ++next)
        statements += upgradeTo(next, backend);
    statements << backend.writeVersionStatement(version);
    QSqlQuery query(connection.database());
    for (const QString &sql : statements) {
        if (!query.exec(sql))
            return connection.fail(current == 0 ? QStringLiteral("cannot create the tables")
                                                : QStringLiteral("cannot upgrade %1 from schema version %2")
                                                      .arg(shown)
                                                      .arg(current),
                                   query.lastError());
    }
    if (!transaction.commit())
        return connection.fail(QStringLiteral("cannot create or upgrade the tables: ") + transaction.error());
    *done = current;
    return true;
}
