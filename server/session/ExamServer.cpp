#include "ExamServer.h"

#include "CandidateHolds.h"
#include "FilePush.h"
#include "KeyExchange.h"
#include "ResultWriter.h"
#include "ServerLogging.h"
#include "ServerStore.h"
#include "StationSession.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

ExamServer::ExamServer(ServerStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_tcp(new QTcpServer(this))
    , m_holds(new CandidateHolds(store, this))
    , m_writer(new ResultWriter(store, this))
    , m_secret(KeyExchange::secret())
    , m_reconnect(new QTimer(this))
{
    // The holds on a shared database are renewed, and a lost connection is
    // noticed and restored with the holds, even while no station asks
    // anything; while the database is away, attempts follow the store's
    // backoff so that it is used again soon after it answers.
    m_reconnect->setSingleShot(true);
    connect(m_reconnect, &QTimer::timeout, this, [this] {
        m_store->checkConnection();
        scheduleCheck();
    });
    connect(m_store, &ServerStore::broken, this, [this] {
        if (m_reconnect->isActive())
            scheduleCheck();
    });
    connect(m_tcp, &QTcpServer::newConnection, this, &ExamServer::onNewConnection);
    // A failed accept (out of file descriptors, for one) pauses the listener
    // for good; without this no station could connect until a restart.
    connect(m_tcp, &QTcpServer::acceptError, this, [this] {
        qCInfo(lcServer).noquote() << QStringLiteral("cannot accept a station: %1; trying again in 1 s")
                                 .arg(m_tcp->errorString());
        QTimer::singleShot(1000, this, [this] {
            if (m_tcp->isListening())
                m_tcp->resumeAccepting();
        });
    });
}

ExamServer::~ExamServer()
{
    close();
}

bool ExamServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_tcp->listen(address, port))
        return false;
    m_holds->open();
    if (m_store->needsConnectionChecks())
        scheduleCheck();
    qCInfo(lcServer).noquote() << QStringLiteral("listening on %1:%2").arg(m_tcp->serverAddress().toString()).arg(m_tcp->serverPort());
    return true;
}

QString ExamServer::errorString() const
{
    return m_tcp->errorString();
}

QHostAddress ExamServer::address() const
{
    return m_tcp->serverAddress();
}

quint16 ExamServer::port() const
{
    return m_tcp->serverPort();
}

void ExamServer::close()
{
    if (m_tcp->isListening()) {
        m_tcp->close();
        qCInfo(lcServer).noquote() << QStringLiteral("stopped listening");
    }
    m_reconnect->stop();
    m_holds->close();
    const QList<QPointer<StationSession>> sessions = m_sessions;
    for (const QPointer<StationSession> &session : sessions) {
        if (session)
            session->close(QStringLiteral("server stopping; closing"));
    }
    m_sessions.clear();
}

int ExamServer::stationCount() const
{
    int count = 0;
    for (const QPointer<StationSession> &session : m_sessions)
        count += session ? 1 : 0;
    return count;
}

int ExamServer::authenticatedCount() const
{
    int count = 0;
    for (const QPointer<StationSession> &session : m_sessions)
        count += session && session->isAuthenticated() ? 1 : 0;
    return count;
}

void ExamServer::scheduleCheck()
{
    m_reconnect->start(m_store->isBroken() ? m_store->reconnectDelayMs() : ServerStore::holdRenewalMs);
}

void ExamServer::onNewConnection()
{
    while (QTcpSocket *socket = m_tcp->nextPendingConnection()) {
        auto *session = new StationSession(socket, m_holds, m_store, m_writer, m_secret, m_authTimeoutMs, this);
        session->setCentre(m_centre);
        m_sessions.append(session);
        connect(session, &StationSession::finished, this, &ExamServer::onSessionFinished);
        connect(session, &StationSession::authenticated, this, &ExamServer::stationAuthenticated);
        connect(session, &StationSession::resultStored, this, &ExamServer::resultStored);
        connect(session, &StationSession::transferDone, this, &ExamServer::transferDone);
    }
}

void ExamServer::onSessionFinished(StationSession *session)
{
    m_sessions.removeAll(session);
    emit stationClosed();
}

bool ExamServer::checkPushName(const QString &name, QString *why)
{
    if (name.isEmpty()) {
        *why = QStringLiteral("the name is empty");
        return false;
    }
    if (name.toUtf8().size() > FilePush::maxChunk) {
        *why = QStringLiteral("the name is longer than one frame can carry");
        return false;
    }
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control) {
            *why = QStringLiteral("the name holds control characters");
            return false;
        }
    }
    // Stations write the name relative to their working folder; keep them
    // there.
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\'))
        || (name.size() >= 2 && name.at(1) == QLatin1Char(':'))) {
        *why = QStringLiteral("the name must be relative to the station's working folder");
        return false;
    }
    const QStringList parts = name.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    if (parts.contains(QStringLiteral(".."))) {
        *why = QStringLiteral("the name must not climb out of the station's working folder");
        return false;
    }
    if (parts.last().isEmpty() || parts.last() == QLatin1String(".")) {
        *why = QStringLiteral("the name must end in a file name");
        return false;
    }
    return true;
}

int ExamServer::pushFile(const QString &path, const QString &name, QString *why)
{
    if (!checkPushName(name, why))
        return -1;
    const QFileInfo info(path);
    QFile probe(info.absoluteFilePath());
    if (!info.isFile() || !probe.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1").arg(path);
        return -1;
    }
    probe.close();
    int count = 0;
    for (const QPointer<StationSession> &session : m_sessions) {
        if (session && session->isAuthenticated()) {
            session->pushFile(info.absoluteFilePath(), name.toUtf8());
            ++count;
        }
    }
    qCInfo(lcServer).noquote() << QStringLiteral("file push %1 (%2, %3 bytes) to %4 station(s)")
                             .arg(name, info.absoluteFilePath())
                             .arg(info.size())
                             .arg(count);
    return count;
}
