#pragma once

#include "ServerStore.h"

class StoreConnection;

// The result operations of ServerStore: storing uploads under the upload
// rules, and reading results back. Failures are reported through the
// connection, so they land in the store's lastError() like any other.
class ResultQueries
{
public:
    ResultQueries(ServerStore &store, StoreConnection &connection);

    // As ServerStore::storeResults().
    void store(const QList<ResultRecord> &results, QList<ServerStore::Upload> *outcomes, QStringList *reasons);
    ServerStore::Lookup latest(int candidateId, const QString &courseCode, ResultRecord *out);
    bool matching(const ResultFilter &filter, QList<ResultRecord> *out);

private:
    // One result within the transaction.
    ServerStore::Upload storeOne(const ResultRecord &result);
    ServerStore::Upload reject(const QString &why);

    ServerStore &m_store;
    StoreConnection &m_connection;
};
