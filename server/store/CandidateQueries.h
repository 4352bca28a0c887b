#pragma once

#include "ServerStore.h"

class QSqlQuery;
class StoreConnection;

// The candidate operations of ServerStore. Failures are reported through the
// connection, so they land in the store's lastError() like any other.
class CandidateQueries
{
public:
    CandidateQueries(ServerStore &store, StoreConnection &connection);

    // As ServerStore::addCandidates(): all or nothing.
    bool add(QList<CandidateRecord> *candidates);
    ServerStore::Lookup byNumber(const QString &courseCode, const QString &number, CandidateRecord *out);
    ServerStore::Lookup byId(int id, CandidateRecord *out, bool forUpdate);
    bool ofCourse(const QString &courseCode, QList<CandidateRecord> *out);
    bool setState(int id, CandidateState::Value state);

private:
    // One candidate within add()'s transaction.
    bool insert(CandidateRecord *candidate);
    static CandidateRecord candidateFrom(const QSqlQuery &query);

    ServerStore &m_store;
    StoreConnection &m_connection;
};
