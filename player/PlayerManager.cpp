#include "PlayerManager.h"

#include "Constants.h"
#include "DecryptTask.h"
#include "PlayerLogging.h"

#include "Composer.h"
#include "Exercise.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlaylist>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <sys/stat.h>
#include <sys/types.h>

PlayerManager::PlayerManager(QObject *parent)
    : PlayerManager(QString::fromLatin1(Constants::scratchFolder), parent)
{
}

PlayerManager::PlayerManager(const QString &scratchFolder, QObject *parent)
    : QObject(parent)
    , m_player(new QMediaPlayer(this))
    , m_playlist(new QMediaPlaylist(m_player))
    , m_scratchFolder(scratchFolder)
{
    m_player->setNotifyInterval(10);
    m_player->setPlaybackRate(2.0);
    m_playlist->setPlaybackMode(QMediaPlaylist::Sequential);

    // Connected before the playlist is set, or the first status changes of
    // the backend go by unseen.
    connect(m_player, &QMediaPlayer::durationChanged, this, &PlayerManager::on_durationChanged);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &PlayerManager::on_mediaStatusChanged);
    connect(m_player, &QMediaPlayer::positionChanged, this, &PlayerManager::on_positionChanged);
    // The backend reports the new entry's first position before its loading
    // status; the base must have moved on by then, or the timeline would
    // fall back by one entry for a moment at every change.
    connect(m_playlist, &QMediaPlaylist::currentIndexChanged, this, &PlayerManager::takeEndedEntry);
    connect(this, &PlayerManager::play, m_player, &QMediaPlayer::play);
    connect(this, &PlayerManager::pause, m_player, &QMediaPlayer::pause);
    connect(this, &PlayerManager::stop, m_player, &QMediaPlayer::stop);
    m_player->setPlaylist(m_playlist);

    // A run that ended without clean-up left decrypted copies behind; they
    // must not stay on disk, and their names would be taken for this run's.
    removeScratchFolder();
}

PlayerManager::~PlayerManager()
{
    removeScratchFolder();
}

void PlayerManager::removeScratchFolder()
{
    QDir folder(m_scratchFolder);
    if (!folder.exists())
        return;
    // Every file, not only names with a dot: an interrupted copy leaves a
    // temporary file of its own naming beside the target.
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString &name : names)
        QFile::remove(folder.filePath(name));
    if (!QDir().rmdir(m_scratchFolder))
        qCInfo(lcPlayer).noquote() << "Can't remove scratch folder: " + m_scratchFolder;
}

bool PlayerManager::prepareScratchFolder()
{
    const QFileInfo info(m_scratchFolder);
    if (!info.isDir()) {
        QDir().mkpath(info.absolutePath());
        // Created private from the start rather than narrowed afterwards, so
        // there is no moment in which others can look in.
        if (::mkdir(QFile::encodeName(m_scratchFolder).constData(), 0700) != 0 && !QFileInfo(m_scratchFolder).isDir()) {
            qCInfo(lcPlayer).noquote() << "Can't create scratch folder: " + m_scratchFolder;
            return false;
        }
    }
    // Linux has no hidden attribute; owner-only access is what keeps the
    // plain copies from other users, and it is enforced on every call in
    // case the folder was created by something else.
    QFile::setPermissions(m_scratchFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

QString PlayerManager::decryptVideo(const QString &filePath)
{
    const QString fileName = filePath.section(QLatin1Char('/'), -1);
    prepareScratchFolder();
    const QString outputPath = m_scratchFolder + QLatin1Char('/') + fileName;
    if (!m_decryptedFiles.contains(outputPath)) {
        QThreadPool::globalInstance()->start(new DecryptTask(filePath, outputPath), 0);
        m_decryptedFiles.append(outputPath);
    }
    return outputPath;
}

void PlayerManager::rebuildPlaylist()
{
    const QList<Exercise *> entries = m_composer ? m_composer->exercises() : QList<Exercise *>();
    QStringList paths;
    QList<qint64> durations;
    for (const Exercise *entry : entries) {
        paths.append(decryptVideo(entry->filePath()));
        durations.append(entry->duration());
    }
    QThreadPool::globalInstance()->waitForDone();

    // The player and its playlist belong to the GUI thread; the caller on
    // the worker thread waits until they hold the new entries, so whoever
    // hears of the finished preparation finds the playlist filled.
    if (QThread::currentThread() == thread()) {
        loadPlaylist(paths, durations);
    } else {
        QMetaObject::invokeMethod(
            this, [this, paths, durations] { loadPlaylist(paths, durations); }, Qt::BlockingQueuedConnection);
    }
}

void PlayerManager::loadPlaylist(const QStringList &paths, const QList<qint64> &durations)
{
    m_playlist->clear();
    restartTimeline();
    for (const QString &path : paths)
        m_playlist->addMedia(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    m_entryDurations = durations;
    m_mediaCount = m_playlist->mediaCount();
    m_player->setPlaybackRate(1.0);
}

void PlayerManager::restartTimeline()
{
    m_elapsedBase = 0;
    m_currentDuration = 0;
    m_contestEnded = false;
}

void PlayerManager::rewind()
{
    m_playlist->setCurrentIndex(0);
    m_player->setPosition(0);
    restartTimeline();
}

void PlayerManager::seekTo(SeekInfo info)
{
    m_playlist->setCurrentIndex(info.exerciseIndex);
    m_player->setPosition(info.positionInVideo);
    m_elapsedBase = info.videoStart;
    // The loading of the new entry must add nothing to the base.
    m_currentDuration = 0;
    m_contestEnded = false;
    m_player->pause();
    emit notifySeekByGui();
}

void PlayerManager::setState(QMediaPlayer::State state)
{
    if (state != m_recordedState)
        m_recordedState = state;
}

void PlayerManager::requestPlay()
{
    switch (m_recordedState) {
    case QMediaPlayer::StoppedState:
        m_playlist->setCurrentIndex(-1);
        restartTimeline();
        emit play();
        break;
    case QMediaPlayer::PausedState:
        emit play();
        break;
    case QMediaPlayer::PlayingState:
        break;
    }
}

void PlayerManager::requestPause()
{
    if (m_recordedState == QMediaPlayer::PlayingState)
        emit pause();
}

void PlayerManager::requestStop()
{
    if (m_recordedState != QMediaPlayer::PlayingState && m_recordedState != QMediaPlayer::PausedState)
        return;
    m_playlist->setCurrentIndex(-1);
    restartTimeline();
    emit stop();
}

void PlayerManager::setPlaybackRate(double rate)
{
    m_player->setPlaybackRate(rate);
}

void PlayerManager::on_mediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    switch (status) {
    case QMediaPlayer::EndOfMedia:
        if (m_playlist->currentIndex() == m_mediaCount - 1)
            endContest();
        m_currentDuration = m_player->duration();
        break;
    case QMediaPlayer::NoMedia:
    case QMediaPlayer::LoadingMedia:
        takeEndedEntry();
        break;
    case QMediaPlayer::InvalidMedia:
        skipUnplayableEntry();
        break;
    default:
        break;
    }
}

// A missing or undecodable copy gives no end of media. Its stored length
// keeps the later entries at their places on the timeline, and when it was
// the last entry the contest still ends, so the examination is scored.
void PlayerManager::skipUnplayableEntry()
{
    const int index = m_playlist->currentIndex();
    qCInfo(lcPlayer).noquote() << "Can't play video: " + m_playlist->media(index).request().url().toLocalFile();
    m_currentDuration = index >= 0 && index < m_entryDurations.size() ? m_entryDurations.at(index) : 0;
    if (index == m_mediaCount - 1) {
        emit notifyPositionChanged(m_elapsedBase + m_currentDuration);
        endContest();
    }
}

void PlayerManager::endContest()
{
    if (!m_contestEnded) {
        m_contestEnded = true;
        emit notifyEndContest();
    }
    emit stop();
}

// The sequential playlist has moved on: the entry that just ended now lies
// before the current one. Taken once, so the index change and the loading
// status that follow one another cannot count it twice.
void PlayerManager::takeEndedEntry()
{
    m_elapsedBase += m_currentDuration;
    m_currentDuration = 0;
}

void PlayerManager::on_positionChanged(qint64 position)
{
    // Once the contest has ended the timeline stays at its end; what the
    // player reports while it lets go of the playlist is not a position in
    // the contest.
    if (m_contestEnded)
        return;
    emit notifyPositionChanged(m_elapsedBase + position);
}

void PlayerManager::on_durationChanged(qint64 duration)
{
    Q_UNUSED(duration)
}
