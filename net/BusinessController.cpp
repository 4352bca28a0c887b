#include "BusinessController.h"

#include "Chapter.h"
#include "Composer.h"
#include "Constants.h"
#include "ContestController.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "FileUtility.h"
#include "InfoConfirmMessage.h"
#include "InputDispatcher.h"
#include "Library.h"
#include "NetLogging.h"
#include "PlaybackWarmUp.h"
#include "PlayerManager.h"
#include "ResultDelivery.h"
#include "SqliteConnection.h"
#include "TcpClient.h"
#include "TcpResultLink.h"

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

} // namespace

BusinessController *BusinessController::instance()
{
    static BusinessController *controller = new BusinessController(Setup());
    return controller;
}

BusinessController::BusinessController(const Setup &setup, QObject *parent)
    : QObject(parent)
    , m_link(std::make_unique<TcpResultLink>())
    , m_delivery(std::make_unique<ResultDelivery>(inFolder(setup.workingFolder, ResultOutbox::fileName), m_link.get()))
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
    qRegisterMetaType<ResultDetail>();

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

ResultOutbox *BusinessController::resultOutbox() const
{
    return m_delivery->outbox();
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
    ResultDetail review;
    {
        QMutexLocker lock(&m_reviewLock);
        if (!m_reviewUsable)
            return;
        review = m_review;
    }
    emit notifyReviewContestContent(review);
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
    m_delivery->deliver(entry);
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
    TcpClient::instance().answerChallenge(nonce);
    m_delivery->keyExchanged();
}

void BusinessController::onContestName(const char *codeBytes, int codeLength,
                                       const char *nameBytes, int nameLength)
{
    if (m_delivery->takeCourseList())
        return;
    emit receivedContestName(textUpToZero(codeBytes, codeLength), textUpToZero(nameBytes, nameLength));
}

// A review must rebuild the stored examination as it was: one score, one
// flag time and one situation of this content for each situation, or the
// window would be left with nothing to play.
bool BusinessController::reviewIsUsable(const ResultDetail &detail, QString *why) const
{
    const int situations = detail.scores().size();
    if (situations == 0 || detail.flags().size() != situations || detail.ids().size() != situations) {
        *why = QStringLiteral("the lists differ in length");
        return false;
    }
    for (const int id : detail.ids()) {
        if (!m_situationIds.contains(id)) {
            *why = QStringLiteral("situation %1 is not in this content").arg(id);
            return false;
        }
    }
    return true;
}

void BusinessController::onReview(const QString &text)
{
    ResultDetail detail;
    QString why;
    const bool usable = ResultDetail::parse(text, &detail, &why) && reviewIsUsable(detail, &why);
    if (!usable && !text.isEmpty()) {
        qCInfo(lcNet).noquote() << "Review text refused: " + text.left(200);
        qCDebug(lcNet).noquote() << "Refused because " + why;
    }
    {
        QMutexLocker lock(&m_reviewLock);
        m_review = usable ? detail : ResultDetail();
        m_reviewUsable = usable;
    }
    if (usable)
        emit notifyPrepareReview(detail);
    else
        emit notifyNotSupportReview();
}
