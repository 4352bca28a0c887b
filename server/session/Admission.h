#pragma once

#include "CandidateRecord.h"
#include "EnterResponseMessage.h"

#include <QPointer>
#include <QString>

class CandidateHolds;
class QObject;
class ServerStore;

// Whether a station may examine a candidate, decided from the store and the
// holds alone, so that the rules can be tried without a connection. A ready
// candidate who is admitted is held for the station before the answer goes
// out; every other decision leaves the holds as they were.
class Admission
{
public:
    struct Decision
    {
        EnterResponseMessage::Code code = EnterResponseMessage::Error;
        // False when the course or the candidate could not be found (code 1)
        // or looked up (code -1): candidate is then empty and reason is the
        // look-up's.
        bool registered = false;
        CandidateRecord candidate;
        // What the log needs beyond the code; may be empty.
        QString reason;
    };

    // The holds may be null or go away: nobody is admitted then.
    Admission(ServerStore *store, CandidateHolds *holds);

    Decision decide(const QString &course, const QString &number, QObject *station);
    // Every hold goes through here. The station's own hold of the
    // candidate, if it has one:
    void release(int candidateId, const QObject *station);
    // All of the station's holds: it is gone.
    void releaseAll(const QObject *station);
    // Whoever holds the candidate: the examination is over.
    void releaseExamined(int candidateId);

private:
    void admitReady(Decision *decision, QObject *station);
    void admitExamined(Decision *decision, const QString &course);

    ServerStore *m_store;
    QPointer<CandidateHolds> m_holds;
};
