#include "PracticeWalk.h"

#include "ClipWatch.h"
#include "Exercise.h"
#include "PackSituations.h"
#include "ScreenDriver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

#include <functional>

namespace {

// The practice window's title, as the program sets it.
const char windowTitle[] = "Luyện tập mô phỏng tình huống giao thông";
// Generous: two cores are shared by the program, the display and this walk.
const int windowTimeoutMs = 60000;
const int clipTimeoutMs = 60000;
// How long the first clip may take to open before the choice is made again.
const int retryMs = 10000;
const int mockSituations = 10;
// After a situation's clip ends: time for the score and the zones to show.
const int settleMs = 1500;

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s");
}

} // namespace

PracticeWalk::PracticeWalk(qint64 pid, const QString &scratchFolder, const PackSituations *pack,
                           const ScreenDriver *screen)
    : m_pid(pid)
    , m_scratchFolder(scratchFolder)
    , m_pack(pack)
    , m_screen(screen)
{
}

void PracticeWalk::setShotFolder(const QString &folder, int width)
{
    m_shotFolder = folder;
    m_shotWidth = width;
}

bool PracticeWalk::fail(const QString &why)
{
    m_error = why;
    return false;
}

void PracticeWalk::say(const QString &text) const
{
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    out << "walk: " << text << "\n";
    out.flush();
}

void PracticeWalk::shoot(const QString &name)
{
    if (m_shotFolder.isEmpty())
        return;
    const QString path = QDir(m_shotFolder).filePath(name + QStringLiteral(".png"));
    if (m_screen->screenshot(path, m_shotWidth, m_window ? m_screen->geometry(m_window) : QRect()))
        say(QStringLiteral("screenshot %1").arg(path));
    else
        say(QStringLiteral("could not take the screenshot %1").arg(path));
}

bool PracticeWalk::run(int chapter)
{
    m_window = m_screen->waitForWindow(QString::fromUtf8(windowTitle), windowTimeoutMs);
    if (!m_window)
        return fail(QStringLiteral("the practice window did not show"));
    QThread::msleep(1500);
    if (!playChapter(chapter))
        return false;
    QThread::msleep(1000);
    if (!playMock())
        return false;
    // Back on the lists: the statistics page, with the chapter's figures
    // and the mock examination's total.
    QThread::msleep(1000);
    m_screen->key(QStringLiteral("ctrl+t"));
    QThread::msleep(1500);
    shoot(QStringLiteral("practice-statistics"));
    m_screen->key(QStringLiteral("Escape"));
    return true;
}

bool PracticeWalk::playChapter(int chapter)
{
    const QList<const Exercise *> situations = m_pack->chapter(chapter);
    if (situations.isEmpty())
        return fail(QStringLiteral("the content has no chapter %1").arg(chapter + 1));
    say(QStringLiteral("chapter %1 in order: %2 situations, each after its count-down")
            .arg(chapter + 1)
            .arg(situations.size()));
    // The chapter's own line in the list is the first of the tree when
    // chapter is 0; further down otherwise. Keys sent while a loaded
    // machine still sets up the window are lost: sent again then, as
    // Return means nothing once the chapter plays.
    auto choose = [this, chapter] {
        m_screen->focus(m_window);
        m_screen->key(QStringLiteral("Home"));
        for (int i = 0; i < chapter; ++i) {
            for (int k = 0; k <= m_pack->chapter(i).size(); ++k)
                m_screen->key(QStringLiteral("Down"));
        }
        m_screen->key(QStringLiteral("Return"));
    };
    choose();

    const ClipWatch watch = ClipWatch::inScratchFolder(m_pid, m_scratchFolder);
    for (int n = 0; n < situations.size(); ++n) {
        if (!attempt(watch, n, situations.at(n), m_lastPlayed, n == 0 ? choose : std::function<void()>()))
            return false;
        if (n == 0 && !replayShot(watch, situations.at(n)))
            return false;
        m_screen->key(QStringLiteral("Return"));
    }
    return true;
}

bool PracticeWalk::playMock()
{
    say(QStringLiteral("a mock examination: ten situations drawn as in the examination"));
    m_screen->key(QStringLiteral("ctrl+m"));
    const ClipWatch watch = ClipWatch::inScratchFolder(m_pid, m_scratchFolder);
    for (int n = 0; n < mockSituations; ++n) {
        if (!attempt(watch, n, nullptr, m_lastPlayed, std::function<void()>()))
            return false;
        m_screen->key(QStringLiteral("Return"));
    }
    QThread::msleep(1500);
    shoot(QStringLiteral("practice-mock-result"));
    m_screen->key(QStringLiteral("Escape"));
    return true;
}

const Exercise *PracticeWalk::attempt(const ClipWatch &watch, int n, const Exercise *expected,
                                      const Exercise *previous, const std::function<void()> &again)
{
    // Where Space falls, as a share of each danger window: early mostly,
    // late now and then, so that the scores differ.
    const double shares[] = {0.1, 0.6, 0.1, 0.3, 0.1};
    QElapsedTimer clock;
    clock.start();
    qint64 lastTry = 0;
    // The count-down plays first; the situation's own clip follows.
    QString open;
    const Exercise *situation = nullptr;
    // The previous situation's clip stays open until the next count-down
    // replaces it, and a mock examination may draw it again: a situation
    // counts once the count-down has been seen.
    bool countedDown = !previous;
    for (;;) {
        open = watch.openClip();
        situation = open.isEmpty() ? nullptr : m_pack->situationByFile(open);
        countedDown = countedDown || (!open.isEmpty() && !situation);
        if (situation && countedDown && (!expected || situation == expected))
            break;
        if (!watch.processRuns()) {
            fail(QStringLiteral("the practice program ended"));
            return nullptr;
        }
        if (clock.elapsed() > clipTimeoutMs) {
            fail(QStringLiteral("situation %1 did not start playing").arg(n + 1));
            return nullptr;
        }
        if (again && open.isEmpty() && clock.elapsed() - lastTry > retryMs) {
            again();
            lastTry = clock.elapsed();
        }
        QThread::msleep(5);
    }
    const qint64 clipStart = clock.elapsed();
    const qint64 window = situation->dangerEnd() - situation->dangerStart();
    // The player starts showing a clip a little after opening it; 300 ms
    // into the window is early enough for five points.
    const qint64 at = situation->dangerStart() + qMax<qint64>(300, qint64(shares[n % 5] * window));
    say(QStringLiteral("situation %1: %2, danger window %3 to %4; Space at %5")
            .arg(n + 1)
            .arg(open, seconds(situation->dangerStart()), seconds(situation->dangerEnd()), seconds(at)));
    while (clock.elapsed() - clipStart < at)
        QThread::msleep(5);
    m_screen->key(QStringLiteral("space"));
    while (clock.elapsed() - clipStart < situation->duration() + settleMs)
        QThread::msleep(20);
    m_lastPlayed = situation;
    return situation;
}

bool PracticeWalk::replayShot(const ClipWatch &watch, const Exercise *situation)
{
    // The scored attempt's last frame is gone once the clip ends; the
    // replay shows the same score, zones and flag over a live picture.
    say(QStringLiteral("R: the situation again, with its zones"));
    m_screen->key(QStringLiteral("r"));
    QElapsedTimer clock;
    clock.start();
    // The count-down first, then the situation's clip once more.
    bool left = false;
    for (;;) {
        const QString open = watch.openClip();
        const bool situationOpen = !open.isEmpty() && m_pack->situationByFile(open) == situation;
        left = left || !situationOpen;
        if (left && situationOpen)
            break;
        if (!watch.processRuns())
            return fail(QStringLiteral("the practice program ended"));
        if (clock.elapsed() > clipTimeoutMs)
            return fail(QStringLiteral("the replay did not start"));
        QThread::msleep(5);
    }
    QThread::msleep(ulong(situation->dangerStart() + 1500));
    shoot(QStringLiteral("practice-scored"));
    return true;
}
