#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

class ServerStore;

// Which candidates are under examination and at which station, so that a
// second station entering the same candidate is refused. A holder is any
// object (a station's session); a holder that is destroyed holds nothing.
// Each hold also locks the candidate in the store, which refuses it to the
// stations of every other server on a shared database.
// Closed holds refuse every new hold: the server is stopping.
class CandidateHolds : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Held, Busy, Closed, Failed };

    // The store may be null: holds among this server's stations only.
    explicit CandidateHolds(ServerStore *store, QObject *parent = nullptr);

    void open() { m_open = true; }
    // Releases every hold and refuses new ones.
    void close();

    // The live holder of the candidate here, or null.
    QObject *holder(int candidateId) const;
    // Busy when another live holder here or another server has the
    // candidate; holding one's own candidate again is Held. Failed leaves
    // the reason in the store's lastError().
    Outcome hold(int candidateId, QObject *holder);
    // Only the holder's own hold (or a dead holder's) is released.
    void release(int candidateId, const QObject *holder);
    // Any holder's: the candidate's examination is over.
    void releaseCandidate(int candidateId);
    void releaseAll(const QObject *holder);

private:
    void drop(int candidateId);

    ServerStore *m_store;
    // An entry exists exactly while the store's lock is taken.
    QHash<int, QPointer<QObject>> m_holders;
    bool m_open = false;
};
