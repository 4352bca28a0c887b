#include "ResultQueries.h"

#include "RecordChecks.h"
#include "StoreConnection.h"
#include "StoreTransaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

using Upload = ServerStore::Upload;

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

// resultFrom() reads the columns in this order.
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

ResultQueries::ResultQueries(ServerStore &store, StoreConnection &connection)
    : m_store(store)
    , m_connection(connection)
{
}

void ResultQueries::store(const QList<ResultRecord> &results, QList<Upload> *outcomes, QStringList *reasons)
{
    *outcomes = QVector<Upload>(results.size(), Upload::Failed).toList();
    *reasons = QVector<QString>(results.size()).toList();
    // Rows are locked in the order of the candidates' ids, the same on every
    // server, so that two servers storing overlapping batches never wait for
    // each other in a circle.
    QVector<int> order;
    for (int i = 0; i < results.size(); ++i) {
        if (RecordChecks::checkResult(results.at(i), &(*reasons)[i]))
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
    StoreTransaction transaction(m_connection.database(), m_connection.backend());
    if (!transaction.isActive()) {
        m_connection.fail(m_connection.failureText(transaction.error()));
        failAll(m_store.lastError());
        return;
    }
    for (const int i : qAsConst(order)) {
        const Upload outcome = storeOne(results.at(i));
        if (outcome == Upload::Failed) {
            failAll(m_store.lastError());
            return;
        }
        (*outcomes)[i] = outcome;
        if (outcome == Upload::Rejected)
            (*reasons)[i] = m_store.lastError();
    }
    if (!transaction.commit()) {
        m_connection.fail(QStringLiteral("cannot store the result: ") + transaction.error());
        failAll(m_store.lastError());
    }
}

Upload ResultQueries::reject(const QString &why)
{
    m_connection.fail(why);
    return Upload::Rejected;
}

Upload ResultQueries::storeOne(const ResultRecord &r)
{
    CandidateRecord candidate;
    switch (m_store.candidateById(r.candidateId, &candidate, true)) {
    case ServerStore::Lookup::Failed:
        return Upload::Failed;
    case ServerStore::Lookup::Missing:
        return reject(QStringLiteral("no candidate with id %1").arg(r.candidateId));
    case ServerStore::Lookup::Found:
        break;
    }
    QString why;
    if (!RecordChecks::checkUpload(candidate, r, &why))
        return reject(why);

    // A station repeats an upload it could not confirm: the same result, by
    // its key, is stored already. (No ON CONFLICT: a process that also has
    // SQLCipher loaded runs the SQLite driver on SQLCipher's older engine.)
    {
        const StoreConnection::Statement query = m_connection.statement(
            QStringLiteral("SELECT 1 FROM result WHERE candidate_id = ? AND course_code = ? AND total = ? AND "
                           "pass_score = ? AND passed = ? AND detail = ?"));
        bindResultKey(*query, r);
        switch (m_connection.lookUp(*query, QStringLiteral("cannot read results"))) {
        case ServerStore::Lookup::Failed:
            return Upload::Failed;
        case ServerStore::Lookup::Found:
            return Upload::Duplicate;
        case ServerStore::Lookup::Missing:
            break;
        }
    }
    if (!RecordChecks::checkNewResult(candidate, r, &why))
        return reject(why);
    {
        const StoreConnection::Statement query = m_connection.statement(
            QStringLiteral("INSERT INTO result (candidate_id, course_code, total, pass_score, passed, detail, "
                           "received_at, station, centre) VALUES (?, ?, ?, ?, ?, ?, ?, COALESCE(?, ''), "
                           "COALESCE(?, ''))"));
        bindResultKey(*query, r);
        const QDateTime at = r.receivedAt.isValid() ? r.receivedAt : QDateTime::currentDateTimeUtc();
        query->addBindValue(at.toUTC().toString(Qt::ISODateWithMs));
        query->addBindValue(r.station);
        query->addBindValue(r.centre);
        if (!query->exec()) {
            m_connection.fail(QStringLiteral("cannot store the result"), query->lastError());
            return Upload::Failed;
        }
    }
    {
        const StoreConnection::Statement query =
            m_connection.statement(QStringLiteral("UPDATE candidate SET state = 'examined' WHERE id = ?"));
        query->addBindValue(r.candidateId);
        if (!query->exec()) {
            m_connection.fail(QStringLiteral("cannot update the candidate's state"), query->lastError());
            return Upload::Failed;
        }
    }
    return Upload::Stored;
}

ServerStore::Lookup ResultQueries::latest(int candidateId, const QString &courseCode, ResultRecord *out)
{
    const StoreConnection::Statement query = m_connection.statement(
        QStringLiteral("SELECT ") + QLatin1String(resultColumns)
        + QStringLiteral("WHERE r.candidate_id = ? AND r.course_code = ? ORDER BY r.id DESC LIMIT 1"));
    query->addBindValue(candidateId);
    query->addBindValue(courseCode);
    const ServerStore::Lookup found = m_connection.lookUp(*query, QStringLiteral("cannot read results"));
    if (found == ServerStore::Lookup::Found)
        *out = resultFrom(*query);
    return found;
}

bool ResultQueries::matching(const ResultFilter &filter, QList<ResultRecord> *out)
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
    const StoreConnection::Statement query = m_connection.statement(
        QStringLiteral("SELECT ") + QLatin1String(resultColumns) + where + QStringLiteral(" ORDER BY r.id"));
    for (const QVariant &value : qAsConst(values))
        query->addBindValue(value);
    if (!query->exec())
        return m_connection.fail(QStringLiteral("cannot read results"), query->lastError());
    while (query->next())
        out->append(resultFrom(*query));
    return true;
}
