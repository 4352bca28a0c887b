#include "ResultWriter.h"

ResultWriter::ResultWriter(ServerStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
}

void ResultWriter::submit(const ResultRecord &result, QObject *receiver, Done done)
{
    m_pending.append({result, receiver, std::move(done)});
    if (m_scheduled)
        return;
    m_scheduled = true;
    // Queued behind what the event loop holds already, which is where the
    // other stations' uploads of the same moment wait.
    QMetaObject::invokeMethod(this, &ResultWriter::write, Qt::QueuedConnection);
}

void ResultWriter::write()
{
    m_scheduled = false;
    const QList<Pending> batch = std::exchange(m_pending, {});
    QList<ResultRecord> results;
    for (const Pending &p : batch)
        results.append(p.result);
    QList<ServerStore::Upload> outcomes;
    QStringList reasons;
    m_store->reconnectIfBroken();
    m_store->storeResults(results, &outcomes, &reasons);
    for (int i = 0; i < batch.size(); ++i) {
        if (batch.at(i).receiver)
            batch.at(i).done(outcomes.at(i), reasons.at(i));
    }
}
