#include "CandidateHolds.h"

CandidateHolds::CandidateHolds(QObject *parent)
    : QObject(parent)
{
}

void CandidateHolds::close()
{
    m_open = false;
    m_holders.clear();
}

QObject *CandidateHolds::holder(int candidateId) const
{
    return m_holders.value(candidateId);
}

bool CandidateHolds::hold(int candidateId, QObject *holder)
{
    if (!m_open || !holder)
        return false;
    const QObject *current = m_holders.value(candidateId);
    if (current && current != holder)
        return false;
    m_holders.insert(candidateId, holder);
    return true;
}

void CandidateHolds::release(int candidateId, const QObject *holder)
{
    auto it = m_holders.find(candidateId);
    if (it != m_holders.end() && (!it.value() || it.value() == holder))
        m_holders.erase(it);
}

void CandidateHolds::releaseCandidate(int candidateId)
{
    m_holders.remove(candidateId);
}

void CandidateHolds::releaseAll(const QObject *holder)
{
    for (auto it = m_holders.begin(); it != m_holders.end();) {
        if (!it.value() || it.value() == holder)
            it = m_holders.erase(it);
        else
            ++it;
    }
}
