#pragma once

#include "SeekInfo.h"

#include <QList>
#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QStringList>

class Composer;
class QMediaPlaylist;

// Plays a composed contest as one continuous programme: the decrypted copies
// of all playlist entries, count-down clips included, one after the other,
// with positions reported on the contest timeline (the start of the current
// entry plus the player's position inside it).
//
// Lives on the GUI thread with its player. Only rebuildPlaylist() runs on
// the worker thread: it decrypts there and hands the media playlist's refill
// to the GUI thread.
class PlayerManager : public QObject
{
    Q_OBJECT
public:
    explicit PlayerManager(QObject *parent = nullptr);
    // The scratch folder holds the decrypted copies; it is private to the
    // owner and anything left in it by an earlier run is removed here.
    explicit PlayerManager(const QString &scratchFolder, QObject *parent = nullptr);
    ~PlayerManager() override;

    void setComposer(Composer *composer) { m_composer = composer; }
    QMediaPlayer *player() const { return m_player; }
    QString scratchFolder() const { return m_scratchFolder; }

    // Decrypts and loads the composer's current playlist; blocks until the
    // decryption is done and the media playlist holds the new entries.
    void rebuildPlaylist();

    QMediaPlayer::State state() const { return m_recordedState; }
    bool isPlaying() const { return m_recordedState == QMediaPlayer::PlayingState; }

public slots:
    void rewind();
    void seekTo(SeekInfo info);
    // The main window records the player's state after updating its buttons.
    void setState(QMediaPlayer::State state);
    void requestPlay();
    void requestPause();
    void requestStop();
    // Stays until the next rebuild sets it back to 1.0.
    void setPlaybackRate(double rate);

signals:
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);
    void notifyEndContest();
    void notifyPositionChanged(qint64 position);
    void play();
    void stop();
    void pause();
    void notifySeekByGui();

private slots:
    void on_mediaStatusChanged(QMediaPlayer::MediaStatus status);
    void on_positionChanged(qint64 position);
    void on_durationChanged(qint64 duration);
    QString decryptVideo(const QString &filePath);

private:
    bool prepareScratchFolder();
    void removeScratchFolder();
    void loadPlaylist(const QStringList &paths, const QList<qint64> &durations);
    void restartTimeline();
    void takeEndedEntry();
    void skipUnplayableEntry();
    void endContest();

    QMediaPlayer *m_player;
    QMediaPlaylist *m_playlist;
    qint64 m_elapsedBase = 0;
    int m_mediaCount = 0;
    qint64 m_currentDuration = 0;
    Composer *m_composer = nullptr;
    QMediaPlayer::State m_recordedState = QMediaPlayer::StoppedState;
    QStringList m_decryptedFiles;

    QString m_scratchFolder;
    // Stored lengths of the entries, standing in for the backend's report
    // of an entry that cannot be played.
    QList<qint64> m_entryDurations;
    bool m_contestEnded = false;
};
