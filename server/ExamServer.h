#pragma once

#include "BaseMessage.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class ServerStore;
class StationSession;

// Accepts stations and keeps what concerns more than one of them: which
// candidate each station is examining, and the file pushes to all of them.
// Everything runs on one thread's event loop.
class ExamServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultAuthTimeoutMs = 30000;
    // A type-2 frame's payload: the largest frame less its header.
    static constexpr int maxChunk = int(BaseMessage::maxFrameLength) - BaseMessage::headerSize;

    ExamServer(ServerStore *store, QObject *parent = nullptr);
    ~ExamServer() override;

    // The shared secret's bytes (its hexadecimal text).
    void setSecret(const QByteArray &secret) { m_secret = secret; }
    // How long a station may take to answer the challenge.
    void setAuthTimeout(int ms) { m_authTimeoutMs = ms; }

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const;
    QHostAddress address() const;
    quint16 port() const;
    // Stops accepting and ends every connection.
    void close();

    int stationCount() const;
    int authenticatedCount() const;

    // Sends the file to every station that has answered its challenge.
    // The name is what the station creates, relative to its working folder.
    // Returns the number of stations, or -1 with *why set.
    int pushFile(const QString &path, const QString &name, QString *why);
    static bool checkPushName(const QString &name, QString *why);

    // The candidates under examination, so that a second station entering
    // the same candidate is refused.
    StationSession *examinerOf(int candidateId) const;
    bool hold(int candidateId, StationSession *session);
    void release(int candidateId, StationSession *session);
    // Any station's hold: the examination is over once its result is stored.
    void releaseAny(int candidateId);

signals:
    void stationAuthenticated();
    void stationClosed();
    void resultStored(int candidateId);
    void transferDone(const QByteArray &name);

private:
    void onNewConnection();
    void onSessionFinished(StationSession *session);

    ServerStore *m_store;
    QTcpServer *m_tcp;
    QByteArray m_secret;
    int m_authTimeoutMs = defaultAuthTimeoutMs;
    QList<QPointer<StationSession>> m_sessions;
    QHash<int, QPointer<StationSession>> m_examining;
};
