#include "BenchStation.h"

#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "Constants.h"
#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "InfoConfirmMessage.h"
#include "KeyExchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>

#include <algorithm>

namespace {

const QByteArray course("K1");
constexpr int licenceClass = 2;
// Ten scores adding up to 25, the flag times, the situations.
const QByteArray detail = "5;0;3;1;4;0;2;5;5;0|10400;30000;52000;71000;90500;0;131000;150200;171000;190000|"
                          "3;17;25;41;44;58;63;71;80;92";
constexpr int total = 25;

} // namespace

BenchStation::BenchStation(quint16 port, const QByteArray &secret)
    : m_secret(secret)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
    m_socket.connectToHost(QHostAddress::LocalHost, port);
}

qint64 BenchStation::now()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}

bool BenchStation::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void BenchStation::send(const BaseMessage &message)
{
    m_socket.write(FrameCodec::buildFrame(message, m_cipher));
}

void BenchStation::enter(int number)
{
    m_entryCode = noAnswer;
    ContestEnterMessage message(true);
    message.setContestCode(course);
    message.setCandidateNumber(QByteArray::number(number));
    send(message);
}

void BenchStation::confirm(int id)
{
    InfoConfirmMessage message(true);
    message.setMarker(1);
    message.setCandidateId(id);
    message.setConfirmed(0);
    send(message);
}

void BenchStation::upload(int id)
{
    const int passScore = Constants::passScores().value(licenceClass);
    ContestResultMessage result(true);
    result.setCandidateId(id);
    result.setContestCode(course);
    result.setTotalScore(total);
    result.setPassScore(passScore);
    result.setPassed(total >= passScore ? 1 : 0);
    result.setDetail(detail);
    send(result);
    send(ContestNameMessage());
}

void BenchStation::onReadyRead()
{
    m_accumulator += m_socket.readAll();
    FrameCodec::reassemble(m_accumulator, m_cipher, [this](BaseMessage &message) {
        if (auto *challenge = dynamic_cast<AuthenStateOneMessage *>(&message)) {
            AuthenStateTwoMessage answer;
            answer.setResponse(KeyExchange::challengeAnswer(m_secret, challenge->nonce()));
            send(answer);
            m_cipher.setKey(KeyExchange::sessionKey(m_secret, challenge->nonce()));
            m_authenticated = true;
        } else if (auto *entry = dynamic_cast<EnterResponseMessage *>(&message)) {
            m_entryCode = entry->code();
            m_enteredId = entry->id();
        } else if (dynamic_cast<ContestNameMessage *>(&message)) {
            ++m_courseAnswers;
            m_lastCourseAnswerAt = now();
        }
    });
}

QString BenchStation::examineRound(const std::vector<std::unique_ptr<BenchStation>> &stations, int firstNumber,
                                   std::vector<double> *roundTrips)
{
    auto all = [&](const std::function<bool(const BenchStation &)> &test) {
        return std::all_of(stations.begin(), stations.end(), [&](const auto &s) { return test(*s); });
    };
    for (size_t i = 0; i < stations.size(); ++i)
        stations[i]->enter(firstNumber + int(i));
    if (!waitUntil([&] { return all([](const BenchStation &s) { return s.entryCode() != noAnswer; }); }, 60000)
        || !all([](const BenchStation &s) { return s.entryCode() == EnterResponseMessage::Admitted; }))
        return QStringLiteral("entries not all admitted");
    for (const auto &s : stations)
        s->confirm(s->enteredId());
    std::vector<qint64> sentAt(stations.size());
    std::vector<int> answersBefore(stations.size());
    for (size_t i = 0; i < stations.size(); ++i) {
        answersBefore[i] = stations[i]->courseAnswers();
        sentAt[i] = now();
        stations[i]->upload(stations[i]->enteredId());
    }
    if (!waitUntil([&] {
            for (size_t i = 0; i < stations.size(); ++i) {
                if (stations[i]->courseAnswers() == answersBefore[i] && !stations[i]->lost())
                    return false;
            }
            return true;
        }, 60000)
        || !all([](const BenchStation &s) { return !s.lost(); }))
        return QStringLiteral("uploads not all answered within a minute");
    for (size_t i = 0; i < stations.size(); ++i)
        roundTrips->push_back(double(stations[i]->lastCourseAnswerAt() - sentAt[i]) / 1e6);
    return QString();
}
