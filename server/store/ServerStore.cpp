#include "ServerStore.h"

#include "CandidateQueries.h"
#include "ResultQueries.h"
#include "ServerLogging.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <QVariant>
#include <QtDebug>

namespace {

QAtomicInt connectionCounter;

} // namespace

ServerStore::ServerStore(QObject *parent)
    : QObject(parent)
    , m_db(new StoreConnection(QStringLiteral("hazard-server-store-%1").arg(connectionCounter.fetchAndAddRelaxed(1)),
                               [this](const QString &what, const QSqlError *error) {
                                   if (error)
                                       fail(what, *error);
                                   else
                                       fail(what);
                               }))
    , m_candidates(new CandidateQueries(*this, *m_db))
    , m_results(new ResultQueries(*this, *m_db))
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

bool ServerStore::isOpen() const
{
    return m_db->isOpen();
}

std::optional<ControlKey> ServerStore::controlKey(const QString &location, quint16 port)
{
    return StoreBackend::forLocation(location)->controlKey(location, port);
}

QString ServerStore::shownLocation(const QString &location)
{
    return StoreBackend::shownLocation(location);
}

bool ServerStore::fail(const QString &what, const QSqlError &error)
{
    m_lastError = what + QStringLiteral(": ") + m_db->failureText(error.text().simplified());
    if (m_db->backend().isConnectionLost(error) && !m_broken) {
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
    m_db->setBackend(StoreBackend::forLocation(location));
    if (!connectTo(location, mode == OpenMode::MustExist)) {
        m_db->drop();
        return false;
    }
    if (!setUp(mode)) {
        close();
        return false;
    }
    return true;
}

bool ServerStore::connectTo(const QString &location, bool mustExist)
{
    m_location = location;
    m_path = shownLocation(location);
    return m_db->backend().connect(*m_db, location, mustExist);
}

bool ServerStore::setUp(OpenMode mode)
{
    StoreBackend &backend = m_db->backend();
    int version = 0;
    if (!backend.readVersion(*m_db, m_path, &version))
        return false;
    if (version > schemaVersion)
        return fail(QStringLiteral("%1 has schema version %2, newer than the %3 this hazard-server knows; "
                                   "run a newer hazard-server")
                        .arg(m_path)
                        .arg(version)
                        .arg(schemaVersion));
    if (version == 0 && mode == OpenMode::MustExist)
        return fail(QStringLiteral("%1 is empty (create the tables with: hazard-server init --db %1)").arg(m_path));
    if (!backend.prepareDatabase(*m_db, m_path))
        return false;
    if (version == schemaVersion)
        return true;
    // The version found when this run changed the tables, if it did.
    const int found = version;
    if (!StoreSchema::upgrade(*m_db, backend, m_path, found, &version))
        return false;
    if (version == 0)
        m_created = true;
    else if (version > 0)
        qCInfo(lcServer).noquote() << QStringLiteral("%1 upgraded from schema version %2 to %3").arg(m_path).arg(version).arg(schemaVersion);
    return true;
}

void ServerStore::close()
{
    if (m_wroteHolds && !m_broken && isOpen()) {
        // Holds left behind would otherwise keep their candidates from the
        // other servers until their lease ends.
        m_db->backend().dropAllHolds(*m_db, m_runId);
    }
    m_wroteHolds = false;
    m_locks.clear();
    m_lockless.clear();
    m_broken = false;
    m_db->setOutageCause(QString());
    m_reconnectDelayMs = 0;
    m_lastAttempt.invalidate();
    const bool connected = QSqlDatabase::contains(m_db->name());
    m_db->drop();
    if (connected)
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
    // Prepared statements belong to the connection that is gone.
    m_db->drop();
    if (!connectTo(location, true)) {
        m_db->drop();
        // Told once, not at every attempt; what fails meanwhile gives the
        // latest reason (the database may answer "starting up", then refuse
        // the login).
        if (m_db->outageCause().isEmpty())
            qCWarning(lcServer).noquote() << QStringLiteral("%1; trying again until it answers").arg(m_lastError);
        m_db->setOutageCause(m_lastError);
        return false;
    }
    m_broken = false;
    m_db->setOutageCause(QString());
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
    // Holds released while the database was away.
    if (m_wroteHolds)
        m_db->backend().dropHoldsExcept(*m_db, m_locks, m_runId);
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
    if (m_broken)
        return reconnectIfBroken();
    if (!m_locks.isEmpty())
        return renewHolds() || reconnectIfBroken();
    return m_db->backend().ping(*m_db) || reconnectIfBroken();
}

bool ServerStore::renewHolds()
{
    QSet<int> renewed;
    if (!m_db->backend().renewHolds(*m_db, m_locks, m_runId, &renewed))
        return false;
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
                m_db->backend().releaseHoldLock(*m_db, id);
            break;
        case Lock::Failed:
            return false;
        }
    }
    return true;
}

ServerStore::Lock ServerStore::lockCandidate(int candidateId)
{
    if (m_locks.contains(candidateId))
        return Lock::Taken;
    return takeHold(candidateId);
}

ServerStore::Lock ServerStore::takeRow(int candidateId)
{
    const Lock taken = m_db->backend().takeHoldRow(*m_db, candidateId, m_runId);
    if (taken != Lock::Failed)
        m_wroteHolds = true;
    return taken;
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
    if (!m_db->backend().takeHoldLock(*m_db, candidateId))
        m_lockless.insert(candidateId);
    return Lock::Taken;
}

void ServerStore::unlockCandidate(int candidateId)
{
    const bool locked = !m_lockless.remove(candidateId);
    if (!m_locks.remove(candidateId) || m_broken)
        return;
    // The row first: the lock alone keeps no one out.
    if (!m_db->backend().releaseHoldRow(*m_db, candidateId, m_runId) && m_broken)
        return;
    if (locked)
        m_db->backend().releaseHoldLock(*m_db, candidateId);
}

bool ServerStore::addCourse(const CourseRecord &course)
{
    QString why;
    if (!checkCourse(course, &why))
        return fail(why);
    const StoreConnection::Statement query = m_db->statement(QStringLiteral("INSERT INTO course (code, name) VALUES (?, ?)"));
    query->addBindValue(course.code.trimmed());
    query->addBindValue(course.name.trimmed());
    if (!query->exec())
        return fail(QStringLiteral("cannot add course %1").arg(course.code), query->lastError());
    return true;
}

bool ServerStore::courses(QList<CourseRecord> *out)
{
    out->clear();
    const StoreConnection::Statement query = m_db->statement(m_db->backend().coursesInOrder());
    if (!query->exec())
        return fail(QStringLiteral("cannot read courses"), query->lastError());
    while (query->next())
        out->append({query->value(0).toString(), query->value(1).toString()});
    return true;
}

ServerStore::Lookup ServerStore::course(const QString &code, CourseRecord *out)
{
    const StoreConnection::Statement query = m_db->statement(QStringLiteral("SELECT code, name FROM course WHERE code = ?"));
    query->addBindValue(code);
    const Lookup found = m_db->lookUp(*query, QStringLiteral("cannot read course %1").arg(code));
    if (found == Lookup::Found)
        *out = {query->value(0).toString(), query->value(1).toString()};
    return found;
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
    return m_candidates->add(candidates);
}

ServerStore::Lookup ServerStore::candidate(const QString &courseCode, const QString &number, CandidateRecord *out)
{
    return m_candidates->byNumber(courseCode, number, out);
}

ServerStore::Lookup ServerStore::candidateById(int id, CandidateRecord *out, bool forUpdate)
{
    return m_candidates->byId(id, out, forUpdate);
}

bool ServerStore::candidatesOfCourse(const QString &courseCode, QList<CandidateRecord> *out)
{
    return m_candidates->ofCourse(courseCode, out);
}

bool ServerStore::setCandidateState(int id, CandidateState::Value state)
{
    return m_candidates->setState(id, state);
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
    m_results->store(results, outcomes, reasons);
}

ServerStore::Lookup ServerStore::latestResult(int candidateId, const QString &courseCode, ResultRecord *out)
{
    return m_results->latest(candidateId, courseCode, out);
}

bool ServerStore::results(const QString &courseCode, QList<ResultRecord> *out)
{
    ResultFilter filter;
    filter.courseCode = courseCode;
    return resultsMatching(filter, out);
}

bool ServerStore::resultsMatching(const ResultFilter &filter, QList<ResultRecord> *out)
{
    return m_results->matching(filter, out);
}
