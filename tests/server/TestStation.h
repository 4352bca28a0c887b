#pragma once

#include "AesCipher.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class BaseMessage;
class QTcpSocket;

// A scripted station for driving the server over loopback: it speaks the
// real frames with the shared codec and records everything it receives.
class TestStation : public QObject
{
    Q_OBJECT
public:
    struct Received
    {
        int wireType = 0; // the type byte as it arrived
        QByteArray nonce;
        int isResponse = -1;
        QByteArray codes;
        QByteArray names;
        int code = 0;
        int cert = 0;
        int id = 0;
        QByteArray pid;
        QByteArray fullName;
        QByteArray image;
        QByteArray text; // review text, pushed file name or chunk
    };

    explicit TestStation(QObject *parent = nullptr);
    ~TestStation() override;

    bool connectTo(quint16 port);
    bool isConnected() const;
    bool waitForDisconnected(int timeoutMs = 10000);
    // Answers the challenge with the secret and installs the session key.
    bool authenticate(const QByteArray &secret);
    // A station that stops reading leaves the server's answers unread.
    void setReading(bool reading);
    // Writes out now, without the event loop: the bytes still unsent.
    qint64 flush();
    // How the server's log names this station.
    QString peerName() const;

    bool send(const BaseMessage &message);
    void sendRaw(const QByteArray &bytes);
    void requestCourses();
    void enter(const QByteArray &course, const QByteArray &number);
    // Enters the candidate and waits for the answer: its code, or -99 when
    // none came; the candidate id of the answer goes to `id`.
    int entryCode(const QByteArray &course, const QByteArray &number, int *id = nullptr);
    void confirm(int candidateId, int confirmed);
    void uploadResult(int candidateId, const QByteArray &course, int total, int passScore, bool passed,
                      const QByteArray &detail);

    // Takes the first received message of that type, waiting for it.
    bool waitFor(int wireType, Received *out, int timeoutMs = 10000);
    // Waits for the course list, so for the server to deal with all sent.
    bool roundTrip();
    QList<Received> received() const { return m_received; }
    void clearReceived() { m_received.clear(); }

private:
    void onReadyRead();
    void record(BaseMessage &message, quint8 wireType);

    QTcpSocket *m_socket;
    AesCipher m_cipher;
    QByteArray m_accumulator;
    QList<Received> m_received;
    bool m_reading = true;
};
