#pragma once

#include "SeekInfo.h"

#include <QHash>
#include <QList>
#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class Composer;
class QMediaPlaylist;
class QTimer;

// Plays a composed contest as one continuous programme: the decrypted copies
// of all playlist entries, count-down clips included, one after the other,
// with positions reported on the contest timeline (the composed start of the
// current entry plus the player's position inside it, so an entry that cannot
// be played leaves its span to itself). The manager decides which entry plays
// next: an entry that fails or makes no progress is left behind, and the
// contest always reaches its end.
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

    // Entries that have not played to their end since the contest started.
    QList<int> unplayedEntries() const;

    QMediaPlayer::State state() const { return m_recordedState; }
    bool isPlaying() const { return m_recordedState == QMediaPlayer::PlayingState; }

public slots:
    void rewind();
    void seekTo(SeekInfo info);
    // Follows the player's own state; callable to put the manager in a
    // state without playing.
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
    void followEntry(int index);
    void playIntendedEntry();
    void leaveStalledEntry();

private:
    bool prepareScratchFolder();
    void removeScratchFolder();
    void loadPlaylist(const QStringList &paths, const QList<qint64> &durations);
    void restartTimeline();
    void skipUnplayableEntry(int index);
    void runContest(bool running);
    void endContest();

    QMediaPlayer *m_player;
    QMediaPlaylist *m_playlist;
    qint64 m_elapsedBase = 0;
    int m_mediaCount = 0;
    Composer *m_composer = nullptr;
    QMediaPlayer::State m_recordedState = QMediaPlayer::StoppedState;
    // Copy path -> size and modification time of the source it was made
    // from: a clip replaced during the run is deciphered again.
    QHash<QString, QPair<qint64, qint64>> m_decryptedFiles;

    QString m_scratchFolder;
    // Composed start of every entry, and the contest's length last.
    QList<qint64> m_entryStarts;
    // The entry meant to play; the playlist is brought back to it when the
    // backend moves on by more than one.
    int m_entry = 0;
    QVector<bool> m_playedToEnd;
    // While a contest plays (not paused, stopped or ended).
    bool m_running = false;
    QTimer *m_stallTimer = nullptr;
    qint64 m_lastPosition = -1;
    bool m_contestEnded = false;
};
