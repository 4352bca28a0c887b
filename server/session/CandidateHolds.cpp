#include "CandidateHolds.h"

#include "ServerStore.h"

CandidateHolds::CandidateHolds(ServerStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
}

void CandidateHolds::close()
{
    m_open = false;
    const QList<int> held = m_holders.keys();
    for (const int id : held)
        drop(id);
}

QObject *CandidateHolds::holder(int candidateId) const
{
    return m_holders.value(candidateId);
}

CandidateHolds::Outcome CandidateHolds::hold(int candidateId, QObject *holder)
{
    if (!m_open || !holder)
        return Outcome::Closed;
    auto it = m_holders.find(candidateId);
    if (it != m_holders.end()) {
        if (it.value() && it.value() != holder)
            return Outcome::Busy;
        it.value() = holder;
        return Outcome::Held;
    }
    if (m_store) {
        switch (m_store->lockCandidate(candidateId)) {
        case ServerStore::Lock::Taken:
            break;
        case ServerStore::Lock::Busy:
            return Outcome::Busy;
        case ServerStore::Lock::Failed:
            return Outcome::Failed;
        }
    }
    m_holders.insert(candidateId, holder);
    return Outcome::Held;
}

void CandidateHolds::drop(int candidateId)
{
    if (m_holders.remove(candidateId) && m_store)
        m_store->unlockCandidate(candidateId);
}

void CandidateHolds::release(int candidateId, const QObject *holder)
{
    auto it = m_holders.find(candidateId);
    if (it != m_holders.end() && (!it.value() || it.value() == holder))
        drop(candidateId);
}

void CandidateHolds::releaseCandidate(int candidateId)
{
    drop(candidateId);
}

void CandidateHolds::releaseAll(const QObject *holder)
{
    const QList<int> held = m_holders.keys();
    for (const int id : held) {
        const QObject *current = m_holders.value(id);
        if (!current || current == holder)
            drop(id);
    }
}
