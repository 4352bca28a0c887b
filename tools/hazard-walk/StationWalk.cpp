#include "StationWalk.h"

#include "ClipWatch.h"
#include "Constants.h"
#include "Exercise.h"
#include "MainWindowLayout.h"
#include "PackSituations.h"
#include "ScreenDriver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

#include <cstdio>

namespace {

// The station's window titles, as its forms set them.
const char entryTitle[] = "Xác nhận số báo danh";
const char identityTitle[] = "Xác nhận thông tin học viên";
const char messageTitle[] = "Phần mềm sát hạch";
const char resultTitle[] = "Kết quả thi";

// Generous: a loaded machine shares two cores between the station, its
// server, the display and this walk.
const int windowTimeoutMs = 60000;
// From pressing start to the first situation on screen: every video of the
// contest is decrypted first.
const int loadingTimeoutMs = 180000;
// The station sends the result under a one-second delivery check first.
const int resultTimeoutMs = 60000;
// The result dialog counts down from fifteen seconds.
const int resultShownMs = 15000;

// The window's controls where the walk clicks, as the candidate flow shows them.
using Stage = CandidateFlow::Stage;
const CandidateFlow::Controls examinationReady = CandidateFlow::controlsOf(Stage::Ready);
const CandidateFlow::Controls reviewReady = CandidateFlow::controlsOf(Stage::ReviewReady);
const CandidateFlow::Controls reviewPlaying = CandidateFlow::controlsOf(Stage::Reviewing, CandidateFlow::Playback::Playing);

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s");
}

} // namespace

StationWalk::StationWalk(qint64 stationPid, const QString &workingFolder, const PackSituations *pack,
                         const ScreenDriver *screen)
    : m_pid(stationPid)
    , m_workingFolder(workingFolder)
    , m_pack(pack)
    , m_screen(screen)
{
}

void StationWalk::setShotFolder(const QString &folder, int width)
{
    m_shotFolder = folder;
    m_shotWidth = width;
}

bool StationWalk::fail(const QString &why)
{
    m_error = why;
    return false;
}

void StationWalk::say(const QString &text) const
{
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    out << "walk: " << text << "\n";
    out.flush();
}

void StationWalk::shoot(const QString &name)
{
    if (m_shotFolder.isEmpty())
        return;
    const QString path = QDir(m_shotFolder).filePath(name + QStringLiteral(".png"));
    // The station's window holds every dialog; the rest of the screen is empty.
    const QRect area = m_mainWindow ? m_screen->geometry(m_mainWindow) : QRect();
    if (m_screen->screenshot(path, m_shotWidth, area)) {
        m_shots.append(path);
        say(QStringLiteral("screenshot %1").arg(path));
    } else {
        say(QStringLiteral("could not take the screenshot %1").arg(path));
    }
}

void StationWalk::pause(int ms) const
{
    QThread::msleep(ulong(ms));
}

bool StationWalk::run(const Candidates &candidates)
{
    if (!waitForEntry())
        return false;
    shoot(QStringLiteral("1-entry"));
    if (!candidates.refused.isEmpty() && !showRefusal(candidates.refused))
        return false;

    say(QStringLiteral("examination of candidate %1").arg(candidates.examination));
    if (!enterNumber(candidates.examination) || !confirmIdentity(QStringLiteral("3-identity")))
        return false;
    if (!clickMainButton(QStringLiteral("startBtn"), examinationReady))
        return false;
    if (!playExamination() || !showResult())
        return false;

    if (candidates.review.isEmpty())
        return true;
    say(QStringLiteral("review of candidate %1's stored examination").arg(candidates.review));
    if (!waitForEntry() || !enterNumber(candidates.review) || !confirmIdentity(QString()))
        return false;
    return replayReview();
}

bool StationWalk::waitForEntry()
{
    say(QStringLiteral("waiting for the candidate number dialog"));
    if (!m_screen->waitForWindow(utf8(entryTitle), windowTimeoutMs))
        return fail(QStringLiteral("the candidate number dialog did not show"));
    m_mainWindow = m_screen->findWindow(utf8(Constants::applicationTitle));
    if (!m_mainWindow)
        return fail(QStringLiteral("the station's main window is not on screen"));
    // The course list arrives just after the dialog shows.
    pause(1500);
    return true;
}

bool StationWalk::enterNumber(const QString &number)
{
    const quint64 entry = m_screen->waitForWindow(utf8(entryTitle), windowTimeoutMs);
    if (!entry)
        return fail(QStringLiteral("the candidate number dialog is not on screen"));
    m_screen->focus(entry);
    pause(300);
    // Whatever an earlier attempt left in the field goes.
    m_screen->key(QStringLiteral("ctrl+a"));
    m_screen->key(QStringLiteral("BackSpace"));
    m_screen->type(number);
    pause(300);
    // "Bắt đầu" is the dialog's default button.
    m_screen->key(QStringLiteral("Return"));
    return true;
}

bool StationWalk::showRefusal(const QString &number)
{
    say(QStringLiteral("candidate %1, whom the server refuses").arg(number));
    if (!enterNumber(number))
        return false;
    const quint64 box = m_screen->waitForWindow(utf8(messageTitle), windowTimeoutMs);
    if (!box)
        return fail(QStringLiteral("no message box for the refused candidate %1").arg(number));
    pause(500);
    shoot(QStringLiteral("2-refused"));
    m_screen->focus(box);
    m_screen->key(QStringLiteral("Return"));
    if (!m_screen->waitUntilGone(utf8(messageTitle), windowTimeoutMs))
        return fail(QStringLiteral("the message box does not close"));
    return true;
}

bool StationWalk::confirmIdentity(const QString &shot)
{
    const quint64 dialog = m_screen->waitForWindow(utf8(identityTitle), windowTimeoutMs);
    if (!dialog)
        return fail(QStringLiteral("the server's answer brought no identity to confirm"));
    pause(700);
    if (!shot.isEmpty())
        shoot(shot);
    m_screen->focus(dialog);
    // "Xác nhận" is the dialog's default button.
    m_screen->key(QStringLiteral("Return"));
    if (!m_screen->waitUntilGone(utf8(identityTitle), windowTimeoutMs))
        return fail(QStringLiteral("the identity dialog does not close"));
    pause(500);
    return true;
}

bool StationWalk::clickMainButton(const QString &objectName, const CandidateFlow::Controls &shown)
{
    const QRect window = m_screen->geometry(m_mainWindow);
    const QPoint centre = MainWindowLayout::centreOf(objectName, window.size(), shown);
    if (centre.isNull())
        return fail(QStringLiteral("the main window's form has no %1").arg(objectName));
    m_screen->click(window.topLeft() + centre);
    return true;
}

bool StationWalk::playExamination()
{
    say(QStringLiteral("the station decrypts the contest's videos, then plays ten situations of 12 to 20 s, "
                       "each after a 3 s count-down: about three and a half minutes"));
    const ClipWatch watch(m_pid, m_workingFolder);
    QElapsedTimer clock;
    clock.start();

    // Where the walk presses Space, as a share of each danger window: early
    // mostly, late once, so that the result shows more than one score.
    const double shares[] = {0.1, 0.1, 0.25, 0.1, 0.1, 0.65, 0.1, 0.3, 0.1, 0.1};
    QString clip;
    const Exercise *situation = nullptr;
    qint64 clipStart = 0;
    bool pressed = false;
    bool shot = false;
    int situations = 0;
    qint64 lastActivity = 0;
    qint64 lastWindowCheck = 0;
    for (;;) {
        if (!watch.processRuns())
            return fail(QStringLiteral("the station ended during the examination"));
        const QString open = watch.openClip();
        const qint64 now = clock.elapsed();
        if (open != clip) {
            clip = open;
            situation = open.isEmpty() ? nullptr : m_pack->situationByFile(open);
            clipStart = now;
            pressed = false;
            lastActivity = now;
            if (situation) {
                ++situations;
                say(QStringLiteral("situation %1: %2, danger window %3 to %4 into the clip")
                        .arg(situations)
                        .arg(open, seconds(situation->dangerStart()), seconds(situation->dangerEnd())));
            }
        }
        if (situation && !pressed) {
            const qint64 window = situation->dangerEnd() - situation->dangerStart();
            const double share = shares[(situations - 1) % int(sizeof shares / sizeof *shares)];
            // The player starts showing a clip a little after opening it;
            // 300 ms into the window is early enough for five points and
            // late enough to be inside it.
            const qint64 at = situation->dangerStart() + qMax<qint64>(300, qint64(share * window));
            if (now - clipStart >= at) {
                m_screen->key(QStringLiteral("space"));
                pressed = true;
                say(QStringLiteral("  Space at %1 into the clip").arg(seconds(now - clipStart)));
            }
        }
        if (situations == 4 && pressed && !shot && now - clipStart >= situation->dangerStart() + 1500) {
            shoot(QStringLiteral("4-examination"));
            shot = true;
        }
        // The player keeps the last clip open after the end; the result
        // dialog tells that the examination is over.
        if (situations >= 10 && pressed && now - lastWindowCheck >= 250) {
            lastWindowCheck = now;
            if (m_screen->findWindow(utf8(resultTitle)))
                return true;
        }
        if (now - lastActivity > (situations >= 10 ? resultTimeoutMs + 30000 : loadingTimeoutMs))
            return fail(situations ? QStringLiteral("no result after situation %1").arg(situations)
                                   : QStringLiteral("the examination did not start playing"));
        QThread::msleep(5);
    }
}

bool StationWalk::showResult()
{
    if (!m_screen->waitForWindow(utf8(resultTitle), resultTimeoutMs))
        return fail(QStringLiteral("no result dialog after the examination"));
    pause(1500);
    shoot(QStringLiteral("5-result"));
    say(QStringLiteral("the result dialog counts down from 15 s, then the station waits for the next candidate"));
    if (!m_screen->waitUntilGone(utf8(resultTitle), resultShownMs + windowTimeoutMs))
        return fail(QStringLiteral("the result dialog does not close by itself"));
    return true;
}

bool StationWalk::replayReview()
{
    // The stored scores reach the window just after the confirmation.
    pause(1500);
    if (!clickMainButton(QStringLiteral("playBtn"), reviewReady))
        return false;
    const ClipWatch watch(m_pid, m_workingFolder);
    QElapsedTimer clock;
    clock.start();
    int situations = 0;
    QString clip;
    const Exercise *situation = nullptr;
    qint64 clipStart = 0;
    for (;;) {
        if (!watch.processRuns())
            return fail(QStringLiteral("the station ended during the review"));
        const QString open = watch.openClip();
        const qint64 now = clock.elapsed();
        if (open != clip) {
            clip = open;
            situation = open.isEmpty() ? nullptr : m_pack->situationByFile(open);
            clipStart = now;
            if (situation)
                say(QStringLiteral("review, situation %1: %2").arg(++situations).arg(open));
        }
        // The second situation's hazard on screen, every danger zone and
        // stored flag on the timeline.
        if (situations == 2 && situation && now - clipStart >= situation->dangerStart() + 1000)
            break;
        if (now > loadingTimeoutMs + 120000)
            return fail(QStringLiteral("the review did not play"));
        QThread::msleep(10);
    }
    shoot(QStringLiteral("6-review"));
    say(QStringLiteral("leaving the review"));
    if (!clickMainButton(QStringLiteral("exitBtn"), reviewPlaying))
        return false;
    if (!m_screen->waitForWindow(utf8(entryTitle), windowTimeoutMs))
        return fail(QStringLiteral("leaving the review did not bring back the candidate number dialog"));
    return true;
}
