#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

class QMediaPlayer;
class QTimer;

// Plays a few of the content's clips once, unseen and unheard, before the
// first examination: the first entry change of a process otherwise pays for
// loading and first use of every stage of the media stack, and the candidate
// sees that as a pause between the count-down and the first situation.
//
// The clips are deciphered off the GUI thread into a folder of the warm-up's
// own (private, emptied before and after), then played through a playlist so
// that one entry change happens; the warm-up ends once the second clip shows
// its first picture, or at the first failure, silently either way. Nothing
// blocks the GUI thread, and stop() or the destructor ends it at any point.
class PlaybackWarmUp : public QObject
{
    Q_OBJECT
public:
    explicit PlaybackWarmUp(const QString &folder, QObject *parent = nullptr);
    ~PlaybackWarmUp() override;

    // Enciphered clips, played in this order; at least two to exercise an
    // entry change. Ignored while a warm-up runs.
    void start(const QStringList &clips);
    bool isRunning() const { return m_running; }

public slots:
    void stop();

signals:
    // Once per start(), however it ended.
    void finished();

private:
    void play(const QStringList &copies);
    void onStatus(int status);
    void onFrame();
    void finish();
    void removeFolder();

    QString m_folder;
    QThreadPool m_pool;
    QMediaPlayer *m_player = nullptr;
    QTimer *m_guard = nullptr;
    bool m_running = false;
    bool m_seeked = false;
    // Tells a deciphering that finishes after a stop from the current one.
    int m_generation = 0;
};
