#include "ResultDelivery.h"

#include "NetLogging.h"
#include "ResultLink.h"

#include <QDebug>

ResultDelivery::ResultDelivery(const QString &outboxPath, ResultLink *link)
    : m_outbox(outboxPath)
    , m_link(link)
{
}

void ResultDelivery::deliver(ResultOutbox::Entry entry)
{
    // On disk before it can be lost with the link.
    bool durable = false;
    entry.seq = m_outbox.append(entry, &durable);
    if (durable) {
        qCInfo(lcNet).noquote() << QStringLiteral("Result %1 (candidate %2, course %3) written to the outbox")
                                       .arg(entry.seq)
                                       .arg(entry.candidateId)
                                       .arg(QString::fromUtf8(entry.contestCode));
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_tracking[entry.seq] = Tracking{Passage::Checking, 0};
    }
    const quint64 connectionBefore = m_link->connection();
    const bool delivered = m_link->sendChecked(entry);
    std::lock_guard<std::mutex> lock(m_lock);
    afterDeliveryCheck(entry.seq, delivered, connectionBefore);
}

// No link is made while a delivery check runs except by the check itself,
// and only on this thread, so the connection tells what became of the result.
void ResultDelivery::afterDeliveryCheck(qint64 seq, bool delivered, quint64 connectionBefore)
{
    const quint64 connection = m_link->connection();
    const bool connected = m_link->isConnected();
    if (delivered) {
        if (connected) {
            markSent(seq, connection);
            sendBarrier(connection);
            return;
        }
        // The link fell right after the check; whether the server got the
        // result is unknown.
    } else if (connected && connection == connectionBefore) {
        // Refused without a reconnection: the frame could not be built and
        // nothing was kept. Tried again after the next key exchange.
    } else if (connected && m_keyedConnection == connection) {
        // The new link's challenge has been answered already, and the key
        // sent the link's queue, this result with it.
        markSent(seq, connection);
        sendBarrier(connection);
        return;
    } else {
        m_tracking[seq] = Tracking{Passage::Queued, 0};
        qCInfo(lcNet).noquote() << QStringLiteral("Result %1 kept until the link is back").arg(seq);
        return;
    }
    m_tracking[seq] = Tracking{Passage::Idle, 0};
    qCInfo(lcNet).noquote() << QStringLiteral("Result %1 not sent; sent again after the next key exchange").arg(seq);
}

void ResultDelivery::keyExchanged()
{
    // Called on the connection's own receiving thread, so it stays the
    // current one until this returns.
    const quint64 connection = m_link->connection();
    std::lock_guard<std::mutex> lock(m_lock);
    m_keyedConnection = connection;
    // A barrier of a connection that is gone will never be answered.
    for (int i = 0; i < m_barriers.size(); ++i) {
        if (m_barriers.at(i).connection != connection)
            m_barriers.removeAt(i--);
    }
    resendUndelivered(connection);
}

void ResultDelivery::resendUndelivered(quint64 connection)
{
    bool sent = false;
    const QList<ResultOutbox::Entry> entries = m_outbox.undelivered();
    for (const ResultOutbox::Entry &entry : entries) {
        Tracking &tracking = m_tracking[entry.seq];
        switch (tracking.passage) {
        case Passage::Checking:
            continue;
        case Passage::Queued:
            // The key just installed sent the link's queue, this result
            // with it.
            break;
        case Passage::Sent:
            if (tracking.connection == connection)
                continue;
            Q_FALLTHROUGH();
        case Passage::Idle:
            if (!m_link->send(entry)) {
                tracking = Tracking{Passage::Idle, 0};
                continue;
            }
            break;
        }
        markSent(entry.seq, connection);
        sent = true;
    }
    if (sent)
        sendBarrier(connection);
}

void ResultDelivery::markSent(qint64 seq, quint64 connection)
{
    m_tracking[seq] = Tracking{Passage::Sent, connection};
    qCInfo(lcNet).noquote() << QStringLiteral("Result %1 sent").arg(seq);
}

void ResultDelivery::sendBarrier(quint64 connection)
{
    Barrier barrier;
    barrier.connection = connection;
    for (auto it = m_tracking.cbegin(); it != m_tracking.cend(); ++it) {
        if (it->passage == Passage::Sent && it->connection == connection)
            barrier.results.append(it.key());
    }
    if (barrier.results.isEmpty())
        return;
    const ResultLink::Mark placed = m_link->requestCourseList();
    if (placed.connection != connection)
        return;
    barrier.request = placed.courseRequest;
    m_barriers.append(barrier);
}

bool ResultDelivery::takeCourseList()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_barriers.isEmpty())
        return false;
    const ResultLink::Mark answer = m_link->courseListAnswer();
    return passBarrier(answer.connection, answer.courseRequest);
}

bool ResultDelivery::passBarrier(quint64 connection, quint64 request)
{
    for (int i = 0; i < m_barriers.size(); ++i) {
        const Barrier barrier = m_barriers.at(i);
        if (barrier.connection != connection || barrier.request != request)
            continue;
        m_barriers.removeAt(i);
        for (qint64 seq : barrier.results) {
            const Tracking tracking = m_tracking.value(seq);
            if (tracking.passage == Passage::Sent && tracking.connection == connection) {
                m_outbox.markDelivered(seq);
                m_tracking.remove(seq);
                qCInfo(lcNet).noquote() << QStringLiteral("Result %1 delivered").arg(seq);
            }
        }
        return true;
    }
    return false;
}
