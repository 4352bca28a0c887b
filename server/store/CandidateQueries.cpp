#include "CandidateQueries.h"

#include "StoreConnection.h"
#include "StoreTransaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// candidateFrom() reads the columns in this order.
const char candidateColumns[] = "SELECT id, number, course_code, licence_class, pid, full_name, photo, state "
                                "FROM candidate ";

} // namespace

CandidateQueries::CandidateQueries(ServerStore &store, StoreConnection &connection)
    : m_store(store)
    , m_connection(connection)
{
}

bool CandidateQueries::insert(CandidateRecord *c)
{
    QString why;
    if (!RecordChecks::checkCandidate(*c, &why))
        return m_connection.fail(QStringLiteral("candidate %1: %2").arg(c->number, why));
    switch (RecordChecks::clashOf(m_store, *c)) {
    case RecordChecks::Clash::Failed:
        return false;
    case RecordChecks::Clash::NoCourse:
        return m_connection.fail(QStringLiteral("candidate %1: no course %2").arg(c->number, c->courseCode));
    case RecordChecks::Clash::NumberTaken:
        return m_connection.fail(QStringLiteral("candidate %1 is already registered for course %2").arg(c->number, c->courseCode));
    case RecordChecks::Clash::IdTaken:
        return m_connection.fail(QStringLiteral("candidate %1: id %2 is taken").arg(c->number).arg(c->id));
    case RecordChecks::Clash::None:
        break;
    }
    QSqlQuery query(m_connection.database());
    qint64 id = c->id;
    if (id == 0) {
        // Chosen here rather than by either database, the same way for
        // both; addCandidates() keeps other writers out meanwhile.
        if (!query.exec(QStringLiteral("SELECT COALESCE(max(id), 0) + 1 FROM candidate")) || !query.next())
            return m_connection.fail(QStringLiteral("cannot add candidate %1").arg(c->number), query.lastError());
        id = query.value(0).toLongLong();
        query.finish();
    }
    // Stations carry the id in a signed 32-bit field.
    if (id <= 0 || id > 0x7fffffff)
        return m_connection.fail(QStringLiteral("candidate %1: id %2 does not fit the wire format").arg(c->number).arg(id));
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
        return m_connection.fail(QStringLiteral("cannot add candidate %1").arg(c->number), query.lastError());
    c->id = int(id);
    return true;
}

bool CandidateQueries::add(QList<CandidateRecord> *candidates)
{
    StoreTransaction transaction(m_connection.database(), m_connection.backend());
    if (!transaction.isActive())
        return m_connection.fail(m_connection.failureText(transaction.error()));
    if (!m_connection.backend().lockCandidateIds(m_connection))
        return false;
    for (CandidateRecord &c : *candidates) {
        if (!insert(&c))
            return false;
    }
    if (!transaction.commit())
        return m_connection.fail(QStringLiteral("cannot store the candidates: ") + transaction.error());
    return true;
}

CandidateRecord CandidateQueries::candidateFrom(const QSqlQuery &query)
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

ServerStore::Lookup CandidateQueries::byNumber(const QString &courseCode, const QString &number, CandidateRecord *out)
{
    const StoreConnection::Statement query =
        m_connection.statement(QLatin1String(candidateColumns) + QStringLiteral("WHERE course_code = ? AND number = ?"));
    query->addBindValue(courseCode);
    query->addBindValue(number);
    const ServerStore::Lookup found = m_connection.lookUp(*query, QStringLiteral("cannot read candidate %1").arg(number));
    if (found == ServerStore::Lookup::Found)
        *out = candidateFrom(*query);
    return found;
}

ServerStore::Lookup CandidateQueries::byId(int id, CandidateRecord *out, bool forUpdate)
{
    const StoreConnection::Statement query = m_connection.statement(QLatin1String(candidateColumns) + QStringLiteral("WHERE id = ?")
                                                             + (forUpdate ? m_connection.backend().lockRowsClause() : QString()));
    query->addBindValue(id);
    const ServerStore::Lookup found = m_connection.lookUp(*query, QStringLiteral("cannot read candidate id %1").arg(id));
    if (found == ServerStore::Lookup::Found)
        *out = candidateFrom(*query);
    return found;
}

bool CandidateQueries::ofCourse(const QString &courseCode, QList<CandidateRecord> *out)
{
    out->clear();
    const StoreConnection::Statement query =
        m_connection.statement(QLatin1String(candidateColumns) + QStringLiteral("WHERE course_code = ? ORDER BY number"));
    query->addBindValue(courseCode);
    if (!query->exec())
        return m_connection.fail(QStringLiteral("cannot read the candidates of %1").arg(courseCode), query->lastError());
    while (query->next())
        out->append(candidateFrom(*query));
    return true;
}

bool CandidateQueries::setState(int id, CandidateState::Value state)
{
    const StoreConnection::Statement query = m_connection.statement(QStringLiteral("UPDATE candidate SET state = ? WHERE id = ?"));
    query->addBindValue(CandidateState::name(state));
    query->addBindValue(id);
    if (!query->exec())
        return m_connection.fail(QStringLiteral("cannot change candidate id %1").arg(id), query->lastError());
    if (query->numRowsAffected() != 1)
        return m_connection.fail(QStringLiteral("no candidate with id %1").arg(id));
    return true;
}
