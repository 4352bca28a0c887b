#pragma once

#include <QString>
#include <QStringList>

class ClipWatch;
class Exercise;
class PackSituations;
class ScreenDriver;

// Walks a running hazard-practice from outside, as a learner at the
// keyboard would: one chapter in order, Space early in each danger window,
// Enter after each score, then the statistics page, with screenshots of the
// first attempt replayed with its score and zones, and of the statistics.
class PracticeWalk
{
public:
    PracticeWalk(qint64 pid, const QString &scratchFolder, const PackSituations *pack, const ScreenDriver *screen);

    void setShotFolder(const QString &folder, int width);
    // chapter: its index in the pack, 0 for the first.
    bool run(int chapter);
    QString lastError() const { return m_error; }

private:
    bool playChapter(int chapter);
    bool replayShot(const ClipWatch &watch, const Exercise *situation);
    bool fail(const QString &why);
    void say(const QString &text) const;
    void shoot(const QString &name);

    qint64 m_pid;
    QString m_scratchFolder;
    const PackSituations *m_pack;
    const ScreenDriver *m_screen;
    QString m_shotFolder;
    int m_shotWidth = 0;
    quint64 m_window = 0;
    QString m_error;
};
