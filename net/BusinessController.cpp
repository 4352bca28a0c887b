#include "BusinessController.h"

#include "Chapter.h"
#include "Composer.h"
#include "ContestNameMessage.h"
#include "Constants.h"
#include "ContestController.h"
#include "ContestProcedure.h"
#include "ContestResultMessage.h"
#include "Exercise.h"
#include "FileUtility.h"
#include "InfoConfirmMessage.h"
#include "InputDispatcher.h"
#include "Library.h"
#include "NetLogging.h"
#include "PlaybackWarmUp.h"
#include "PlayerManager.h"
#include "ResultOutbox.h"
#include "SqliteConnection.h"
#include "TcpClient.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QVideoWidget>

#include <cstring>
#include <memory>

namespace {

QString textUpToZero(const char *bytes, int length)
{
    if (!bytes || length <= 0)
        return QString();
    const char *end = static_cast<const char *>(memchr(bytes, 0, size_t(length)));
    return QString::fromUtf8(bytes, end ? int(end - bytes) : length);
}

QString inFolder(const QString &folder, const char *relative)
{
    return QDir::cleanPath(folder + QLatin1Char('/') + QString::fromLatin1(relative));
}

std::unique_ptr<ContestResultMessage> resultMessage(const ResultOutbox::Entry &entry)
{
    auto message = std::make_unique<ContestResultMessage>(true);
    message->setTotalScore(entry.totalScore);
    message->setPassScore(entry.passScore);
    message->setPassed(entry.passed);
    message->setCandidateId(entry.candidateId);
    message->setContestCode(entry.contestCode);
    message->setDetail(entry.detail);
    return message;
}

} // namespace

BusinessController *BusinessController::instance()
{
    static BusinessController *controller = new BusinessController(Setup());
    return controller;
}

BusinessController::BusinessController(const Setup &setup, QObject *parent)
    : QObject(parent)
    , m_outbox(std::make_unique<ResultOutbox>(inFolder(setup.workingFolder, ResultOutbox::fileName)))
{
    InputDispatcher::instance()->registerClient(this);

    m_sqliteConnection = new SqliteConnection(this);
    m_sqliteConnection->setDatabasePath(inFolder(setup.workingFolder, Constants::databaseFile));
    m_sqliteConnection->setVideoFolder(inFolder(setup.workingFolder, Constants::videoFolder));
    if (!setup.databaseDigest.isEmpty())
        m_sqliteConnection->setSecrets(Constants::dbSalt(), setup.databaseDigest, Constants::dbPassword());
    if (m_sqliteConnection->openDatabase()) {
        qCInfo(lcNet) << "Connect sqlite db successfully";
        m_contentInvalid = 0;
    } else {
        qCWarning(lcNet) << "Unable to intialize sqlite database";
        m_contentInvalid = 1;
    }

    m_playerManager = new PlayerManager(inFolder(setup.workingFolder, Constants::scratchFolder), this);
    m_contestProcedure = new ContestProcedure(this);
    m_composer = new Composer(this);
    m_fileUtility = new FileUtility(this);
    m_library = new Library(this);

    m_contestController = new ContestController;
    m_contestController->setComposer(m_composer);
    m_contestController->setContestProcedure(m_contestProcedure);
    m_contestController->setPlayerManager(m_playerManager);
    m_composer->setLibrary(m_library);
    m_playerManager->setComposer(m_composer);

    qRegisterMetaType<LearnModeEnum>("LearnModeEnum");

    m_contestController->moveToThread(&m_workerThread);
    connect(this, &BusinessController::sendResetContestContent, m_contestController,
            &ContestController::onResetContestContent);
    connect(m_contestController, &ContestController::doneResetContest, this,
            &BusinessController::doneResetContest);
    connect(&m_workerThread, &QThread::finished, m_contestController, &QObject::deleteLater);
    connect(this, &BusinessController::notifyReviewContestContent, m_contestController,
            &ContestController::onReviewContestContent);
    m_workerThread.start(QThread::InheritPriority);
}

BusinessController::~BusinessController()
{
    // From here on the link's receiving thread no longer calls in.
    InputDispatcher::instance()->unregisterClient(this);
    m_workerThread.quit();
    // A playlist rebuild on the worker thread ends with a blocking call into
    // the player manager on this thread: serve it while waiting, or each
    // thread would wait for the other.
    while (!m_workerThread.wait(QDeadlineTimer(20)))
        QCoreApplication::sendPostedEvents(m_playerManager, QEvent::MetaCall);
}

void BusinessController::loadContent()
{
    m_sqliteConnection->loadChapterExercises(m_library);
    m_sqliteConnection->loadCountDownExercise(m_composer);
    for (int chapter = 0; chapter < Constants::contestStructure().size(); ++chapter) {
        for (const Exercise *exercise : m_library->exercisesOfChapter(chapter))
            m_situationIds.insert(exercise->id());
    }
    if (!contentIsPlayable())
        m_contentInvalid = 1;
    // The first examination of a process would otherwise meet a cold media
    // stack, and its first entry change would show as a pause.
    const QList<Exercise *> situations = m_library->exercisesOfChapter(0);
    if (!m_contentInvalid && !situations.isEmpty()) {
        auto *warmUp = new PlaybackWarmUp(m_playerManager->scratchFolder() + QLatin1Char('w'), this);
        connect(this, &BusinessController::sendResetContestContent, warmUp, &PlaybackWarmUp::stop);
        connect(this, &BusinessController::notifyReviewContestContent, warmUp, &PlaybackWarmUp::stop);
        warmUp->start({m_composer->countDown()->filePath(), situations.first()->filePath()});
    }
}

// An examination draws from every chapter and plays the count-down clip
// before each situation: content that cannot give all of them would stop a
// candidate half-way through.
bool BusinessController::contentIsPlayable() const
{
    bool playable = true;
    auto videoMissing = [](const Exercise *exercise) {
        if (QFileInfo(exercise->filePath()).isFile())
            return false;
        qCInfo(lcNet).noquote() << "Missing video: " + exercise->filePath();
        return true;
    };
    const QList<int> structure = Constants::contestStructure();
    for (int chapter = 0; chapter < structure.size(); ++chapter) {
        const QList<Exercise *> exercises = m_library->exercisesOfChapter(chapter);
        if (exercises.size() < structure.at(chapter)) {
            qCInfo(lcNet).noquote() << QStringLiteral("Chapter %1 holds %2 situation(s); an examination draws %3")
                                     .arg(chapter + 1)
                                     .arg(exercises.size())
                                     .arg(structure.at(chapter));
            playable = false;
        }
        for (const Exercise *exercise : exercises) {
            if (videoMissing(exercise))
                playable = false;
        }
    }
    const Exercise *countDown = m_composer->countDown();
    if (!countDown) {
        qCInfo(lcNet) << "No count-down clip in the content";
        playable = false;
    } else if (videoMissing(countDown)) {
        playable = false;
    }
    return playable;
}

void BusinessController::setVideoOutput(QVideoWidget *widget)
{
    m_playerManager->player()->setVideoOutput(widget);
}

void BusinessController::resetContestState()
{
    m_contestProcedure->resetFlags();
    m_playerManager->requestPause();
}

void BusinessController::resetContest(LearnModeEnum mode, int chapter, int ex)
{
    qCDebug(lcNet) << "start reset from thread" << QThread::currentThread();
    emit sendResetContestContent(mode, chapter, ex);
}

void BusinessController::startReview()
{
    QStringList parts;
    {
        QMutexLocker lock(&m_reviewLock);
        parts = m_reviewParts;
    }
    if (parts.size() == 3)
        emit notifyReviewContestContent(parts.at(0), parts.at(2), parts.at(1));
}

void BusinessController::sendContestResult(qint32 totalScore, qint32 passScore, quint8 passed,
                                           qint32 candidateId, const QString &detail,
                                           const QString &contestCode)
{
    ResultOutbox::Entry entry;
    entry.totalScore = totalScore;
    entry.passScore = passScore;
    entry.passed = passed;
    entry.candidateId = candidateId;
    entry.contestCode = contestCode.toUtf8();
    entry.detail = detail.toLocal8Bit();
    // On disk before it can be lost with the link.
    entry.seq = m_outbox->append(entry);
    {
        std::lock_guard<std::mutex> lock(m_deliveryLock);
        m_tracking[entry.seq] = Tracking{Passage::Checking, 0};
    }
    TcpClient &client = TcpClient::instance();
    const quint64 connectionBefore = client.connection();
    const bool delivered = client.sendWithDeliveryCheck(resultMessage(entry));
    std::lock_guard<std::mutex> lock(m_deliveryLock);
    afterDeliveryCheck(entry.seq, delivered, connectionBefore);
}

// No link is made while a delivery check runs except by the check itself,
// and only on this thread, so the connection tells what became of the result.
void BusinessController::afterDeliveryCheck(qint64 seq, bool delivered, quint64 connectionBefore)
{
    TcpClient &client = TcpClient::instance();
    const quint64 connection = client.connection();
    Tracking &tracking = m_tracking[seq];
    const bool connected = client.isConnected();
    if (delivered) {
        if (connected) {
            tracking = Tracking{Passage::Sent, connection};
            sendBarrier(connection);
        } else {
            // The link fell right after the check; whether the server got
            // the result is unknown.
            tracking = Tracking{Passage::Idle, 0};
        }
    } else if (connected && connection == connectionBefore) {
        // Refused without a reconnection: the frame could not be built and
        // nothing was kept. Tried again after the next key exchange.
        tracking = Tracking{Passage::Idle, 0};
    } else if (connected && m_keyedConnection == connection) {
        // The new link's challenge has been answered already, and the key
        // sent the link's queue, this result with it.
        tracking = Tracking{Passage::Sent, connection};
        sendBarrier(connection);
    } else {
        // In the link's queue until the next key exchange.
        tracking = Tracking{Passage::Queued, 0};
    }
}

void BusinessController::resendUndelivered(quint64 connection)
{
    TcpClient &client = TcpClient::instance();
    bool sent = false;
    const QList<ResultOutbox::Entry> entries = m_outbox->undelivered();
    for (const ResultOutbox::Entry &entry : entries) {
        Tracking &tracking = m_tracking[entry.seq];
        switch (tracking.passage) {
        case Passage::Checking:
            continue;
        case Passage::Queued:
            // The key just installed sent the link's queue, this result
            // with it.
            break;
        case Passage::Sent:
            if (tracking.connection == connection)
                continue;
            Q_FALLTHROUGH();
        case Passage::Idle:
            if (client.sendMessage(*resultMessage(entry)) < 0) {
                tracking = Tracking{Passage::Idle, 0};
                continue;
            }
            break;
        }
        tracking = Tracking{Passage::Sent, connection};
        sent = true;
    }
    if (sent)
        sendBarrier(connection);
}

void BusinessController::sendBarrier(quint64 connection)
{
    Barrier barrier;
    barrier.connection = connection;
    for (auto it = m_tracking.cbegin(); it != m_tracking.cend(); ++it) {
        if (it->passage == Passage::Sent && it->connection == connection)
            barrier.results.append(it.key());
    }
    if (barrier.results.isEmpty())
        return;
    TcpClient::Placement placement;
    if (TcpClient::instance().sendMessage(ContestNameMessage(), &placement) < 0
        || placement.connection != connection)
        return;
    barrier.request = placement.courseRequest;
    m_barriers.append(barrier);
}

bool BusinessController::passBarrier(quint64 connection, quint64 request)
{
    for (int i = 0; i < m_barriers.size(); ++i) {
        const Barrier barrier = m_barriers.at(i);
        if (barrier.connection != connection || barrier.request != request)
            continue;
        m_barriers.removeAt(i);
        for (qint64 seq : barrier.results) {
            const Tracking tracking = m_tracking.value(seq);
            if (tracking.passage == Passage::Sent && tracking.connection == connection) {
                m_outbox->markDelivered(seq);
                m_tracking.remove(seq);
            }
        }
        return true;
    }
    return false;
}

void BusinessController::sendInfoConfirm(qint32 candidateId, quint8 marker, quint8 confirmed)
{
    InfoConfirmMessage message(true);
    message.setCandidateId(candidateId);
    message.setMarker(marker);
    message.setConfirmed(confirmed);
    TcpClient::instance().sendMessage(message);
}

void BusinessController::onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                                         const QString &fullName, const QString &image)
{
    emit notifyEnterResponse(code, cert, id, pid, fullName, image);
}

void BusinessController::onAuthenStateOne(const QByteArray &nonce)
{
    TcpClient &client = TcpClient::instance();
    client.answerChallenge(nonce);

    // This thread belongs to the connection, which therefore stays the
    // current one until this call returns.
    const quint64 connection = client.connection();
    std::lock_guard<std::mutex> lock(m_deliveryLock);
    m_keyedConnection = connection;
    // A barrier of a connection that is gone will never be answered.
    for (int i = 0; i < m_barriers.size(); ++i) {
        if (m_barriers.at(i).connection != connection)
            m_barriers.removeAt(i--);
    }
    resendUndelivered(connection);
}

void BusinessController::onContestName(const char *codeBytes, int codeLength,
                                       const char *nameBytes, int nameLength)
{
    {
        std::lock_guard<std::mutex> lock(m_deliveryLock);
        // The answer to a barrier is no news for the user interface, which
        // asked for no course list.
        if (!m_barriers.isEmpty()) {
            const TcpClient::Placement answer = TcpClient::instance().courseListAnswer();
            if (passBarrier(answer.connection, answer.courseRequest))
                return;
        }
    }
    emit receivedContestName(textUpToZero(codeBytes, codeLength), textUpToZero(nameBytes, nameLength));
}

// A review must rebuild the stored examination as it was: one score, one
// flag time and one situation of this content for each situation, or the
// window would be left with nothing to play.
bool BusinessController::reviewIsUsable(const QStringList &parts) const
{
    if (parts.size() != 3)
        return false;
    QList<QStringList> lists;
    for (const QString &part : parts)
        lists.append(part.split(QLatin1Char(';'), Qt::KeepEmptyParts));
    const int situations = lists.at(0).size();
    for (const QStringList &list : qAsConst(lists)) {
        if (list.size() != situations)
            return false;
        for (const QString &item : list) {
            bool number = false;
            item.toLongLong(&number);
            if (!number)
                return false;
        }
    }
    for (const QString &id : lists.at(2)) {
        if (!m_situationIds.contains(id.toInt()))
            return false;
    }
    return true;
}

void BusinessController::onReview(const QString &text)
{
    QStringList parts = text.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const bool usable = reviewIsUsable(parts);
    if (!usable)
        parts.clear();
    if (!usable && !text.isEmpty()) {
        qCInfo(lcNet).noquote() << "Review text refused: " + text.left(200);
    }
    {
        QMutexLocker lock(&m_reviewLock);
        m_reviewParts = parts;
    }
    if (usable)
        emit notifyPrepareReview(parts.at(0));
    else
        emit notifyNotSupportReview();
}
