#include "BusinessController.h"

#include "AuthenStateTwoMessage.h"
#include "Chapter.h"
#include "Composer.h"
#include "Constants.h"
#include "ContestController.h"
#include "ContestProcedure.h"
#include "ContestResultMessage.h"
#include "Exercise.h"
#include "FileUtility.h"
#include "InfoConfirmMessage.h"
#include "InputDispatcher.h"
#include "KeyExchange.h"
#include "Library.h"
#include "PlayerManager.h"
#include "SqliteConnection.h"
#include "TcpClient.h"

#include <QDebug>
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
    , m_workingFolder(setup.workingFolder)
{
    InputDispatcher::instance()->registerClient(this);

    m_sqliteConnection = new SqliteConnection(this);
    m_sqliteConnection->setDatabasePath(inFolder(m_workingFolder, Constants::databaseFile));
    m_sqliteConnection->setVideoFolder(inFolder(m_workingFolder, Constants::videoFolder));
    if (!setup.databaseDigest.isEmpty())
        m_sqliteConnection->setSecrets(Constants::dbSalt(), setup.databaseDigest, Constants::dbPassword());
    if (m_sqliteConnection->openDatabase()) {
        qDebug() << "Connect sqlite db successfully";
        m_contentInvalid = 0;
    } else {
        qDebug() << "Unable to intialize sqlite database";
        m_contentInvalid = 1;
    }

    m_playerManager = new PlayerManager(inFolder(m_workingFolder, Constants::scratchFolder), this);
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
    InputDispatcher::instance()->unregisterClient(this);
    m_workerThread.quit();
    m_workerThread.wait();
}

void BusinessController::loadContent()
{
    m_sqliteConnection->loadChapterExercises(m_library);
    m_sqliteConnection->loadCountDownExercise(m_composer);
    if (!contentIsPlayable())
        m_contentInvalid = 1;
}

bool BusinessController::contentIsPlayable() const
{
    return !m_library->exercisesOfChapter(1).isEmpty();
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
    qDebug() << "start reset from thread" << QThread::currentThread();
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
    auto message = std::make_unique<ContestResultMessage>(true);
    message->setTotalScore(totalScore);
    message->setPassScore(passScore);
    message->setPassed(passed);
    message->setCandidateId(candidateId);
    message->setContestCode(contestCode.toUtf8());
    message->setDetail(detail.toLocal8Bit());
    TcpClient::instance().sendWithDeliveryCheck(std::move(message));
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
    const QByteArray secret = KeyExchange::secret();
    AuthenStateTwoMessage answer;
    answer.setResponse(KeyExchange::challengeAnswer(secret, nonce));
    TcpClient::instance().sendMessage(answer);
    TcpClient::instance().setKey(KeyExchange::sessionKey(secret, nonce));
}

void BusinessController::onContestName(const char *codeBytes, int codeLength,
                                       const char *nameBytes, int nameLength)
{
    emit receivedContestName(textUpToZero(codeBytes, codeLength), textUpToZero(nameBytes, nameLength));
}

void BusinessController::onReview(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    {
        QMutexLocker lock(&m_reviewLock);
        m_reviewParts = parts;
    }
    if (parts.size() == 3)
        emit notifyPrepareReview(parts.at(0));
    else
        emit notifyNotSupportReview();
}
