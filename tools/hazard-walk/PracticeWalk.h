#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class ClipWatch;
class Exercise;
class PackSituations;
class ScreenDriver;

// Walks a running hazard-practice from outside, as a learner at the
// keyboard would: one chapter in order, Space in each danger window, Enter
// after each score, a mock examination, then the statistics page, with
// screenshots of the first attempt replayed with its score and zones, of
// the mock examination's result and of the statistics.
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
    bool playMock();
    // Waits for the next situation's clip (`expected`, or any) after a
    // count-down when `previous` played before, presses Space in its danger window and waits for the
    // score; `again` repeats the choice when nothing plays for a while.
    // Null when no situation played.
    const Exercise *attempt(const ClipWatch &watch, int n, const Exercise *expected, const Exercise *previous,
                            const std::function<void()> &again);
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
    const Exercise *m_lastPlayed = nullptr;
    QString m_error;
};
