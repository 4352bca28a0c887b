#include "PlaybackWarmUp.h"

#include "DecryptTask.h"

#include <QAbstractVideoSurface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QMediaPlaylist>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/stat.h>

namespace {

// A backend that goes silent must not keep the warm-up's player around.
constexpr int guardMs = 20000;
// The first clip is played only over its last moments: the entry change is
// what needs warming, not the count-down's length.
constexpr qint64 tailMs = 400;

// Takes every picture and shows none.
class DiscardSurface : public QAbstractVideoSurface
{
public:
    using QAbstractVideoSurface::QAbstractVideoSurface;

    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const override
    {
        // What the station's video widget takes in memory, so the backend
        // builds the same conversion it will use for the examination.
        if (type != QAbstractVideoBuffer::NoHandle)
            return {};
        return {QVideoFrame::Format_RGB32, QVideoFrame::Format_ARGB32, QVideoFrame::Format_YUV420P,
                QVideoFrame::Format_NV12, QVideoFrame::Format_YV12};
    }
    bool present(const QVideoFrame &frame) override
    {
        // The backend flushes with an empty frame at an end of media.
        if (frame.startTime() >= 0 && onFrame)
            onFrame();
        return true;
    }

    std::function<void()> onFrame;
};

} // namespace

PlaybackWarmUp::PlaybackWarmUp(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
    , m_guard(new QTimer(this))
{
    m_pool.setMaxThreadCount(1);
    m_guard->setSingleShot(true);
    m_guard->setInterval(guardMs);
    connect(m_guard, &QTimer::timeout, this, &PlaybackWarmUp::stop);
}

PlaybackWarmUp::~PlaybackWarmUp()
{
    // A deciphering still writing would put a file back into the folder.
    m_pool.clear();
    m_pool.waitForDone();
    stop();
    removeFolder();
}

void PlaybackWarmUp::start(const QStringList &clips)
{
    if (m_running)
        return;
    // Leftovers of a run that ended without clean-up go first; the folder
    // is private from its creation, as the examination's scratch folder.
    removeFolder();
    m_running = true;
    m_seeked = false;
    QDir().mkpath(QFileInfo(m_folder).absolutePath());
    if (::mkdir(QFile::encodeName(m_folder).constData(), 0700) != 0) {
        finish();
        return;
    }
    QStringList copies;
    for (int k = 0; k < clips.size(); ++k)
        copies.append(QDir(m_folder).absoluteFilePath(QString::number(k) + QFileInfo(clips.at(k)).fileName()));

    const int generation = ++m_generation;
    m_pool.start([this, clips, copies, generation] {
        for (int k = 0; k < clips.size(); ++k)
            DecryptTask(clips.at(k), copies.at(k)).run();
        // The destructor waits for this runnable, so the object is alive
        // while the call is queued; a stop in between shows in the count.
        QMetaObject::invokeMethod(this, [this, copies, generation] {
            if (generation == m_generation && m_running)
                play(copies);
        }, Qt::QueuedConnection);
    });
}

void PlaybackWarmUp::play(const QStringList &copies)
{
    auto *player = new QMediaPlayer(this);
    auto *playlist = new QMediaPlaylist(player);
    auto *surface = new DiscardSurface(player);
    for (const QString &copy : copies) {
        if (QFileInfo(copy).isFile())
            playlist->addMedia(QUrl::fromLocalFile(copy));
    }
    if (playlist->mediaCount() < 2) {
        delete player;
        finish();
        return;
    }
    m_player = player;
    surface->onFrame = [this] { onFrame(); };
    player->setMuted(true);
    player->setVideoOutput(surface);
    playlist->setPlaybackMode(QMediaPlaylist::Sequential);
    connect(player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) { onStatus(status); });
    connect(player, qOverload<QMediaPlayer::Error>(&QMediaPlayer::error), this, &PlaybackWarmUp::stop);
    player->setPlaylist(playlist);
    m_guard->start();
    player->play();
}

void PlaybackWarmUp::onStatus(int status)
{
    if (!m_player)
        return;
    const int entry = m_player->playlist()->currentIndex();
    switch (status) {
    case QMediaPlayer::BufferedMedia:
        if (entry == 0 && !m_seeked && m_player->duration() > 2 * tailMs) {
            m_seeked = true;
            m_player->setPosition(m_player->duration() - tailMs);
        }
        break;
    case QMediaPlayer::InvalidMedia:
        stop();
        break;
    case QMediaPlayer::EndOfMedia:
        if (entry < 0 || entry == m_player->playlist()->mediaCount() - 1)
            stop();
        break;
    default:
        break;
    }
}

void PlaybackWarmUp::onFrame()
{
    // A picture of a later clip: the change has been through every stage.
    if (m_player && m_player->playlist()->currentIndex() > 0)
        QMetaObject::invokeMethod(this, &PlaybackWarmUp::stop, Qt::QueuedConnection);
}

void PlaybackWarmUp::stop()
{
    if (!m_running)
        return;
    // The runnable may still be deciphering: its result is dropped, and the
    // folder is emptied again after it.
    ++m_generation;
    if (m_player) {
        // Called from the player's own signals too: it goes once they return.
        m_player->disconnect(this);
        m_player->stop();
        m_player->deleteLater();
        m_player = nullptr;
    }
    finish();
}

void PlaybackWarmUp::finish()
{
    m_guard->stop();
    m_running = false;
    if (m_pool.activeThreadCount() == 0)
        removeFolder();
    else
        m_pool.start([this] { QMetaObject::invokeMethod(this, &PlaybackWarmUp::removeFolder, Qt::QueuedConnection); });
    emit finished();
}

void PlaybackWarmUp::removeFolder()
{
    // Only when idle: a new start may own the folder again by now.
    if (m_running)
        return;
    QDir folder(m_folder);
    if (!folder.exists())
        return;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString &name : names)
        QFile::remove(folder.filePath(name));
    QDir().rmdir(m_folder);
}
