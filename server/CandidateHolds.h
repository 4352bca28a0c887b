#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

// Which candidates are under examination and at which station, so that a
// second station entering the same candidate is refused. A holder is any
// object (a station's session); a holder that is destroyed holds nothing.
// Closed holds refuse every new hold: the server is stopping.
class CandidateHolds : public QObject
{
    Q_OBJECT
public:
    explicit CandidateHolds(QObject *parent = nullptr);

    void open() { m_open = true; }
    // Releases every hold and refuses new ones.
    void close();

    // The live holder of the candidate, or null.
    QObject *holder(int candidateId) const;
    // False when another live holder has the candidate or the holds are
    // closed; holding one's own candidate again succeeds.
    bool hold(int candidateId, QObject *holder);
    // Only the holder's own hold (or a dead holder's) is released.
    void release(int candidateId, const QObject *holder);
    // Any holder's: the candidate's examination is over.
    void releaseCandidate(int candidateId);
    void releaseAll(const QObject *holder);

private:
    QHash<int, QPointer<QObject>> m_holders;
    bool m_open = false;
};
