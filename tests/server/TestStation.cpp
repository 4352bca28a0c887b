#include "TestStation.h"

#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "InfoConfirmMessage.h"
#include "KeyExchange.h"
#include "ReviewMessage.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoMessage.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

TestStation::TestStation(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::readyRead, this, &TestStation::onReadyRead);
}

TestStation::~TestStation() = default;

bool TestStation::connectTo(quint16 port)
{
    m_socket->connectToHost(QHostAddress::LocalHost, port);
    return m_socket->waitForConnected(10000);
}

bool TestStation::isConnected() const { return m_socket->state() == QAbstractSocket::ConnectedState; }

bool TestStation::waitForDisconnected(int timeoutMs)
{
    return QTest::qWaitFor([this] { return m_socket->state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
}

void TestStation::onReadyRead()
{
    if (!m_reading)
        return;
    m_accumulator += m_socket->readAll();
    FrameCodec::reassemble(m_accumulator, m_cipher,
                           [this](BaseMessage &message, quint8 wireType) { record(message, wireType); });
}

void TestStation::setReading(bool reading)
{
    m_reading = reading;
    // Unread bytes stay with the kernel, so the server's sending backs up
    // as it would towards a station that has stopped reading.
    m_socket->setReadBufferSize(reading ? 0 : 4096);
    if (reading)
        onReadyRead();
}

qint64 TestStation::flush() { return m_socket->flush(), m_socket->bytesToWrite(); }

QString TestStation::peerName() const
{
    return QStringLiteral("%1:%2").arg(m_socket->localAddress().toString()).arg(m_socket->localPort());
}

void TestStation::record(BaseMessage &message, quint8 wireType)
{
    Received r;
    r.wireType = wireType;
    if (auto *m = dynamic_cast<AuthenStateOneMessage *>(&message))
        r.nonce = m->nonce();
    else if (auto *m = dynamic_cast<ContestNameMessage *>(&message))
        r.isResponse = m->isResponse(), r.codes = m->contestCode(), r.names = m->contestName();
    else if (auto *m = dynamic_cast<EnterResponseMessage *>(&message))
        r = {wireType, {}, -1, {}, {}, m->code(), m->cert(), m->id(), m->pid(), m->fullName(), m->image(), {}};
    else if (auto *m = dynamic_cast<ReviewMessage *>(&message))
        r.text = m->text();
    else if (auto *m = dynamic_cast<StartSyncVideoMessage *>(&message))
        r.text = m->fileName();
    else if (auto *m = dynamic_cast<SyncVideoMessage *>(&message))
        r.text = m->data();
    m_received.append(r);
}

bool TestStation::waitFor(int wireType, Received *out, int timeoutMs)
{
    auto take = [&] {
        const auto it = std::find_if(m_received.begin(), m_received.end(),
                                     [&](const Received &r) { return r.wireType == wireType; });
        return it != m_received.end() && (*out = m_received.takeAt(int(it - m_received.begin())), true);
    };
    return QTest::qWaitFor(take, timeoutMs);
}

bool TestStation::authenticate(const QByteArray &secret)
{
    Received challenge;
    if (!waitFor(AuthenStateOneMessage::messageType, &challenge))
        return false;
    AuthenStateTwoMessage answer;
    answer.setResponse(KeyExchange::challengeAnswer(secret, challenge.nonce));
    m_cipher.setKey(KeyExchange::sessionKey(secret, challenge.nonce));
    return send(answer);
}

bool TestStation::send(const BaseMessage &message)
{
    const QByteArray frame = FrameCodec::buildFrame(message, m_cipher);
    return !frame.isEmpty() && m_socket->write(frame) == frame.size();
}

void TestStation::sendRaw(const QByteArray &bytes) { m_socket->write(bytes); }

void TestStation::requestCourses() { send(ContestNameMessage()); }

void TestStation::enter(const QByteArray &course, const QByteArray &number)
{
    ContestEnterMessage m(true);
    m.setContestCode(course), m.setCandidateNumber(number);
    send(m);
}

int TestStation::entryCode(const QByteArray &course, const QByteArray &number, int *id)
{
    enter(course, number);
    Received answer;
    if (!waitFor(EnterResponseMessage::encryptedType, &answer))
        return -99;
    if (id)
        *id = answer.id;
    return answer.code;
}

void TestStation::confirm(int candidateId, int confirmed)
{
    InfoConfirmMessage m(true);
    m.setMarker(1), m.setCandidateId(candidateId), m.setConfirmed(quint8(confirmed));
    send(m);
}

void TestStation::uploadResult(int candidateId, const QByteArray &course, int total, int passScore, bool passed,
                               const QByteArray &detail)
{
    ContestResultMessage m(true);
    m.setCandidateId(candidateId), m.setContestCode(course), m.setTotalScore(total), m.setPassScore(passScore);
    m.setPassed(passed ? 1 : 0), m.setDetail(detail);
    send(m);
}

bool TestStation::roundTrip()
{
    requestCourses();
    Received answer;
    return waitFor(ContestNameMessage::messageType, &answer);
}
