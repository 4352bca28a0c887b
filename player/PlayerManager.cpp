#include "PlayerManager.h"

#include "Constants.h"
#include "DecryptTask.h"
#include "PlayerLogging.h"

#include "Composer.h"
#include "Exercise.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlaylist>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

// A playing entry that reports no progress for this long is given up: the
// contest must reach its end even when the backend goes silent.
constexpr int stallMs = 8000;

} // namespace

PlayerManager::PlayerManager(QObject *parent)
    : PlayerManager(QString::fromLatin1(Constants::scratchFolder), parent)
{
}

PlayerManager::PlayerManager(const QString &scratchFolder, QObject *parent)
    : QObject(parent)
    , m_player(new QMediaPlayer(this))
    , m_playlist(new QMediaPlaylist(m_player))
    , m_scratchFolder(scratchFolder)
    , m_stallTimer(new QTimer(this))
{
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setInterval(stallMs);
    connect(m_stallTimer, &QTimer::timeout, this, &PlayerManager::leaveStalledEntry);
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
    connect(m_playlist, &QMediaPlaylist::currentIndexChanged, this, &PlayerManager::followEntry);
    connect(this, &PlayerManager::play, m_player, &QMediaPlayer::play);
    connect(this, &PlayerManager::pause, m_player, &QMediaPlayer::pause);
    connect(this, &PlayerManager::stop, m_player, &QMediaPlayer::stop);
    // Recorded before anyone else hears of the change, so a listener to the
    // player's stateChanged already reads the new state here.
    connect(m_player, &QMediaPlayer::stateChanged, this, &PlayerManager::setState);
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
    const QFileInfo source(filePath);
    const QPair<qint64, qint64> stamp(source.size(), source.lastModified().toMSecsSinceEpoch());
    const auto made = m_decryptedFiles.constFind(outputPath);
    if (made == m_decryptedFiles.constEnd() || made.value() != stamp) {
        QThreadPool::globalInstance()->start(new DecryptTask(filePath, outputPath), 0);
        m_decryptedFiles.insert(outputPath, stamp);
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
    runContest(false);
    m_playlist->clear();
    for (const QString &path : paths)
        m_playlist->addMedia(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    m_entryStarts.clear();
    qint64 start = 0;
    for (qint64 duration : durations) {
        m_entryStarts.append(start);
        start += duration;
    }
    m_entryStarts.append(start);
    m_mediaCount = m_playlist->mediaCount();
    restartTimeline();
    m_player->setPlaybackRate(1.0);
}

void PlayerManager::restartTimeline()
{
    m_elapsedBase = 0;
    m_entry = 0;
    m_playedToEnd = QVector<bool>(m_mediaCount, false);
    m_lastPosition = -1;
    m_contestEnded = false;
}

QList<int> PlayerManager::unplayedEntries() const
{
    QList<int> entries;
    for (int i = 0; i < m_playedToEnd.size(); ++i) {
        if (!m_playedToEnd.at(i))
            entries.append(i);
    }
    return entries;
}

void PlayerManager::runContest(bool running)
{
    m_running = running;
    if (running)
        m_stallTimer->start();
    else
        m_stallTimer->stop();
}

void PlayerManager::rewind()
{
    runContest(false);
    m_playlist->setCurrentIndex(0);
    m_player->setPosition(0);
    restartTimeline();
}

void PlayerManager::seekTo(SeekInfo info)
{
    runContest(false);
    m_entry = info.exerciseIndex;
    m_playlist->setCurrentIndex(info.exerciseIndex);
    m_player->setPosition(info.positionInVideo);
    m_elapsedBase = info.videoStart;
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
        runContest(true);
        emit play();
        break;
    case QMediaPlayer::PausedState:
        runContest(true);
        emit play();
        break;
    case QMediaPlayer::PlayingState:
        break;
    }
}

void PlayerManager::requestPause()
{
    if (m_recordedState == QMediaPlayer::PlayingState) {
        runContest(false);
        emit pause();
    }
}

void PlayerManager::requestStop()
{
    if (m_recordedState != QMediaPlayer::PlayingState && m_recordedState != QMediaPlayer::PausedState)
        return;
    runContest(false);
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
    const int index = m_playlist->currentIndex();
    switch (status) {
    case QMediaPlayer::EndOfMedia:
        if (index >= 0 && index < m_playedToEnd.size())
            m_playedToEnd[index] = true;
        if (index == m_mediaCount - 1)
            endContest();
        else if (index == m_entry)
            ++m_entry;
        break;
    case QMediaPlayer::InvalidMedia:
        skipUnplayableEntry(index);
        break;
    default:
        break;
    }
}

// The backend reports a failed entry twice, by its status and by an error
// that may come only once the playlist has moved on; the playlist moves on
// at both, passing over the next entry. Only the entry meant to play counts
// as failed, and followEntry() brings the playlist back to the next one.
void PlayerManager::skipUnplayableEntry(int index)
{
    qCInfo(lcPlayer).noquote() << "Can't play video: " + m_playlist->media(index).request().url().toLocalFile();
    if (index != m_entry)
        return;
    ++m_entry;
    if (m_entry >= m_mediaCount) {
        emit notifyPositionChanged(m_entryStarts.value(m_mediaCount));
        endContest();
    }
}

void PlayerManager::followEntry(int index)
{
    if (index >= 0 && index < m_mediaCount)
        m_elapsedBase = m_entryStarts.at(index);
    m_lastPosition = -1;
    if (!m_running || m_contestEnded)
        return;
    m_stallTimer->start();
    if (index != m_entry)
        QMetaObject::invokeMethod(this, &PlayerManager::playIntendedEntry, Qt::QueuedConnection);
}

void PlayerManager::playIntendedEntry()
{
    if (!m_running || m_contestEnded)
        return;
    if (m_entry >= m_mediaCount) {
        emit notifyPositionChanged(m_entryStarts.value(m_mediaCount));
        endContest();
        return;
    }
    if (m_playlist->currentIndex() != m_entry)
        m_playlist->setCurrentIndex(m_entry);
    m_stallTimer->start();
    emit play();
}

void PlayerManager::leaveStalledEntry()
{
    if (!m_running || m_contestEnded)
        return;
    qCInfo(lcPlayer).noquote() << "No progress in video: " + m_playlist->media(m_entry).request().url().toLocalFile();
    ++m_entry;
    playIntendedEntry();
}

void PlayerManager::endContest()
{
    runContest(false);
    if (!m_contestEnded) {
        m_contestEnded = true;
        emit notifyEndContest();
    }
    emit stop();
}

void PlayerManager::on_positionChanged(qint64 position)
{
    // Once the contest has ended the timeline stays at its end; what the
    // player reports while it lets go of the playlist is not a position in
    // the contest, nor is that of an entry the playlist is being brought
    // back from.
    if (m_contestEnded || (m_running && m_playlist->currentIndex() != m_entry))
        return;
    if (m_running && position != m_lastPosition)
        m_stallTimer->start();
    m_lastPosition = position;
    emit notifyPositionChanged(m_elapsedBase + position);
}

void PlayerManager::on_durationChanged(qint64 duration)
{
    Q_UNUSED(duration)
}
