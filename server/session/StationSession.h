#pragma once

#include "Admission.h"
#include "AesCipher.h"
#include "StationChallenge.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class BaseMessage;
class CandidateHolds;
class ContestEnterMessage;
class ContestResultMessage;
class FilePush;
class InfoConfirmMessage;
class QTcpSocket;
class QTimer;
class ResultWriter;
class ServerStore;

// One connected station. It sends the challenge at once and answers nothing
// but the challenge answer until that checks out; course list requests that
// arrive earlier are answered afterwards. A station that sends a wrong
// answer, an undecodable frame or a message it has no business sending loses
// its connection; no other station notices. Each station gets a bounded
// share of the event loop: a few frames at a time, and none while the
// answers it has not read pile up, so a station that floods the server
// with requests or never reads slows down only itself.
class StationSession : public QObject
{
    Q_OBJECT
public:
    // Takes the socket over.
    StationSession(QTcpSocket *socket, CandidateHolds *holds, ServerStore *store, ResultWriter *writer,
                   const QByteArray &secret, int authTimeoutMs, QObject *parent = nullptr);
    ~StationSession() override;

    QString peer() const { return m_peer; }
    bool isAuthenticated() const { return m_authenticated; }

    // The examination centre its results are stored with.
    void setCentre(const QString &centre) { m_centre = centre; }
    // Queues a file transfer to this station.
    void pushFile(const QString &path, const QByteArray &name);
    // Ends the connection and schedules this object's deletion; the reason
    // is logged.
    void close(const QString &reason);

signals:
    void authenticated(StationSession *session);
    void finished(StationSession *session);
    void resultStored(int candidateId);
    void transferDone(const QByteArray &name);

private:
    void start();
    // Takes a bounded share of what the station sent and schedules the next
    // share while more is waiting.
    void processInput();
    void scheduleInput();
    bool outputBacklogged() const;
    void deliver(BaseMessage &message, quint8 wireType);
    void checkAnswer(const QByteArray &answer);
    void answerCourseList();
    void answerEntry(const ContestEnterMessage &message);
    void answerConfirm(const InfoConfirmMessage &message);
    void storeResult(const ContestResultMessage &message);
    bool send(const BaseMessage &message);
    void log(const QString &text) const;

    QTcpSocket *m_socket;
    Admission m_admission;
    ServerStore *m_store;
    ResultWriter *m_writer;
    QByteArray m_secret;
    QString m_peer;
    QString m_centre;
    AesCipher m_cipher;
    QByteArray m_accumulator;
    StationChallenge m_challenge;
    QTimer *m_authTimer;
    bool m_authenticated = false;
    bool m_closing = false;
    bool m_inputScheduled = false;
    // An upload is being stored; nothing more of this station is taken.
    bool m_storing = false;
    int m_earlyCourseRequests = 0;

    // The last entry this station was answered with 0 or 2.
    struct Entered
    {
        int id = 0;
        int code = -1;
        QString course;
    };
    Entered m_entered;

    FilePush *m_push;
};
