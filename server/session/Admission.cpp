#include "Admission.h"

#include "CandidateHolds.h"
#include "ServerStore.h"

Admission::Admission(ServerStore *store, CandidateHolds *holds)
    : m_store(store)
    , m_holds(holds)
{
}

Admission::Decision Admission::decide(const QString &course, const QString &number, QObject *station)
{
    Decision decision;
    // Refuses the entry unless the lookup found its record.
    auto refused = [&](ServerStore::Lookup lookup, const QString &missing) {
        switch (lookup) {
        case ServerStore::Lookup::Found:
            return false;
        case ServerStore::Lookup::Missing:
            decision.code = EnterResponseMessage::UnknownCandidate;
            decision.reason = missing;
            return true;
        case ServerStore::Lookup::Failed:
            break;
        }
        decision.code = EnterResponseMessage::Error;
        decision.reason = m_store->lastError();
        return true;
    };
    CourseRecord courseRecord;
    CandidateRecord candidate;
    if (refused(m_store->course(course, &courseRecord), QStringLiteral("no such course"))
        || refused(m_store->candidate(course, number, &candidate), QStringLiteral("not registered")))
        return decision;

    decision.registered = true;
    decision.candidate = candidate;
    switch (candidate.state) {
    case CandidateState::Ready:
        admitReady(&decision, station);
        break;
    case CandidateState::Examined:
        admitExamined(&decision, course);
        break;
    case CandidateState::TheoryNotPassed:
        decision.code = EnterResponseMessage::TheoryNotPassed;
        break;
    case CandidateState::NotRequired:
        decision.code = EnterResponseMessage::NotRequired;
        break;
    }
    return decision;
}

void Admission::admitReady(Decision *decision, QObject *station)
{
    const int id = decision->candidate.id;
    const QObject *examiner = m_holds ? m_holds->holder(id) : nullptr;
    if (examiner && examiner != station) {
        decision->code = EnterResponseMessage::AlreadyExamining;
        decision->reason = QStringLiteral("being examined at ") + examiner->objectName();
        return;
    }
    switch (m_holds ? m_holds->hold(id, station) : CandidateHolds::Outcome::Closed) {
    case CandidateHolds::Outcome::Held:
        break;
    case CandidateHolds::Outcome::Busy:
        decision->code = EnterResponseMessage::AlreadyExamining;
        decision->reason = QStringLiteral("being examined at another server");
        return;
    case CandidateHolds::Outcome::Closed:
        decision->reason = QStringLiteral("the server is stopping");
        return;
    case CandidateHolds::Outcome::Failed:
        decision->reason = m_store->lastError();
        return;
    }
    if (!m_holds || m_holds->holder(id) != station)
        return;
    // Another server may have stored the candidate's result and let go of
    // the candidate between the look-up and the hold.
    CandidateRecord now;
    if (m_store->candidateById(id, &now) != ServerStore::Lookup::Found) {
        release(id, station);
        decision->reason = m_store->lastError();
    } else if (now.state != CandidateState::Ready) {
        release(id, station);
        decision->reason = QStringLiteral("no longer ready: ") + CandidateState::name(now.state);
    } else {
        decision->code = EnterResponseMessage::Admitted;
    }
}

void Admission::admitExamined(Decision *decision, const QString &course)
{
    ResultRecord result;
    switch (m_store->latestResult(decision->candidate.id, course, &result)) {
    case ServerStore::Lookup::Found:
        decision->code = EnterResponseMessage::ReviewAvailable;
        break;
    case ServerStore::Lookup::Missing:
        decision->reason = QStringLiteral("examined, but no result is stored");
        break;
    case ServerStore::Lookup::Failed:
        decision->reason = m_store->lastError();
        break;
    }
}

void Admission::release(int candidateId, const QObject *station)
{
    if (m_holds && candidateId != 0)
        m_holds->release(candidateId, station);
}

void Admission::releaseAll(const QObject *station)
{
    if (m_holds)
        m_holds->releaseAll(station);
}

void Admission::releaseExamined(int candidateId)
{
    if (m_holds)
        m_holds->releaseCandidate(candidateId);
}
