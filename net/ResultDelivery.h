#pragma once

#include "ResultOutbox.h"

#include <QHash>
#include <QList>
#include <QString>

#include <mutex>

class ResultLink;

// Sees each examination result of this station to the server. The protocol
// has no acknowledgement of a result, so a result is written to the outbox
// before it is sent, and a course list request is sent behind it on the same
// connection: the answer to that request (the barrier) tells that the server
// has dealt with the result, which is then marked delivered. A result whose
// link was lost is sent again after the next key exchange, in this run or,
// from the outbox, in a later one.
//
// deliver() belongs to the GUI thread, which is the only one that makes a
// link while a delivery check runs; keyExchanged() and takeCourseList()
// belong to the link's receiving thread. The tracking and the barriers are
// guarded by one lock, which is also held while the link queues the frames it
// guards, so that a result is never sent twice on one connection.
class ResultDelivery
{
public:
    // The link is not owned and must outlive this object.
    ResultDelivery(const QString &outboxPath, ResultLink *link);

    ResultOutbox *outbox() { return &m_outbox; }

    // Writes the result to the outbox, then sends it with the delivery check.
    void deliver(ResultOutbox::Entry entry);
    // The challenge of the current connection has just been answered and its
    // key installed: every undelivered result not already on it is sent.
    void keyExchanged();
    // For each course list received: true when it answered a barrier, which
    // concerns no one else (the window asked for no course list).
    bool takeCourseList();

private:
    // How far an undelivered result has come in this run.
    enum class Passage {
        Idle,     // not on any link: sent again after the next key exchange
        Checking, // in the delivery check on the GUI thread
        Queued,   // in the link's queue until the next key exchange
        Sent,     // queued for `connection`
    };
    struct Tracking
    {
        Passage passage = Passage::Idle;
        quint64 connection = 0;
    };
    struct Barrier
    {
        quint64 connection = 0;
        quint64 request = 0;
        QList<qint64> results;
    };

    // These run under m_lock.
    void afterDeliveryCheck(qint64 seq, bool delivered, quint64 connectionBefore);
    void resendUndelivered(quint64 connection);
    void markSent(qint64 seq, quint64 connection);
    void sendBarrier(quint64 connection);
    bool passBarrier(quint64 connection, quint64 request);

    ResultOutbox m_outbox;
    ResultLink *const m_link;
    std::mutex m_lock;
    QHash<qint64, Tracking> m_tracking;
    QList<Barrier> m_barriers;
    // The last connection whose challenge was answered.
    quint64 m_keyedConnection = 0;
};
