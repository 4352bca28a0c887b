#include "PostgresBackend.h"

#include "StoreConnection.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace {

// Keys of the candidate locks in PostgreSQL's advisory lock space: this
// program's own class, then the candidate id.
constexpr int lockClass = 0x487a5364;

// A PostgreSQL array of the ids, as text.
QString idArray(const QSet<int> &ids)
{
    QStringList texts;
    for (const int id : ids)
        texts.append(QString::number(id));
    return QLatin1Char('{') + texts.join(QLatin1Char(',')) + QLatin1Char('}');
}

} // namespace

std::optional<ControlKey> PostgresBackend::controlKey(const QString &location, quint16 port) const
{
    if (port == 0)
        return std::nullopt;
    return ControlKey{QStringLiteral("%1 port %2").arg(shownLocation(location)).arg(port), false};
}

bool PostgresBackend::connect(StoreConnection &connection, const QString &location, bool)
{
    const QUrl url(location, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2 || url.path().indexOf(QLatin1Char('/'), 1) >= 0)
        return connection.fail(QStringLiteral("a PostgreSQL database is named postgresql://USER@HOST:PORT/DBNAME; got %1")
                                   .arg(url.toString(QUrl::RemovePassword)));
    // Command lines are visible to every user of the machine.
    if (!url.password().isEmpty())
        return connection.fail(QStringLiteral("no password in the database address, please: give it in PGPASSWORD "
                                              "or a pgpass file"));
    // The stations are answered from one thread, so a database that has
    // vanished from the network must fail a statement within seconds rather
    // than after the system's retransmission timeout of many minutes.
    QStringList options{QStringLiteral("connect_timeout=5"),   QStringLiteral("application_name=hazard-server"),
                        QStringLiteral("keepalives=1"),        QStringLiteral("keepalives_idle=5"),
                        QStringLiteral("keepalives_interval=2"), QStringLiteral("keepalives_count=3"),
                        QStringLiteral("tcp_user_timeout=10000")};
    const QList<QPair<QString, QString>> items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    const QRegularExpression safeKey(QStringLiteral("^[a-z_]+$"));
    const QRegularExpression safeValue(QStringLiteral("^[A-Za-z0-9_.,:/@+-]*$"));
    for (const auto &item : items) {
        if (!safeKey.match(item.first).hasMatch() || !safeValue.match(item.second).hasMatch()
            || item.first == QLatin1String("password"))
            return connection.fail(
                QStringLiteral("the database address has an option this program does not pass on: %1").arg(item.first));
        options << item.first + QLatin1Char('=') + item.second;
    }
    const QString shown = shownLocation(location);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection.name());
        if (!db.isValid()) {
            db = QSqlDatabase();
            connection.drop();
            return connection.fail(QStringLiteral("Qt's PostgreSQL driver is missing (Debian package libqt5sql5-psql)"));
        }
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        db.setDatabaseName(url.path().mid(1));
        db.setConnectOptions(options.join(QLatin1Char(';')));
        if (!db.open()) {
            const QString why = QStringLiteral("cannot connect to %1: %2").arg(shown, db.lastError().text().simplified());
            db = QSqlDatabase();
            connection.drop();
            return connection.fail(why);
        }
    }
    return prepareSession(connection, shown);
}

bool PostgresBackend::prepareSession(StoreConnection &connection, const QString &shown)
{
    // The server answers every station from one thread: a statement that
    // waits for ever would freeze them all, so waits end in a failure.
    // A station counts a result as kept once it is answered after it: the
    // commit must reach the disk first, whatever the database's default.
    const QStringList settings{QStringLiteral("SET statement_timeout = '15s'"), QStringLiteral("SET lock_timeout = '10s'"),
                               QStringLiteral("SET client_encoding = 'UTF8'"),
                               QStringLiteral("SET synchronous_commit = on")};
    QSqlQuery query(connection.database());
    for (const QString &sql : settings) {
        if (!query.exec(sql))
            return connection.fail(QStringLiteral("cannot prepare the connection to %1").arg(shown), query.lastError());
    }
    return true;
}

bool PostgresBackend::readVersion(StoreConnection &connection, const QString &shown, int *version)
{
    QSqlQuery query(connection.database());
    if (!query.exec(QStringLiteral("SELECT count(*), count(*) FILTER (WHERE table_name = 'schema_version') "
                                   "FROM information_schema.tables WHERE table_schema = current_schema()"))
        || !query.next())
        return connection.fail(QStringLiteral("cannot read the tables of %1").arg(shown), query.lastError());
    const int tables = query.value(0).toInt();
    const bool versioned = query.value(1).toInt() == 1;
    if (tables == 0) {
        *version = 0;
        return true;
    }
    if (!versioned)
        return connection.fail(QStringLiteral("%1 holds another kind of database").arg(shown));
    if (!query.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !query.next())
        return connection.fail(QStringLiteral("cannot read the schema version of %1").arg(shown), query.lastError());
    *version = query.value(0).toInt();
    return true;
}

bool PostgresBackend::isConnectionLost(const QSqlError &error) const
{
    // Errors libpq makes itself (the server closed the connection, no
    // connection to the server) carry no SQLSTATE; a server going down says
    // so with class 08 or 57P.
    const QString state = error.nativeErrorCode();
    return state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
}

QString PostgresBackend::beginStatement() const
{
    // What a transaction relies on, it locks row by row.
    return QStringLiteral("BEGIN");
}

bool PostgresBackend::lockVersion(StoreConnection &connection, const QString &shown, int *version)
{
    if (*version == 0)
        return true;
    // Another server may be upgrading the same database right now; the
    // first one does it, the others find it done.
    QSqlQuery query(connection.database());
    if (!query.exec(QStringLiteral("LOCK TABLE schema_version IN EXCLUSIVE MODE"))
        || !query.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !query.next())
        return connection.fail(QStringLiteral("cannot upgrade %1").arg(shown), query.lastError());
    *version = query.value(0).toInt();
    return true;
}

QString PostgresBackend::writeVersionStatement(int version) const
{
    return QStringLiteral("UPDATE schema_version SET version = %1").arg(version);
}

QString PostgresBackend::courseTable() const
{
    // PostgreSQL has no rowid: the order courses were added in is kept in
    // a column of its own.
    return QStringLiteral("CREATE TABLE course ("
                          " code TEXT PRIMARY KEY NOT NULL,"
                          " name TEXT NOT NULL,"
                          " added BIGSERIAL NOT NULL)");
}

QString PostgresBackend::serialKey() const
{
    return QStringLiteral("BIGSERIAL PRIMARY KEY");
}

QStringList PostgresBackend::versionTable() const
{
    return {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
            QStringLiteral("INSERT INTO schema_version (version) VALUES (1)")};
}

QStringList PostgresBackend::holdTable() const
{
    return {QStringLiteral("CREATE TABLE candidate_hold ("
                           " candidate_id INTEGER PRIMARY KEY,"
                           " server TEXT NOT NULL,"
                           " renewed_at TIMESTAMPTZ NOT NULL)")};
}

QString PostgresBackend::coursesInOrder() const
{
    return QStringLiteral("SELECT code, name FROM course ORDER BY added");
}

QString PostgresBackend::lockRowsClause() const
{
    return QStringLiteral(" FOR UPDATE");
}

bool PostgresBackend::lockCandidateIds(StoreConnection &connection)
{
    // Two commands adding candidates at once would choose the same ids.
    QSqlQuery lock(connection.database());
    if (!lock.exec(QStringLiteral("LOCK TABLE candidate IN SHARE ROW EXCLUSIVE MODE")))
        return connection.fail(QStringLiteral("cannot store the candidates"), lock.lastError());
    return true;
}

bool PostgresBackend::ping(StoreConnection &connection)
{
    QSqlQuery query(connection.database());
    if (query.exec(QStringLiteral("SELECT 1")))
        return true;
    return connection.fail(QStringLiteral("the database does not answer"), query.lastError());
}

StoreBackend::Hold PostgresBackend::takeHoldRow(StoreConnection &connection, int candidateId, const QString &runId)
{
    // The row is the hold: taken when there is none, when it is this run's
    // own, or when its holder has neither renewed it within the lease nor
    // a connection holding the candidate's lock. All in one statement, so
    // that two servers taking the same candidate at once find each other.
    const StoreConnection::Statement query = connection.statement(
        QStringLiteral("INSERT INTO candidate_hold AS h (candidate_id, server, renewed_at) VALUES (?, ?, now()) "
                       "ON CONFLICT (candidate_id) DO UPDATE SET server = EXCLUDED.server, renewed_at = now() "
                       "WHERE h.server = EXCLUDED.server "
                       "OR (greatest(h.renewed_at, pg_postmaster_start_time()) < now() - interval '%1 seconds' "
                       "AND NOT EXISTS (SELECT 1 FROM pg_locks l WHERE l.locktype = 'advisory' AND l.granted "
                       "AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
                       "AND l.classid = %2 AND l.objid = h.candidate_id AND l.objsubid = 2)) "
                       "RETURNING candidate_id")
            .arg(holdLeaseSeconds)
            .arg(lockClass));
    query->addBindValue(candidateId);
    query->addBindValue(runId);
    if (!query->exec()) {
        connection.fail(QStringLiteral("cannot hold candidate %1").arg(candidateId), query->lastError());
        return Hold::Failed;
    }
    return query->next() ? Hold::Taken : Hold::Busy;
}

bool PostgresBackend::takeHoldLock(StoreConnection &connection, int candidateId)
{
    const StoreConnection::Statement lock = connection.statement(QStringLiteral("SELECT pg_try_advisory_lock(?, ?)"));
    lock->addBindValue(lockClass);
    lock->addBindValue(candidateId);
    return lock->exec() && lock->next() && lock->value(0).toBool();
}

bool PostgresBackend::releaseHoldRow(StoreConnection &connection, int candidateId, const QString &runId)
{
    const StoreConnection::Statement query =
        connection.statement(QStringLiteral("DELETE FROM candidate_hold WHERE candidate_id = ? AND server = ?"));
    query->addBindValue(candidateId);
    query->addBindValue(runId);
    if (!query->exec())
        return connection.fail(QStringLiteral("cannot release candidate %1").arg(candidateId), query->lastError());
    return true;
}

bool PostgresBackend::releaseHoldLock(StoreConnection &connection, int candidateId)
{
    const StoreConnection::Statement query = connection.statement(QStringLiteral("SELECT pg_advisory_unlock(?, ?)"));
    query->addBindValue(lockClass);
    query->addBindValue(candidateId);
    if (!query->exec())
        return connection.fail(QStringLiteral("cannot unlock candidate %1").arg(candidateId), query->lastError());
    return true;
}

bool PostgresBackend::renewHolds(StoreConnection &connection, const QSet<int> &held, const QString &runId,
                                 QSet<int> *renewed)
{
    const StoreConnection::Statement query = connection.statement(
        QStringLiteral("UPDATE candidate_hold SET renewed_at = now() WHERE server = ? "
                       "AND candidate_id = ANY (CAST(? AS integer[])) "
                       "RETURNING candidate_id"));
    query->addBindValue(runId);
    query->addBindValue(idArray(held));
    if (!query->exec())
        return connection.fail(QStringLiteral("cannot renew the candidate holds"), query->lastError());
    renewed->clear();
    while (query->next())
        renewed->insert(query->value(0).toInt());
    return true;
}

bool PostgresBackend::dropHoldsExcept(StoreConnection &connection, const QSet<int> &kept, const QString &runId)
{
    const StoreConnection::Statement query = connection.statement(
        QStringLiteral("DELETE FROM candidate_hold WHERE server = ? AND "
                       "candidate_id <> ALL (CAST(? AS integer[]))"));
    query->addBindValue(runId);
    query->addBindValue(idArray(kept));
    if (!query->exec())
        return connection.fail(QStringLiteral("cannot remove released candidate holds"), query->lastError());
    return true;
}

void PostgresBackend::dropAllHolds(StoreConnection &connection, const QString &runId)
{
    QSqlQuery query(connection.database());
    query.prepare(QStringLiteral("DELETE FROM candidate_hold WHERE server = ?"));
    query.addBindValue(runId);
    query.exec();
}
