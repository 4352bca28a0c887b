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
#include <QtEndian>

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

bool TestStation::isConnected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TestStation::waitForDisconnected(int timeoutMs)
{
    return QTest::qWaitFor([this] { return m_socket->state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
}

void TestStation::onReadyRead()
{
    m_accumulator += m_socket->readAll();
    QList<quint8> wireTypes;
    for (int pos = 0; m_accumulator.size() - pos >= 3;) {
        const int length = qFromBigEndian<quint16>(m_accumulator.constData() + pos);
        if (length < 3 || m_accumulator.size() - pos < length)
            break;
        wireTypes.append(quint8(m_accumulator.at(pos + 2)));
        pos += length;
    }
    int index = 0;
    FrameCodec::reassemble(m_accumulator, m_cipher,
                           [&](BaseMessage &message) { record(message, wireTypes.value(index++)); });
}

void TestStation::record(BaseMessage &message, quint8 wireType)
{
    Received r;
    r.wireType = wireType;
    if (auto *m = dynamic_cast<AuthenStateOneMessage *>(&message)) {
        r.nonce = m->nonce();
    } else if (auto *m = dynamic_cast<ContestNameMessage *>(&message)) {
        r.isResponse = m->isResponse();
        r.codes = m->contestCode();
        r.names = m->contestName();
    } else if (auto *m = dynamic_cast<EnterResponseMessage *>(&message)) {
        r.code = m->code();
        r.cert = m->cert();
        r.id = m->id();
        r.pid = m->pid();
        r.fullName = m->fullName();
        r.image = m->image();
    } else if (auto *m = dynamic_cast<ReviewMessage *>(&message)) {
        r.text = m->text();
    } else if (auto *m = dynamic_cast<StartSyncVideoMessage *>(&message)) {
        r.text = m->fileName();
    } else if (auto *m = dynamic_cast<SyncVideoMessage *>(&message)) {
        r.text = m->data();
    }
    m_received.append(r);
}

bool TestStation::waitFor(int wireType, Received *out, int timeoutMs)
{
    auto take = [&] {
        for (int i = 0; i < m_received.size(); ++i) {
            if (m_received.at(i).wireType == wireType) {
                *out = m_received.takeAt(i);
                return true;
            }
        }
        return false;
    };
    return QTest::qWaitFor(take, timeoutMs);
}

bool TestStation::authenticate(const QByteArray &secret)
{
    Received challenge;
    if (!waitFor(AuthenStateOneMessage::messageType, &challenge))
        return false;
    m_challenge = challenge.nonce;
    AuthenStateTwoMessage answer;
    answer.setResponse(KeyExchange::challengeAnswer(secret, m_challenge));
    m_cipher.setKey(KeyExchange::sessionKey(secret, m_challenge));
    return send(answer);
}

bool TestStation::send(const BaseMessage &message)
{
    const QByteArray frame = FrameCodec::buildFrame(message, m_cipher);
    if (frame.isEmpty())
        return false;
    return m_socket->write(frame) == frame.size();
}

void TestStation::sendRaw(const QByteArray &bytes)
{
    m_socket->write(bytes);
}

void TestStation::requestCourses()
{
    send(ContestNameMessage());
}

void TestStation::enter(const QByteArray &course, const QByteArray &number)
{
    ContestEnterMessage message(true);
    message.setContestCode(course);
    message.setCandidateNumber(number);
    send(message);
}

void TestStation::confirm(int candidateId, int confirmed)
{
    InfoConfirmMessage message(true);
    message.setMarker(1);
    message.setCandidateId(candidateId);
    message.setConfirmed(quint8(confirmed));
    send(message);
}

void TestStation::uploadResult(int candidateId, const QByteArray &course, int total, int passScore, bool passed,
                               const QByteArray &detail)
{
    ContestResultMessage message(true);
    message.setCandidateId(candidateId);
    message.setContestCode(course);
    message.setTotalScore(total);
    message.setPassScore(passScore);
    message.setPassed(passed ? 1 : 0);
    message.setDetail(detail);
    send(message);
}

bool TestStation::roundTrip()
{
    requestCourses();
    Received answer;
    return waitFor(ContestNameMessage::messageType, &answer);
}
