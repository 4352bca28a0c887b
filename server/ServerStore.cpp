#include "ServerStore.h"

#include "Constants.h"
#include "ResultDetail.h"
#include "ServerLogging.h"
#include "StoreTransaction.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QUrl>
#include <QSysInfo>
#include <QUrlQuery>
#include <QUuid>
#include <QVariant>
#include <QtDebug>

#include <algorithm>

namespace {

QAtomicInt connectionCounter;

// candidateFrom() reads the columns in this order.
const char candidateColumns[] = "SELECT id, number, course_code, licence_class, pid, full_name, photo, state "
                                "FROM candidate ";

// The values that make a result unique, in the order the queries name them.
void bindResultKey(QSqlQuery &query, const ResultRecord &r)
{
    query.addBindValue(r.candidateId);
    query.addBindValue(r.courseCode);
    query.addBindValue(r.total);
    query.addBindValue(r.passScore);
    query.addBindValue(r.passed ? 1 : 0);
    query.addBindValue(r.detail);
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// The first schema, as the first release wrote it. Later versions are
// reached by the upgrades below, the same way for a new database as for an
// old one, so that the upgrades are exercised by every new database.
QStringList firstSchema(bool postgres)
{
    const QString resultId = postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                      : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    QStringList statements;
    // PostgreSQL has no rowid: the order courses were added in is kept in
    // a column of its own.
    statements << (postgres ? QStringLiteral("CREATE TABLE course ("
                                             " code TEXT PRIMARY KEY NOT NULL,"
                                             " name TEXT NOT NULL,"
                                             " added BIGSERIAL NOT NULL)")
                            : QStringLiteral("CREATE TABLE course ("
                                             " code TEXT PRIMARY KEY NOT NULL,"
                                             " name TEXT NOT NULL)"));
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
                      .arg(resultId);
    if (postgres)
        statements << QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)")
                   << QStringLiteral("INSERT INTO schema_version (version) VALUES (1)");
    return statements;
}

// What takes a database from version n - 1 to n.
QStringList upgradeTo(int version, bool postgres)
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
        if (!postgres)
            return {};
        return {QStringLiteral("CREATE TABLE candidate_hold ("
                               " candidate_id INTEGER PRIMARY KEY,"
                               " server TEXT NOT NULL,"
                               " renewed_at TIMESTAMPTZ NOT NULL)")};
    default:
        return {};
    }
}

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

ServerStore::ServerStore(QObject *parent)
    : QObject(parent)
    , m_connection(QStringLiteral("hazard-server-store-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
    // Readable where an operator looks at the hold table; unique for each
    // run of each server, so a restarted server never takes a dead run's
    // holds for its own.
    , m_runId(QStringLiteral("%1 pid %2 %3")
                  .arg(QSysInfo::machineHostName())
                  .arg(QCoreApplication::applicationPid())
                  .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)))
{
}

ServerStore::~ServerStore()
{
    close();
}

QSqlDatabase ServerStore::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool ServerStore::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && database().isOpen();
}

bool ServerStore::isPostgresLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"));
}

QString ServerStore::shownLocation(const QString &location)
{
    return isPostgresLocation(location) ? QUrl(location, QUrl::StrictMode).toString(QUrl::RemovePassword) : location;
}

bool ServerStore::connectionLost(const QSqlQuery &query) const
{
    if (!m_postgres)
        return false;
    // Errors libpq makes itself (the server closed the connection, no
    // connection to the server) carry no SQLSTATE; a server going down says
    // so with class 08 or 57P.
    const QString state = query.lastError().nativeErrorCode();
    return state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
}

QString ServerStore::failureText(const QString &error) const
{
    // A statement on a connection that could not be made again fails with
    // the driver's words for no connection, which tell nothing.
    return m_outageCause.isEmpty() ? error : m_outageCause;
}

bool ServerStore::fail(const QString &what, const QSqlQuery &query)
{
    m_lastError = what + QStringLiteral(": ") + failureText(query.lastError().text().simplified());
    if (connectionLost(query) && !m_broken) {
        m_broken = true;
        m_reconnectDelayMs = 0;
        m_lastAttempt.invalidate();
        qCWarning(lcServer).noquote() << QStringLiteral("database connection lost (%1); reconnecting").arg(m_lastError);
        emit broken();
    }
    return false;
}

bool ServerStore::fail(const QString &what)
{
    m_lastError = what;
    return false;
}

bool ServerStore::open(const QString &location, OpenMode mode)
{
    close();
    m_created = false;
    if (!connectTo(location, mode == OpenMode::MustExist))
        return false;
    if (!setUp(mode)) {
        close();
        return false;
    }
    return true;
}

bool ServerStore::connectTo(const QString &location, bool mustExist)
{
    if (isPostgresLocation(location))
        return connectPostgres(location);

    m_postgres = false;
    const QFileInfo info(location);
    const bool existed = info.exists();
    if (mustExist && !existed)
        return fail(QStringLiteral("no database at %1 (create one with: hazard-server init --db %1)").arg(location));
    if (existed && !info.isFile())
        return fail(QStringLiteral("%1 is not a file").arg(location));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(location);
        // The operator's commands write while the server serves; let a writer
        // wait for the other instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            m_lastError = QStringLiteral("cannot open %1: %2").arg(location, db.lastError().text());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            return false;
        }
    }
    m_location = location;
    m_path = location;
    // Identity numbers, photos and results are personal data: a new database
    // is for its owner only (SQLite gives its journal files the same mode).
    if (!existed)
        QFile::setPermissions(location, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool ServerStore::connectPostgres(const QString &location)
{
    m_postgres = true;
    const QUrl url(location, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2 || url.path().indexOf(QLatin1Char('/'), 1) >= 0)
        return fail(QStringLiteral("a PostgreSQL database is named postgresql://USER@HOST:PORT/DBNAME; got %1")
                        .arg(url.toString(QUrl::RemovePassword)));
    // Command lines are visible to every user of the machine.
    if (!url.password().isEmpty())
        return fail(QStringLiteral("no password in the database address, please: give it in PGPASSWORD or a "
                                   "pgpass file"));
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
            return fail(QStringLiteral("the database address has an option this program does not pass on: %1")
                            .arg(item.first));
        options << item.first + QLatin1Char('=') + item.second;
    }
    m_location = location;
    m_path = shownLocation(location);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            return fail(QStringLiteral("Qt's PostgreSQL driver is missing (Debian package libqt5sql5-psql)"));
        }
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        db.setDatabaseName(url.path().mid(1));
        db.setConnectOptions(options.join(QLatin1Char(';')));
        if (!db.open()) {
            m_lastError = QStringLiteral("cannot connect to %1: %2").arg(m_path, db.lastError().text().simplified());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            return false;
        }
    }
    return prepareSession();
}

bool ServerStore::prepareSession()
{
    // The server answers every station from one thread: a statement that
    // waits for ever would freeze them all, so waits end in a failure.
    // A station counts a result as kept once it is answered after it: the
    // commit must reach the disk first, whatever the database's default.
    const QStringList settings{QStringLiteral("SET statement_timeout = '15s'"), QStringLiteral("SET lock_timeout = '10s'"),
                               QStringLiteral("SET client_encoding = 'UTF8'"),
                               QStringLiteral("SET synchronous_commit = on")};
    QSqlQuery query(database());
    for (const QString &sql : settings) {
        if (!query.exec(sql))
            return fail(QStringLiteral("cannot prepare the connection to %1").arg(m_path), query);
    }
    return true;
}

int ServerStore::storedVersion(bool *ok)
{
    *ok = false;
    QSqlQuery query(database());
    if (!m_postgres) {
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
            fail(QStringLiteral("%1 is not an SQLite database").arg(m_path), query);
            return 0;
        }
        const int version = query.value(0).toInt();
        if (version == 0) {
            if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next()) {
                fail(QStringLiteral("%1 is not an SQLite database").arg(m_path), query);
                return 0;
            }
            if (query.value(0).toInt() != 0) {
                fail(QStringLiteral("%1 holds another kind of database").arg(m_path));
                return 0;
            }
        }
        *ok = true;
        return version;
    }
    if (!query.exec(QStringLiteral("SELECT count(*), count(*) FILTER (WHERE table_name = 'schema_version') "
                                   "FROM information_schema.tables WHERE table_schema = current_schema()"))
        || !query.next()) {
        fail(QStringLiteral("cannot read the tables of %1").arg(m_path), query);
        return 0;
    }
    const int tables = query.value(0).toInt();
    const bool versioned = query.value(1).toInt() == 1;
    if (tables == 0) {
        *ok = true;
        return 0;
    }
    if (!versioned) {
        fail(QStringLiteral("%1 holds another kind of database").arg(m_path));
        return 0;
    }
    if (!query.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !query.next()) {
        fail(QStringLiteral("cannot read the schema version of %1").arg(m_path), query);
        return 0;
    }
    *ok = true;
    return query.value(0).toInt();
}

bool ServerStore::setUp(OpenMode mode)
{
    bool ok = false;
    const int version = storedVersion(&ok);
    if (!ok)
        return false;
    if (version > schemaVersion)
        return fail(QStringLiteral("%1 has schema version %2, newer than the %3 this hazard-server knows; "
                                   "run a newer hazard-server")
                        .arg(m_path)
                        .arg(version)
                        .arg(schemaVersion));
    if (version == 0 && mode == OpenMode::MustExist)
        return fail(QStringLiteral("%1 is empty (create the tables with: hazard-server init --db %1)").arg(m_path));

    QSqlQuery query(database());
    if (!m_postgres) {
        // WAL lets the server read while a command writes, and the reverse.
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
            || query.value(0).toString().toLower() != QLatin1String("wal")) {
            return fail(QStringLiteral("cannot switch %1 to WAL journal").arg(m_path), query);
        }
        query.finish();
        if (!query.exec(QStringLiteral("PRAGMA foreign_keys=ON")))
            return fail(QStringLiteral("cannot enable foreign keys"), query);
    }
    return version == schemaVersion || upgrade(version);
}

bool ServerStore::upgrade(int from)
{
    // All or nothing: a database is never left half upgraded.
    StoreTransaction transaction(database(), m_postgres);
    if (!transaction.isActive())
        return fail(transaction.error());
    QSqlQuery query(database());
    int version = from;
    if (m_postgres && from > 0) {
        // Another server may be upgrading the same database right now; the
        // first one does it, the others find it done.
        if (!query.exec(QStringLiteral("LOCK TABLE schema_version IN EXCLUSIVE MODE"))
            || !query.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !query.next())
            return fail(QStringLiteral("cannot upgrade %1").arg(m_path), query);
        version = query.value(0).toInt();
        if (version >= schemaVersion)
            return transaction.commit() || fail(QStringLiteral("cannot upgrade %1: ").arg(m_path) + transaction.error());
    }
    QStringList statements;
    if (version == 0)
        statements = firstSchema(m_postgres);
    for (int next = qMax(version, 1) + 1; next <= schemaVersion; ++next)
        statements += upgradeTo(next, m_postgres);
    statements << (m_postgres ? QStringLiteral("UPDATE schema_version SET version = %1").arg(schemaVersion)
                              : QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion));
    for (const QString &sql : statements) {
        if (!query.exec(sql))
            return fail(version == 0 ? QStringLiteral("cannot create the tables")
                                     : QStringLiteral("cannot upgrade %1 from schema version %2").arg(m_path).arg(version),
                        query);
    }
    if (!transaction.commit())
        return fail(QStringLiteral("cannot create or upgrade the tables: ") + transaction.error());
    if (version == 0)
        m_created = true;
    else
        qCInfo(lcServer).noquote() << QStringLiteral("%1 upgraded from schema version %2 to %3").arg(m_path).arg(version).arg(schemaVersion);
    return true;
}

void ServerStore::close()
{
    if (m_wroteHolds && !m_broken && isOpen()) {
        // Holds left behind would otherwise keep their candidates from the
        // other servers until their lease ends.
        QSqlQuery query(database());
        query.prepare(QStringLiteral("DELETE FROM candidate_hold WHERE server = ?"));
        query.addBindValue(m_runId);
        query.exec();
    }
    m_wroteHolds = false;
    m_locks.clear();
    m_lockless.clear();
    m_broken = false;
    m_outageCause.clear();
    m_reconnectDelayMs = 0;
    m_lastAttempt.invalidate();
    if (!QSqlDatabase::contains(m_connection)) {
        m_statements.clear();
        return;
    }
    {
        QSqlDatabase db = database();
        db.close();
    }
    // The statements after their driver, as in reconnectIfBroken().
    QSqlDatabase::removeDatabase(m_connection);
    m_statements.clear();
    m_path.clear();
}

bool ServerStore::reconnectIfBroken()
{
    if (!m_broken)
        return true;
    // A database that refuses connections refuses them at once, so the
    // first attempts cost little and find a restarted database soon; an
    // unreachable one may keep each attempt for the connect timeout, and the
    // stations are answered meanwhile with failures rather than not at all.
    if (reconnectDelayMs() > 0)
        return false;
    m_lastAttempt.start();
    m_reconnectDelayMs = m_reconnectDelayMs == 0 ? firstReconnectDelayMs
                                                 : qMin(2 * m_reconnectDelayMs, longestReconnectDelayMs);
    const QSet<int> held = m_locks;
    const QString location = m_location;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    // Prepared statements belong to the connection that is gone. Dropped
    // after its driver, they do not ask the dead connection to free them.
    m_statements.clear();
    if (!connectTo(location, true)) {
        QSqlDatabase::removeDatabase(m_connection);
        // Told once, not at every attempt; what fails meanwhile gives the
        // latest reason (the database may answer "starting up", then refuse
        // the login).
        if (m_outageCause.isEmpty())
            qCWarning(lcServer).noquote() << QStringLiteral("%1; trying again until it answers").arg(m_lastError);
        m_outageCause = m_lastError;
        return false;
    }
    m_broken = false;
    m_outageCause.clear();
    m_reconnectDelayMs = 0;
    m_locks.clear();
    m_lockless.clear();
    qCInfo(lcServer).noquote() << QStringLiteral("database connection to %1 restored").arg(m_path);
    // The locks went with the old connection, and no hold was renewed while
    // the database was away: take back those of the examinations still
    // running here before their lease ends.
    for (const int id : held) {
        switch (lockCandidate(id)) {
        case Lock::Taken:
            break;
        case Lock::Busy:
            qCWarning(lcServer).noquote() << QStringLiteral("candidate %1 was entered at another server while the "
                                                   "database was unreachable")
                                        .arg(id);
            break;
        case Lock::Failed:
            // Lost again: the next attempt starts from the same list.
            m_locks.unite(held);
            return false;
        }
    }
    if (m_wroteHolds) {
        // Holds released while the database was away.
        const Statement query = statement(QStringLiteral("DELETE FROM candidate_hold WHERE server = ? AND "
                                                         "candidate_id <> ALL (CAST(? AS integer[]))"));
        query->addBindValue(m_runId);
        query->addBindValue(idArray(m_locks));
        if (!query->exec())
            fail(QStringLiteral("cannot remove released candidate holds"), *query);
    }
    return true;
}

int ServerStore::reconnectDelayMs() const
{
    if (!m_broken || !m_lastAttempt.isValid())
        return 0;
    return int(qMax<qint64>(0, m_reconnectDelayMs - m_lastAttempt.elapsed()));
}

bool ServerStore::checkConnection()
{
    if (!m_postgres || m_broken)
        return reconnectIfBroken();
    if (!m_locks.isEmpty())
        return renewHolds() || reconnectIfBroken();
    QSqlQuery query(database());
    if (query.exec(QStringLiteral("SELECT 1")))
        return true;
    fail(QStringLiteral("the database does not answer"), query);
    return reconnectIfBroken();
}

bool ServerStore::renewHolds()
{
    const Statement query = statement(QStringLiteral("UPDATE candidate_hold SET renewed_at = now() WHERE server = ? "
                                                     "AND candidate_id = ANY (CAST(? AS integer[])) "
                                                     "RETURNING candidate_id"));
    query->addBindValue(m_runId);
    query->addBindValue(idArray(m_locks));
    if (!query->exec())
        return fail(QStringLiteral("cannot renew the candidate holds"), *query);
    QSet<int> renewed;
    while (query->next())
        renewed.insert(query->value(0).toInt());
    // Only a hand in the database removes a held row: put it back unless
    // another server has the candidate by now.
    for (const int id : m_locks - renewed) {
        switch (takeRow(id)) {
        case Lock::Taken:
            break;
        case Lock::Busy:
            qCWarning(lcServer).noquote() << QStringLiteral("the hold on candidate %1 was removed from the database; "
                                                   "another server may examine the candidate")
                                        .arg(id);
            m_locks.remove(id);
            if (!m_lockless.remove(id))
                releaseLock(id);
            break;
        case Lock::Failed:
            return false;
        }
    }
    return true;
}

ServerStore::Lock ServerStore::lockCandidate(int candidateId)
{
    if (!m_postgres || m_locks.contains(candidateId))
        return Lock::Taken;
    return takeHold(candidateId);
}

ServerStore::Lock ServerStore::takeRow(int candidateId)
{
    // The row is the hold: taken when there is none, when it is this run's
    // own, or when its holder has neither renewed it within the lease nor
    // a connection holding the candidate's lock. All in one statement, so
    // that two servers taking the same candidate at once find each other.
    const Statement query = statement(
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
    query->addBindValue(m_runId);
    if (!query->exec()) {
        fail(QStringLiteral("cannot hold candidate %1").arg(candidateId), *query);
        return Lock::Failed;
    }
    m_wroteHolds = true;
    return query->next() ? Lock::Taken : Lock::Busy;
}

ServerStore::Lock ServerStore::takeHold(int candidateId)
{
    const Lock taken = takeRow(candidateId);
    if (taken != Lock::Taken)
        return taken;
    m_locks.insert(candidateId);
    m_lockless.remove(candidateId);
    // The lock tells the others that this holder lives even when its
    // renewals fall behind; without it the renewals alone keep the hold.
    const Statement lock = statement(QStringLiteral("SELECT pg_try_advisory_lock(?, ?)"));
    lock->addBindValue(lockClass);
    lock->addBindValue(candidateId);
    if (!lock->exec() || !lock->next() || !lock->value(0).toBool())
        m_lockless.insert(candidateId);
    return Lock::Taken;
}

void ServerStore::unlockCandidate(int candidateId)
{
    const bool locked = !m_lockless.remove(candidateId);
    if (!m_locks.remove(candidateId) || m_broken)
        return;
    // The row first: the lock alone keeps no one out.
    {
        const Statement query = statement(QStringLiteral("DELETE FROM candidate_hold WHERE candidate_id = ? AND server = ?"));
        query->addBindValue(candidateId);
        query->addBindValue(m_runId);
        if (!query->exec()) {
            fail(QStringLiteral("cannot release candidate %1").arg(candidateId), *query);
            if (m_broken)
                return;
        }
    }
    if (locked)
        releaseLock(candidateId);
}

void ServerStore::releaseLock(int candidateId)
{
    const Statement query = statement(QStringLiteral("SELECT pg_advisory_unlock(?, ?)"));
    query->addBindValue(lockClass);
    query->addBindValue(candidateId);
    if (!query->exec())
        fail(QStringLiteral("cannot unlock candidate %1").arg(candidateId), *query);
}

bool ServerStore::checkCourse(const CourseRecord &course, QString *why)
{
    const QString code = course.code.trimmed();
    if (code.isEmpty()) {
        *why = QStringLiteral("the course code is empty");
        return false;
    }
    if (course.name.trimmed().isEmpty()) {
        *why = QStringLiteral("the course name is empty");
        return false;
    }
    // Stations receive the codes and names as ";"-joined lists.
    if (course.code.contains(QLatin1Char(';')) || course.name.contains(QLatin1Char(';'))) {
        *why = QStringLiteral("course codes and names cannot contain ';'");
        return false;
    }
    if (hasControlCharacters(course.code) || hasControlCharacters(course.name)) {
        *why = QStringLiteral("course codes and names cannot contain control characters");
        return false;
    }
    return true;
}

bool ServerStore::checkCandidate(const CandidateRecord &c, QString *why)
{
    if (c.id < 0) {
        *why = QStringLiteral("the id must be a positive number");
        return false;
    }
    if (c.number.trimmed().isEmpty()) {
        *why = QStringLiteral("the candidate number is empty");
        return false;
    }
    if (c.number.trimmed() != c.number || hasControlCharacters(c.number)) {
        *why = QStringLiteral("the candidate number has surrounding blanks or control characters");
        return false;
    }
    if (c.courseCode.trimmed().isEmpty()) {
        *why = QStringLiteral("the course code is empty");
        return false;
    }
    if (c.licenceClass < 0 || c.licenceClass >= Constants::licenceClassCount) {
        *why = QStringLiteral("the licence class must be 0..%1 (%2)")
                   .arg(Constants::licenceClassCount - 1)
                   .arg(Constants::licenceClasses().join(QStringLiteral(", ")));
        return false;
    }
    if (c.fullName.trimmed().isEmpty()) {
        *why = QStringLiteral("the full name is empty");
        return false;
    }
    if (c.pid.trimmed().isEmpty()) {
        *why = QStringLiteral("the identity number is empty");
        return false;
    }
    if (!c.photoBase64.isEmpty()) {
        const QByteArray bytes = c.photoBase64.toLatin1();
        if (QByteArray::fromBase64(bytes, QByteArray::AbortOnBase64DecodingErrors).isEmpty()
            || QString::fromLatin1(bytes) != c.photoBase64) {
            *why = QStringLiteral("the photo is not Base64 text");
            return false;
        }
    }
    const int identityBytes = c.pid.toUtf8().size() + c.fullName.toUtf8().size() + c.photoBase64.toUtf8().size();
    if (identityBytes > maxIdentityBytes) {
        *why = QStringLiteral("identity number, name and photo take %1 bytes; one answer carries at most %2 "
                              "(a photo file of about %3 KiB)")
                   .arg(identityBytes)
                   .arg(maxIdentityBytes)
                   .arg(maxIdentityBytes * 3 / 4 / 1024);
        return false;
    }
    return true;
}

int ServerStore::situationCount()
{
    int count = 0;
    for (const int n : Constants::contestStructure())
        count += n;
    return count;
}

bool ServerStore::checkResult(const ResultRecord &r, QString *why)
{
    ResultDetail detail;
    if (!ResultDetail::parse(r.detail, &detail, why) || !detail.isComplete(situationCount(), why))
        return false;
    if (detail.total() != r.total) {
        *why = QStringLiteral("the scores add up to %1, the total says %2").arg(detail.total()).arg(r.total);
        return false;
    }
    if (r.passed != (r.total >= r.passScore)) {
        *why = QStringLiteral("passed=%1 contradicts total %2 against pass mark %3")
                   .arg(int(r.passed))
                   .arg(r.total)
                   .arg(r.passScore);
        return false;
    }
    return true;
}

bool ServerStore::addCourse(const CourseRecord &course)
{
    QString why;
    if (!checkCourse(course, &why))
        return fail(why);
    const Statement query = statement(QStringLiteral("INSERT INTO course (code, name) VALUES (?, ?)"));
    query->addBindValue(course.code.trimmed());
    query->addBindValue(course.name.trimmed());
    if (!query->exec())
        return fail(QStringLiteral("cannot add course %1").arg(course.code), *query);
    return true;
}

bool ServerStore::courses(QList<CourseRecord> *out)
{
    out->clear();
    const Statement query = statement(m_postgres ? QStringLiteral("SELECT code, name FROM course ORDER BY added")
                                                 : QStringLiteral("SELECT code, name FROM course ORDER BY rowid"));
    if (!query->exec())
        return fail(QStringLiteral("cannot read courses"), *query);
    while (query->next())
        out->append({query->value(0).toString(), query->value(1).toString()});
    return true;
}

ServerStore::Statement::~Statement()
{
    m_query->finish();
}

ServerStore::Statement ServerStore::statement(const QString &sql)
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
            fail(QStringLiteral("cannot prepare a statement"), *prepared.query);
    }
    return Statement(prepared.query.data());
}

ServerStore::Lookup ServerStore::lookUp(QSqlQuery &query, const QString &what)
{
    if (!query.exec()) {
        fail(what, query);
        return Lookup::Failed;
    }
    return query.next() ? Lookup::Found : Lookup::Missing;
}

ServerStore::Lookup ServerStore::course(const QString &code, CourseRecord *out)
{
    const Statement query = statement(QStringLiteral("SELECT code, name FROM course WHERE code = ?"));
    query->addBindValue(code);
    const Lookup found = lookUp(*query, QStringLiteral("cannot read course %1").arg(code));
    if (found == Lookup::Found)
        *out = {query->value(0).toString(), query->value(1).toString()};
    return found;
}

bool ServerStore::insertCandidate(CandidateRecord *c)
{
    QString why;
    if (!checkCandidate(*c, &why))
        return fail(QStringLiteral("candidate %1: %2").arg(c->number, why));
    CourseRecord course;
    switch (this->course(c->courseCode, &course)) {
    case Lookup::Failed:
        return false;
    case Lookup::Missing:
        return fail(QStringLiteral("candidate %1: no course %2").arg(c->number, c->courseCode));
    case Lookup::Found:
        break;
    }
    CandidateRecord existing;
    switch (candidate(c->courseCode, c->number, &existing)) {
    case Lookup::Failed:
        return false;
    case Lookup::Found:
        return fail(QStringLiteral("candidate %1 is already registered for course %2").arg(c->number, c->courseCode));
    case Lookup::Missing:
        break;
    }
    if (c->id > 0) {
        switch (candidateById(c->id, &existing)) {
        case Lookup::Failed:
            return false;
        case Lookup::Found:
            return fail(QStringLiteral("candidate %1: id %2 is taken").arg(c->number).arg(c->id));
        case Lookup::Missing:
            break;
        }
    }
    QSqlQuery query(database());
    qint64 id = c->id;
    if (id == 0) {
        // Chosen here rather than by either database, the same way for
        // both; addCandidates() keeps other writers out meanwhile.
        if (!query.exec(QStringLiteral("SELECT COALESCE(max(id), 0) + 1 FROM candidate")) || !query.next())
            return fail(QStringLiteral("cannot add candidate %1").arg(c->number), query);
        id = query.value(0).toLongLong();
        query.finish();
    }
    // Stations carry the id in a signed 32-bit field.
    if (id <= 0 || id > 0x7fffffff)
        return fail(QStringLiteral("candidate %1: id %2 does not fit the wire format").arg(c->number).arg(id));
    query.prepare(QStringLiteral("INSERT INTO candidate (id, number, course_code, licence_class, pid, full_name, "
                                 "photo, state) VALUES (?, ?, ?, ?, ?, ?, COALESCE(?, ''), ?)"));
    query.addBindValue(int(id));
    query.addBindValue(c->number);
    query.addBindValue(c->courseCode);
    query.addBindValue(c->licenceClass);
    query.addBindValue(c->pid);
    query.addBindValue(c->fullName);
    query.addBindValue(c->photoBase64);
    query.addBindValue(CandidateState::name(c->state));
    if (!query.exec())
        return fail(QStringLiteral("cannot add candidate %1").arg(c->number), query);
    c->id = int(id);
    return true;
}

bool ServerStore::addCandidate(CandidateRecord *candidate)
{
    QList<CandidateRecord> one{*candidate};
    if (!addCandidates(&one))
        return false;
    *candidate = one.first();
    return true;
}

bool ServerStore::addCandidates(QList<CandidateRecord> *candidates)
{
    StoreTransaction transaction(database(), m_postgres);
    if (!transaction.isActive())
        return fail(failureText(transaction.error()));
    if (m_postgres) {
        // Two commands adding candidates at once would choose the same ids.
        QSqlQuery lock(database());
        if (!lock.exec(QStringLiteral("LOCK TABLE candidate IN SHARE ROW EXCLUSIVE MODE")))
            return fail(QStringLiteral("cannot store the candidates"), lock);
    }
    for (CandidateRecord &c : *candidates) {
        if (!insertCandidate(&c))
            return false;
    }
    if (!transaction.commit())
        return fail(QStringLiteral("cannot store the candidates: ") + transaction.error());
    return true;
}

CandidateRecord ServerStore::candidateFrom(const QSqlQuery &query)
{
    CandidateRecord c;
    c.id = query.value(0).toInt();
    c.number = query.value(1).toString();
    c.courseCode = query.value(2).toString();
    c.licenceClass = query.value(3).toInt();
    c.pid = query.value(4).toString();
    c.fullName = query.value(5).toString();
    c.photoBase64 = query.value(6).toString();
    CandidateState::fromName(query.value(7).toString(), &c.state);
    return c;
}

ServerStore::Lookup ServerStore::candidate(const QString &courseCode, const QString &number, CandidateRecord *out)
{
    const Statement query = statement(QLatin1String(candidateColumns) + QStringLiteral("WHERE course_code = ? AND number = ?"));
    query->addBindValue(courseCode);
    query->addBindValue(number);
    const Lookup found = lookUp(*query, QStringLiteral("cannot read candidate %1").arg(number));
    if (found == Lookup::Found)
        *out = candidateFrom(*query);
    return found;
}

ServerStore::Lookup ServerStore::candidateById(int id, CandidateRecord *out, bool forUpdate)
{
    const Statement query = statement(QLatin1String(candidateColumns) + QStringLiteral("WHERE id = ?")
                  + (forUpdate ? QStringLiteral(" FOR UPDATE") : QString()));
    query->addBindValue(id);
    const Lookup found = lookUp(*query, QStringLiteral("cannot read candidate id %1").arg(id));
    if (found == Lookup::Found)
        *out = candidateFrom(*query);
    return found;
}

bool ServerStore::candidatesOfCourse(const QString &courseCode, QList<CandidateRecord> *out)
{
    out->clear();
    const Statement query = statement(QLatin1String(candidateColumns) + QStringLiteral("WHERE course_code = ? ORDER BY number"));
    query->addBindValue(courseCode);
    if (!query->exec())
        return fail(QStringLiteral("cannot read the candidates of %1").arg(courseCode), *query);
    while (query->next())
        out->append(candidateFrom(*query));
    return true;
}

bool ServerStore::setCandidateState(int id, CandidateState::Value state)
{
    const Statement query = statement(QStringLiteral("UPDATE candidate SET state = ? WHERE id = ?"));
    query->addBindValue(CandidateState::name(state));
    query->addBindValue(id);
    if (!query->exec())
        return fail(QStringLiteral("cannot change candidate id %1").arg(id), *query);
    if (query->numRowsAffected() != 1)
        return fail(QStringLiteral("no candidate with id %1").arg(id));
    return true;
}

ServerStore::Upload ServerStore::storeResult(const ResultRecord &r)
{
    QList<Upload> outcomes;
    QStringList reasons;
    storeResults({r}, &outcomes, &reasons);
    if (outcomes.first() == Upload::Rejected || outcomes.first() == Upload::Failed)
        fail(reasons.first());
    return outcomes.first();
}

void ServerStore::storeResults(const QList<ResultRecord> &results, QList<Upload> *outcomes, QStringList *reasons)
{
    *outcomes = QVector<Upload>(results.size(), Upload::Failed).toList();
    *reasons = QVector<QString>(results.size()).toList();
    // Rows are locked in the order of the candidates' ids, the same on every
    // server, so that two servers storing overlapping batches never wait for
    // each other in a circle.
    QVector<int> order;
    for (int i = 0; i < results.size(); ++i) {
        if (checkResult(results.at(i), &(*reasons)[i]))
            order.append(i);
        else
            (*outcomes)[i] = Upload::Rejected;
    }
    if (order.isEmpty())
        return;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return results.at(a).candidateId < results.at(b).candidateId; });
    // Nothing counts as stored before the commit: a failure anywhere undoes
    // the whole batch, and each of its results is then Failed.
    auto failAll = [&](const QString &why) {
        for (const int i : qAsConst(order)) {
            (*outcomes)[i] = Upload::Failed;
            (*reasons)[i] = why;
        }
    };
    // What is read here stays true until the commit: on SQLite the
    // transaction holds the write lock from its start; on PostgreSQL the
    // candidate's row is locked, so that a server receiving the same result
    // at the same time waits and then finds it stored.
    StoreTransaction transaction(database(), m_postgres);
    if (!transaction.isActive()) {
        fail(failureText(transaction.error()));
        failAll(m_lastError);
        return;
    }
    for (const int i : qAsConst(order)) {
        const Upload outcome = storeOne(results.at(i));
        if (outcome == Upload::Failed) {
            failAll(m_lastError);
            return;
        }
        (*outcomes)[i] = outcome;
        if (outcome == Upload::Rejected)
            (*reasons)[i] = m_lastError;
    }
    if (!transaction.commit()) {
        fail(QStringLiteral("cannot store the result: ") + transaction.error());
        failAll(m_lastError);
    }
}

ServerStore::Upload ServerStore::storeOne(const ResultRecord &r)
{
    CandidateRecord candidate;
    switch (candidateById(r.candidateId, &candidate, m_postgres)) {
    case Lookup::Failed:
        return Upload::Failed;
    case Lookup::Missing:
        fail(QStringLiteral("no candidate with id %1").arg(r.candidateId));
        return Upload::Rejected;
    case Lookup::Found:
        break;
    }
    if (candidate.courseCode != r.courseCode) {
        fail(QStringLiteral("candidate id %1 belongs to course %2, not %3")
                 .arg(r.candidateId)
                 .arg(candidate.courseCode, r.courseCode));
        return Upload::Rejected;
    }
    const int passMark = Constants::passScores().value(candidate.licenceClass, -1);
    if (r.passScore != passMark) {
        fail(QStringLiteral("pass mark %1 is not the pass mark %2 of licence class %3")
                 .arg(r.passScore)
                 .arg(passMark)
                 .arg(Constants::licenceClasses().value(candidate.licenceClass)));
        return Upload::Rejected;
    }

    // A station repeats an upload it could not confirm: the same result, by
    // its key, is stored already. (No ON CONFLICT: a process that also has
    // SQLCipher loaded runs the SQLite driver on SQLCipher's older engine.)
    {
        const Statement query = statement(QStringLiteral("SELECT 1 FROM result WHERE candidate_id = ? AND "
                                                         "course_code = ? AND total = ? AND pass_score = ? AND "
                                                         "passed = ? AND detail = ?"));
        bindResultKey(*query, r);
        switch (lookUp(*query, QStringLiteral("cannot read results"))) {
        case Lookup::Failed:
            return Upload::Failed;
        case Lookup::Found:
            return Upload::Duplicate;
        case Lookup::Missing:
            break;
        }
    }
    // Only an admitted candidate produces a new result.
    if (candidate.state != CandidateState::Ready) {
        fail(QStringLiteral("candidate id %1 is %2, not ready for an examination")
                 .arg(r.candidateId)
                 .arg(CandidateState::name(candidate.state)));
        return Upload::Rejected;
    }
    {
        const Statement query = statement(QStringLiteral("INSERT INTO result (candidate_id, course_code, total, "
                                                         "pass_score, passed, detail, received_at, station, centre) "
                                                         "VALUES (?, ?, ?, ?, ?, ?, ?, COALESCE(?, ''), "
                                                         "COALESCE(?, ''))"));
        bindResultKey(*query, r);
        const QDateTime at = r.receivedAt.isValid() ? r.receivedAt : QDateTime::currentDateTimeUtc();
        query->addBindValue(at.toUTC().toString(Qt::ISODateWithMs));
        query->addBindValue(r.station);
        query->addBindValue(r.centre);
        if (!query->exec()) {
            fail(QStringLiteral("cannot store the result"), *query);
            return Upload::Failed;
        }
    }
    {
        const Statement query = statement(QStringLiteral("UPDATE candidate SET state = 'examined' WHERE id = ?"));
        query->addBindValue(r.candidateId);
        if (!query->exec()) {
            fail(QStringLiteral("cannot update the candidate's state"), *query);
            return Upload::Failed;
        }
    }
    return Upload::Stored;
}

namespace {

const char resultColumns[] = "r.id, r.candidate_id, r.course_code, r.total, r.pass_score, r.passed, r.detail, "
                             "r.received_at, r.station, c.number, c.full_name, c.pid, c.licence_class, r.centre "
                             "FROM result r JOIN candidate c ON c.id = r.candidate_id ";

ResultRecord resultFrom(const QSqlQuery &query)
{
    ResultRecord r;
    r.id = query.value(0).toLongLong();
    r.candidateId = query.value(1).toInt();
    r.courseCode = query.value(2).toString();
    r.total = query.value(3).toInt();
    r.passScore = query.value(4).toInt();
    r.passed = query.value(5).toInt() != 0;
    r.detail = query.value(6).toString();
    r.receivedAt = QDateTime::fromString(query.value(7).toString(), Qt::ISODateWithMs);
    r.station = query.value(8).toString();
    r.candidateNumber = query.value(9).toString();
    r.candidateName = query.value(10).toString();
    r.candidatePid = query.value(11).toString();
    r.licenceClass = query.value(12).toInt();
    r.centre = query.value(13).toString();
    return r;
}

} // namespace

ServerStore::Lookup ServerStore::latestResult(int candidateId, const QString &courseCode, ResultRecord *out)
{
    const Statement query = statement(QStringLiteral("SELECT ") + QLatin1String(resultColumns)
                  + QStringLiteral("WHERE r.candidate_id = ? AND r.course_code = ? ORDER BY r.id DESC LIMIT 1"));
    query->addBindValue(candidateId);
    query->addBindValue(courseCode);
    const Lookup found = lookUp(*query, QStringLiteral("cannot read results"));
    if (found == Lookup::Found)
        *out = resultFrom(*query);
    return found;
}

bool ServerStore::results(const QString &courseCode, QList<ResultRecord> *out)
{
    ResultFilter filter;
    filter.courseCode = courseCode;
    return resultsMatching(filter, out);
}

bool ServerStore::resultsMatching(const ResultFilter &filter, QList<ResultRecord> *out)
{
    out->clear();
    // received_at is UTC in one fixed ISO form, so comparing the text orders
    // the instants, in SQLite and PostgreSQL alike.
    auto stamp = [](const QDateTime &at) { return at.toUTC().toString(Qt::ISODateWithMs); };
    QStringList conditions;
    QVariantList values;
    if (!filter.courseCode.isEmpty()) {
        conditions << QStringLiteral("r.course_code = ?");
        values << filter.courseCode;
    }
    if (filter.candidateId != 0) {
        conditions << QStringLiteral("r.candidate_id = ?");
        values << filter.candidateId;
    }
    if (filter.from.isValid()) {
        conditions << QStringLiteral("r.received_at >= ?");
        values << stamp(filter.from);
    }
    if (filter.until.isValid()) {
        conditions << QStringLiteral("r.received_at < ?");
        values << stamp(filter.until);
    }
    const QString where = conditions.isEmpty() ? QString()
                                               : QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    const Statement query = statement(QStringLiteral("SELECT ") + QLatin1String(resultColumns) + where + QStringLiteral(" ORDER BY r.id"));
    for (const QVariant &value : qAsConst(values))
        query->addBindValue(value);
    if (!query->exec())
        return fail(QStringLiteral("cannot read results"), *query);
    while (query->next())
        out->append(resultFrom(*query));
    return true;
}
