#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class CandidateHolds;
class QTcpServer;
class ResultWriter;
class QTimer;
class ServerStore;
class StationSession;

// Accepts stations and keeps what concerns more than one of them: which
// candidate each station is examining (the holds, shared with the sessions),
// and the file pushes to all of them.
// Everything runs on one thread's event loop.
class ExamServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultAuthTimeoutMs = 30000;

    ExamServer(ServerStore *store, QObject *parent = nullptr);
    ~ExamServer() override;

    // The shared secret's bytes (its hexadecimal text).
    void setSecret(const QByteArray &secret) { m_secret = secret; }
    // The examination centre's name, stored with every result received.
    void setCentre(const QString &centre) { m_centre = centre; }
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

signals:
    void stationAuthenticated();
    void stationClosed();
    void resultStored(int candidateId);
    void transferDone(const QByteArray &name);

private:
    void onNewConnection();
    void onSessionFinished(StationSession *session);
    // The next renewal of the holds, or attempt to reconnect.
    void scheduleCheck();

    ServerStore *m_store;
    QTcpServer *m_tcp;
    CandidateHolds *m_holds;
    ResultWriter *m_writer;
    QByteArray m_secret;
    QString m_centre;
    QTimer *m_reconnect;
    int m_authTimeoutMs = defaultAuthTimeoutMs;
    QList<QPointer<StationSession>> m_sessions;
};
