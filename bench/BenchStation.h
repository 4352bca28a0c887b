#pragma once

#include "AesCipher.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>

#include <functional>
#include <memory>
#include <vector>

class BaseMessage;

// A station reduced to what the benchmarks measure: it answers the challenge
// with the secret it was given and notes the answers it gets. It examines
// candidates of course K1, each with the same result of 25 points.
class BenchStation : public QObject
{
public:
    BenchStation(quint16 port, const QByteArray &secret);

    bool authenticated() const { return m_authenticated; }
    bool lost() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    // The last entry's answer, or noAnswer; the candidate id it gave.
    int entryCode() const { return m_entryCode; }
    int enteredId() const { return m_enteredId; }
    int courseAnswers() const { return m_courseAnswers; }
    qint64 lastCourseAnswerAt() const { return m_lastCourseAnswerAt; }

    void enter(int number);
    void confirm(int id);
    // The result, followed by a course list request: its answer marks the
    // moment the server has dealt with the upload (a station's frames are
    // taken in order, and an upload has no answer of its own).
    void upload(int id);

    static constexpr int noAnswer = -99;
    // Nanoseconds on the clock the answers are noted by.
    static qint64 now();
    // Runs the event loop until done() holds; false when the time ran out.
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // One round: station i enters candidate firstNumber + i and starts the
    // examination; once all are admitted, all upload at once. The upload
    // round trips go to `roundTrips` in milliseconds. Empty, or what failed.
    static QString examineRound(const std::vector<std::unique_ptr<BenchStation>> &stations, int firstNumber,
                                std::vector<double> *roundTrips);

private:
    void send(const BaseMessage &message);
    void onReadyRead();

    QByteArray m_secret;
    QTcpSocket m_socket;
    AesCipher m_cipher;
    QByteArray m_accumulator;
    bool m_authenticated = false;
    int m_entryCode = noAnswer;
    int m_enteredId = 0;
    int m_courseAnswers = 0;
    qint64 m_lastCourseAnswerAt = 0;
};
