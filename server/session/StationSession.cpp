#include "StationSession.h"

#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "ResultWriter.h"
#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "DeadPeerDetection.h"
#include "EnterResponseMessage.h"
#include "FilePush.h"
#include "FrameCodec.h"
#include "InfoConfirmMessage.h"
#include "ReviewMessage.h"
#include "ServerLogging.h"
#include "ServerStore.h"
#include "StationChallenge.h"
#include "StationMessages.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Course list requests a station may make before answering the challenge;
// the station asks once or twice, more is noise.
constexpr int maxEarlyCourseRequests = 4;
// Frames taken from one station before the others get their turn. A
// station's own exchanges never send more than a few at once.
constexpr int framesPerTurn = 16;
// Received bytes held per station: the kernel holds the rest, and a station
// that sends faster than it is served is slowed down by its own connection.
constexpr qint64 inputLimit = 2 * qint64(BaseMessage::maxFrameLength);
// Unsent answers past which a station's requests wait until it reads: above
// what a file push keeps queued, so a push never holds up the exchanges.
constexpr qint64 outputLimit = FilePush::highWater + 4 * qint64(BaseMessage::maxFrameLength);

} // namespace

StationSession::StationSession(QTcpSocket *socket, CandidateHolds *holds, ServerStore *store, ResultWriter *writer,
                               const QByteArray &secret, int authTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_admission(store, holds)
    , m_store(store)
    , m_writer(writer)
    , m_secret(secret)
    , m_authTimer(new QTimer(this))
{
    m_socket->setParent(this);
    m_peer = QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
    // The holds name the station that examines a candidate by this.
    setObjectName(m_peer);
    m_push = new FilePush(
        m_socket, [this](const BaseMessage &message) { return send(message); }, m_peer, this);
    connect(m_push, &FilePush::transferDone, this, &StationSession::transferDone);
    m_socket->setReadBufferSize(inputLimit);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    DeadPeerDetection::bound(m_socket);
    connect(m_socket, &QTcpSocket::readyRead, this, &StationSession::processInput);
    // Requests held back for a backlog of answers go on once it drains.
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!outputBacklogged() && (!m_accumulator.isEmpty() || m_socket->bytesAvailable() > 0))
            scheduleInput();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { close(QStringLiteral("disconnected")); });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            close(QStringLiteral("disconnected"));
        else
            close(QStringLiteral("connection lost: ") + m_socket->errorString());
    });
    m_authTimer->setSingleShot(true);
    m_authTimer->setInterval(authTimeoutMs);
    connect(m_authTimer, &QTimer::timeout, this, [this] {
        close(QStringLiteral("no answer to the challenge within %1 ms; closing").arg(m_authTimer->interval()));
    });
    start();
}

StationSession::~StationSession() = default;

void StationSession::log(const QString &text) const
{
    qCInfo(lcServer).noquote() << m_peer << text;
}

void StationSession::start()
{
    if (!m_challenge.draw(m_secret)) {
        // Never fall back to a guessable challenge.
        QTimer::singleShot(0, this, [this] { close(QStringLiteral("cannot draw a random challenge; closing")); });
        return;
    }
    m_cipher.setKey(m_challenge.sessionKey());
    AuthenStateOneMessage message;
    message.setNonce(m_challenge.nonce());
    if (!send(message)) {
        QTimer::singleShot(0, this, [this] { close(QStringLiteral("cannot send the challenge; closing")); });
        return;
    }
    m_authTimer->start();
    log(QStringLiteral("connected; challenge sent"));
}

bool StationSession::send(const BaseMessage &message)
{
    if (m_closing)
        return false;
    const QByteArray frame = FrameCodec::buildFrame(message, m_cipher);
    if (frame.isEmpty()) {
        log(QStringLiteral("cannot frame a message of type %1 (length %2)")
                .arg(message.type())
                .arg(message.frameLength()));
        return false;
    }
    return m_socket->write(frame) == frame.size();
}

void StationSession::close(const QString &reason)
{
    if (m_closing)
        return;
    m_closing = true;
    log(reason);
    m_authTimer->stop();
    m_admission.releaseAll(this);
    m_push->stop();
    m_socket->abort();
    emit finished(this);
    deleteLater();
}

bool StationSession::outputBacklogged() const
{
    return m_socket->bytesToWrite() > outputLimit;
}

void StationSession::scheduleInput()
{
    if (m_inputScheduled || m_closing)
        return;
    m_inputScheduled = true;
    // Queued, so that every other station's events come first.
    QMetaObject::invokeMethod(this, [this] {
        m_inputScheduled = false;
        processInput();
    }, Qt::QueuedConnection);
}

void StationSession::processInput()
{
    if (m_closing || m_storing || outputBacklogged())
        return;
    if (m_accumulator.size() < inputLimit)
        m_accumulator += m_socket->read(inputLimit - m_accumulator.size());
    // A frame at a time: an upload ends the station's turn until its result
    // is stored, and what the station sent after it waits for that.
    int delivered = 0;
    while (delivered < framesPerTurn && !m_closing && !m_storing) {
        const FrameCodec::Reassembly outcome = FrameCodec::reassemble(
            m_accumulator, m_cipher,
            [this](BaseMessage &message, quint8 wireType) {
                if (!m_closing)
                    deliver(message, wireType);
            },
            1);
        if (m_closing)
            return;
        if (outcome.failed()) {
            close(QStringLiteral("sent data that is not a valid frame; closing"));
            return;
        }
        if (outcome.delivered == 0)
            break;
        ++delivered;
    }
    if (m_closing || m_storing)
        return;
    if (delivered == framesPerTurn || m_socket->bytesAvailable() > 0)
        scheduleInput();
}

void StationSession::deliver(BaseMessage &message, quint8 wireType)
{
    if (!m_authenticated) {
        if (wireType == AuthenStateTwoMessage::messageType) {
            checkAnswer(static_cast<AuthenStateTwoMessage &>(message).response());
        } else if (wireType == ContestNameMessage::messageType
                   && static_cast<ContestNameMessage &>(message).isResponse() == 0) {
            if (m_earlyCourseRequests < maxEarlyCourseRequests)
                ++m_earlyCourseRequests;
            log(QStringLiteral("course list requested before the challenge answer; it follows the answer"));
        } else {
            close(QStringLiteral("sent type %1 before answering the challenge; closing").arg(wireType));
        }
        return;
    }

    // A database that came back is used at once, not at the next retry.
    m_store->reconnectIfBroken();
    switch (wireType) {
    case ContestNameMessage::messageType:
        if (static_cast<ContestNameMessage &>(message).isResponse() == 0)
            answerCourseList();
        else
            log(QStringLiteral("ignored a course list marked as an answer"));
        break;
    case ContestEnterMessage::encryptedType:
        answerEntry(static_cast<ContestEnterMessage &>(message));
        break;
    case InfoConfirmMessage::encryptedType:
        answerConfirm(static_cast<InfoConfirmMessage &>(message));
        break;
    case ContestResultMessage::encryptedType:
        storeResult(static_cast<ContestResultMessage &>(message));
        break;
    case AuthenStateTwoMessage::messageType:
        log(QStringLiteral("ignored a second challenge answer"));
        break;
    case ContestEnterMessage::plainType:
    case InfoConfirmMessage::plainType:
    case ContestResultMessage::plainType:
        close(QStringLiteral("sent type %1 unencrypted; closing").arg(wireType));
        break;
    default:
        close(QStringLiteral("sent type %1, which stations do not send; closing").arg(wireType));
        break;
    }
}

void StationSession::checkAnswer(const QByteArray &answer)
{
    if (!m_challenge.isAnsweredBy(answer)) {
        close(QStringLiteral("wrong answer to the challenge; closing"));
        return;
    }
    m_authenticated = true;
    m_authTimer->stop();
    log(QStringLiteral("challenge answered; session key in use"));
    emit authenticated(this);
    for (; m_earlyCourseRequests > 0 && !m_closing; --m_earlyCourseRequests)
        answerCourseList();
}

void StationSession::answerCourseList()
{
    QList<CourseRecord> courses;
    if (!m_store->courses(&courses)) {
        // An empty list would tell the station that no course is examined
        // here. With no answer and a closed link, the station's delivery
        // check connects again and asks once more; a station that uploaded
        // a result keeps it, as that request's answer is what marks it
        // delivered.
        log(QStringLiteral("course list: ") + m_store->lastError());
        close(QStringLiteral("closing so that the station asks for the course list again"));
        return;
    }
    if (send(StationMessages::courseList(courses)))
        log(QStringLiteral("course list: %1 course(s) sent").arg(courses.size()));
}

void StationSession::answerEntry(const ContestEnterMessage &message)
{
    const QString course = BaseMessage::decodeText(message.contestCode());
    const QString number = BaseMessage::decodeText(message.candidateNumber()).trimmed();
    // A new entry ends whatever this station had entered before.
    m_admission.release(m_entered.id, this);
    m_entered = {};

    const QString what = QStringLiteral("entry course %1 number %2").arg(course, number);
    const Admission::Decision decision = m_admission.decide(course, number, this);
    const CandidateRecord &candidate = decision.candidate;
    const int code = decision.code;
    const QString &why = decision.reason;
    if (!decision.registered) {
        // What was not found, or why the store could not be asked.
        const QString &missing = why;
        if (code == EnterResponseMessage::UnknownCandidate)
            log(what + QStringLiteral(" -> 1: ") + missing);
        else
            log(what + QStringLiteral(" -> -1: ") + m_store->lastError());
        send(StationMessages::entryRefusal(code));
        return;
    }

    const QString state = CandidateState::name(candidate.state);
    if (code != EnterResponseMessage::Admitted && code != EnterResponseMessage::ReviewAvailable) {
        log(QStringLiteral("%1 -> %2 (candidate %3, %4%5)")
                .arg(what)
                .arg(code)
                .arg(candidate.id)
                .arg(state, why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        send(StationMessages::entryRefusal(code));
        return;
    }

    if (!send(StationMessages::entryNaming(code, candidate))) {
        m_admission.release(candidate.id, this);
        log(what + QStringLiteral(" -> -1: the answer cannot be sent"));
        send(StationMessages::entryRefusal(EnterResponseMessage::Error));
        return;
    }
    m_entered = {candidate.id, code, course};
    log(QStringLiteral("%1 -> %2 (candidate %3, %4)").arg(what).arg(code).arg(candidate.id).arg(state));
}

void StationSession::answerConfirm(const InfoConfirmMessage &message)
{
    const int id = message.candidateId();
    if (message.confirmed() == 0) {
        if (id != 0 && id == m_entered.id && m_entered.code == EnterResponseMessage::Admitted)
            log(QStringLiteral("examination started: candidate %1").arg(id));
        else
            log(QStringLiteral("examination start for candidate %1, which this station was not admitted for").arg(id));
        return;
    }
    if (message.confirmed() != 1) {
        log(QStringLiteral("ignored a confirmation with value %1").arg(message.confirmed()));
        return;
    }
    // Only the station that entered the candidate for review gets the text;
    // anyone else gets an empty one, which the station shows as "no review".
    QByteArray text;
    if (id != 0 && id == m_entered.id && m_entered.code == EnterResponseMessage::ReviewAvailable) {
        ResultRecord result;
        switch (m_store->latestResult(id, m_entered.course, &result)) {
        case ServerStore::Lookup::Found:
            text = result.detail.toUtf8();
            break;
        case ServerStore::Lookup::Missing:
            log(QStringLiteral("review of candidate %1: no result is stored any more").arg(id));
            break;
        case ServerStore::Lookup::Failed:
            log(QStringLiteral("review of candidate %1: %2").arg(id).arg(m_store->lastError()));
            break;
        }
    } else {
        log(QStringLiteral("review asked for candidate %1, which this station did not enter for review").arg(id));
    }
    ReviewMessage review;
    review.setText(text);
    if (send(review))
        log(QStringLiteral("review sent: candidate %1, %2 byte(s)").arg(id).arg(text.size()));
}

void StationSession::storeResult(const ContestResultMessage &message)
{
    const ResultRecord result = StationMessages::result(message, m_peer, m_centre);
    const QString what = QStringLiteral("result for candidate %1, course %2, total %3")
                             .arg(result.candidateId)
                             .arg(result.courseCode)
                             .arg(result.total);
    const QString unstored = QStringLiteral("; pass mark %1, passed %2, detail %3")
                                 .arg(result.passScore)
                                 .arg(message.passed())
                                 .arg(result.detail);
    m_storing = true;
    const int candidateId = result.candidateId;
    m_writer->submit(result, this, [this, candidateId, what, unstored](ServerStore::Upload outcome, const QString &why) {
        m_storing = false;
        switch (outcome) {
        case ServerStore::Upload::Stored:
            log(what + QStringLiteral(": stored"));
            m_admission.releaseExamined(candidateId);
            emit resultStored(candidateId);
            break;
        case ServerStore::Upload::Duplicate:
            log(what + QStringLiteral(": repeated upload, already stored"));
            m_admission.releaseExamined(candidateId);
            break;
        // The station cannot be told and will not send it again, so the log
        // is the only place left where an operator can recover the result.
        case ServerStore::Upload::Rejected:
            log(what + QStringLiteral(": rejected: ") + why + unstored);
            break;
        case ServerStore::Upload::Failed:
            log(what + QStringLiteral(": NOT STORED: ") + why + unstored);
            // The station counts a result as taken once a later request of
            // its own is answered. Ending the link answers none, so the
            // station keeps the result and sends it again on its next link.
            close(QStringLiteral("closing so that the station sends the result again"));
            return;
        }
        scheduleInput();
    });
}

void StationSession::pushFile(const QString &path, const QByteArray &name)
{
    if (!m_closing)
        m_push->enqueue(path, name);
}
