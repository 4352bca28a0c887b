// Playback figures on a content pack (by default the demo pack):
//  1. contest preparation, from the request to doneResetContest on the GUI
//     thread: the first contest of a run (every video decrypted) and a second
//     one over the same situations (all copies cached), beside a plain
//     parallel copy of the same files (the kernel's copy_file_range on the
//     same pool, nothing synced), side by side in each round. The demo's
//     clips are a few tens of KiB, so goal: first contest <= 1.5x the copy.
//  2. timeline lag: at random instants during playback, and at every entry
//     change, how far the last reported timeline position lies behind the
//     player's true position. Goal: median <= 10 ms, worst <= 25 ms.
//  3. gap between entries: from one entry's end of media to the first frame
//     of the next entry reaching the video output, the first one (count-down
//     to the first situation) on its own. Goal: every gap < 100 ms offscreen.
//     With --widget the frames go on to the station's video widget, shown in
//     a window (run it under xvfb-run -a), and a frame counts once the widget
//     has painted it.
//
// Usage: bench_playback [PACK_FOLDER] [--rounds N] [--entries N | --full]
//                       [--contests N] [--widget] [--warm-up]
// (BENCH_TRACE=1 in the environment prints the player's events)
// Plays the first 6 playlist entries unless told otherwise, in N contests one
// after the other, each on a player of its own (1 by default): the first
// contest of a process meets a cold media stack, the later ones a warm one.
// --warm-up runs the station's playback warm-up (count-down clip and the
// first situation) before the first contest, as the station does once its
// content is loaded; runs with and without it compare the first contest.
#include "CopyTask.h"
#include "Composer.h"
#include "ContestController.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "Library.h"
#include "PlaybackWarmUp.h"
#include "PlayerManager.h"
#include "SqliteConnection.h"
#include "VideoWidget.h"

#include <QAbstractVideoSurface>
#include <QVideoSurfaceFormat>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMediaPlaylist>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double worst(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The video output: records when each frame reaches the GUI thread, as the
// station's video widget would paint it.
class FrameProbe : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const override
    {
        if (target)
            return target->supportedPixelFormats(type);
        if (type != QAbstractVideoBuffer::NoHandle)
            return {};
        return {QVideoFrame::Format_RGB32, QVideoFrame::Format_ARGB32, QVideoFrame::Format_YUV420P,
                QVideoFrame::Format_NV12, QVideoFrame::Format_YV12};
    }
    bool start(const QVideoSurfaceFormat &format) override
    {
        if (target && !target->start(format))
            return false;
        return QAbstractVideoSurface::start(format);
    }
    void stop() override
    {
        if (target)
            target->stop();
        QAbstractVideoSurface::stop();
    }
    bool present(const QVideoFrame &frame) override
    {
        if (target)
            target->present(frame);
        if (onFrame)
            onFrame(frame.startTime());
        return true;
    }
    std::function<void(qint64)> onFrame;
    // With the station's video widget (--widget): the frames go on to the
    // widget's own surface and are painted there, as with the widget set as
    // the player's output (without X video sinks that is the same surface).
    QAbstractVideoSurface *target = nullptr;
};

class PaintProbe : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && onPaint)
            onPaint();
        return QObject::eventFilter(watched, event);
    }
    std::function<void()> onPaint;
};

// Sends the controller's requests from the GUI thread, as the session
// controller does.
class Requester : public QObject
{
    Q_OBJECT
signals:
    void sendResetContestContent(LearnModeEnum mode, int chapter, int ex);
    void notifyReviewContestContent(const ResultDetail &detail);
};

struct Station
{
    Station(Library *library, Exercise *countDown, const QString &scratch, QThread *worker)
        : player(scratch)
    {
        composer.setLibrary(library);
        composer.setCountDown(countDown);
        player.setComposer(&composer);
        controller = new ContestController;
        controller->setComposer(&composer);
        controller->setContestProcedure(&procedure);
        controller->setPlayerManager(&player);
        controller->moveToThread(worker);
        QObject::connect(&requester, &Requester::sendResetContestContent, controller,
                         &ContestController::onResetContestContent);
        QObject::connect(&requester, &Requester::notifyReviewContestContent, controller,
                         &ContestController::onReviewContestContent);
    }
    ~Station() { controller->deleteLater(); }

    // Milliseconds from the request until the GUI thread hears it is done.
    template <typename Request>
    double prepare(Request request)
    {
        QEventLoop loop;
        QObject::connect(controller, &ContestController::doneResetContest, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        request();
        loop.exec();
        return timer.nsecsElapsed() / 1e6;
    }

    Composer composer;
    ContestProcedure procedure;
    PlayerManager player;
    Requester requester;
    ContestController *controller;
};

double timeCopy(const QStringList &files, const QString &target)
{
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    QElapsedTimer timer;
    timer.start();
    for (const QString &file : files)
        QThreadPool::globalInstance()->start(new CopyTask(file, target + QLatin1Char('/') + QFileInfo(file).fileName()));
    QThreadPool::globalInstance()->waitForDone();
    return timer.nsecsElapsed() / 1e6;
}

void measurePreparation(Library *library, Exercise *countDown, QThread *worker, int rounds)
{
    std::vector<double> first, second, copy, ratios;
    int decrypted = 0;
    for (int r = 0; r < rounds; ++r) {
        QTemporaryDir scratch;
        Station station(library, countDown, scratch.filePath(QStringLiteral("scratch")), worker);
        first.push_back(station.prepare([&] { emit station.requester.sendResetContestContent(Examination, 0, 0); }));
        ResultDetail stored;
        for (const Exercise *entry : station.composer.exercises()) {
            if (entry->id() > 0)
                stored.setIds(stored.ids() << entry->id());
        }
        second.push_back(station.prepare([&] { emit station.requester.notifyReviewContestContent(stored); }));

        QSet<QString> distinct;
        for (const Exercise *entry : station.composer.exercises())
            distinct.insert(QFileInfo(entry->filePath()).absoluteFilePath());
        decrypted = distinct.size();
        copy.push_back(timeCopy(distinct.values(), scratch.filePath(QStringLiteral("copy"))));
        ratios.push_back(first.back() / copy.back());
    }
    std::printf("contest preparation over %d rounds, %d distinct files per contest (medians):\n", rounds, decrypted);
    std::printf("  first contest  %8.2f ms   (worst %.2f)\n", median(first), worst(first));
    std::printf("  second contest %8.2f ms   (worst %.2f)  all copies cached\n", median(second), worst(second));
    std::printf("  plain copy     %8.2f ms   (worst %.2f)\n", median(copy), worst(copy));
    std::printf("  first / copy   %8.2fx  (median of the rounds' ratios; goal <= 1.5x)\n", median(ratios));
}

void measurePlayback(Library *library, Exercise *countDown, QThread *worker, int entries, bool toWidget)
{
    QTemporaryDir scratch;
    Station station(library, countDown, scratch.filePath(QStringLiteral("scratch")), worker);
    station.prepare([&] { emit station.requester.sendResetContestContent(Examination, 0, 0); });
    PlayerManager &manager = station.player;
    QMediaPlayer *player = manager.player();
    FrameProbe probe;
    PaintProbe paintProbe;
    VideoWidget widget;
    if (toWidget) {
        widget.resize(800, 450);
        widget.show();
        widget.installEventFilter(&paintProbe);
        probe.target = widget.videoSurface();
    }
    player->setVideoOutput(&probe);
    QMediaPlaylist *playlist = player->playlist();
    const QList<Exercise *> contest = station.composer.exercises();
    entries = entries <= 0 ? contest.size() : qMin(entries, contest.size());
    std::vector<qint64> starts;
    qint64 start = 0;
    for (const Exercise *entry : contest) {
        starts.push_back(start);
        start += entry->duration();
    }

    QElapsedTimer clock;
    clock.start();
    qint64 lastReported = -1;
    int lastReportedEntry = -2;
    qint64 endOfMediaAt = -1;
    qint64 playRequestedAt = -1;
    double firstFrame = -1;
    std::vector<double> lags, changeLags, gaps;
    QObject::connect(&manager, &PlayerManager::notifyPositionChanged, [&](qint64 position) {
        lastReported = position;
        lastReportedEntry = playlist->currentIndex();
    });
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, [&](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia)
            endOfMediaAt = clock.nsecsElapsed();
    });
    // The next entry plays once its first frame is out.
    // BENCH_TRACE=1 prints the events the gaps are made of.
    const bool trace = qEnvironmentVariableIsSet("BENCH_TRACE");
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, [&](QMediaPlayer::MediaStatus status) {
        if (trace)
            std::printf("%8.1f status %d entry %d\n", clock.nsecsElapsed() / 1e6, int(status), playlist->currentIndex());
    });
    QObject::connect(playlist, &QMediaPlaylist::currentIndexChanged, [&](int i) {
        if (trace)
            std::printf("%8.1f entry %d\n", clock.nsecsElapsed() / 1e6, i);
    });
    // With the widget, a frame is out when the widget has painted it.
    const bool widgetOutput = probe.target != nullptr;
    bool framePending = false;
    auto frameOut = [&] {
        if (firstFrame < 0 && playRequestedAt >= 0)
            firstFrame = (clock.nsecsElapsed() - playRequestedAt) / 1e6;
        if (endOfMediaAt >= 0) {
            gaps.push_back((clock.nsecsElapsed() - endOfMediaAt) / 1e6);
            endOfMediaAt = -1;
        }
    };
    paintProbe.onPaint = [&] {
        if (trace)
            std::printf("%8.1f paint status %d\n", clock.nsecsElapsed() / 1e6, int(player->mediaStatus()));
        if (framePending) {
            framePending = false;
            frameOut();
        }
    };
    probe.onFrame = [&](qint64 startTime) {
        if (trace)
            std::printf("%8.1f frame %lld\n", clock.nsecsElapsed() / 1e6, static_cast<long long>(startTime));
        // The backend flushes the output with an empty frame at an end of
        // media; that is no picture of the next entry.
        if (startTime < 0)
            return;
        if (widgetOutput)
            framePending = true;
        else
            frameOut();
    };

    // The lag against the true position: the current entry's start plus the
    // player's position inside it. Until the new entry has loaded the player
    // still holds the ended entry's last position; the true one is then the
    // new entry's start.
    auto sampleLag = [&](std::vector<double> &into) {
        const int entry = playlist->currentIndex();
        const QMediaPlayer::MediaStatus status = player->mediaStatus();
        const bool loading = status == QMediaPlayer::LoadingMedia || status == QMediaPlayer::EndOfMedia
            || status == QMediaPlayer::NoMedia;
        if (entry >= 0 && entry < int(starts.size()) && lastReported >= 0)
            into.push_back(double(starts[size_t(entry)] + (loading ? 0 : player->position()) - lastReported));
    };
    QEventLoop loop;
    QObject::connect(&manager, &PlayerManager::notifyEndContest, &loop, &QEventLoop::quit);
    QObject::connect(playlist, &QMediaPlaylist::currentIndexChanged, &loop, [&](int index) {
        if (index >= entries) {
            loop.quit();
            return;
        }
        // Around the change: as it happens and over the next 200 ms, while
        // the new entry loads and starts.
        sampleLag(changeLags);
        for (int delay : {1, 10, 25, 50, 100, 200})
            QTimer::singleShot(delay, &loop, [&] { sampleLag(changeLags); });
    });
    QTimer sampler;
    sampler.setSingleShot(true);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (player->mediaStatus() == QMediaPlayer::BufferedMedia && playlist->currentIndex() == lastReportedEntry)
            sampleLag(lags);
        sampler.start(QRandomGenerator::global()->bounded(5, 60));
    });
    sampler.start(50);
    playRequestedAt = clock.nsecsElapsed();
    manager.requestPlay();
    loop.exec();
    sampler.stop();
    manager.requestStop();

    std::printf("playback of %d entries (%.1f s):\n", entries, clock.elapsed() / 1000.0);
    std::printf("  first frame    %6.1f ms after the play request\n", firstFrame);
    std::printf("  timeline lag   median %6.1f ms, worst %6.1f ms over %zu samples (goal <= 10 / <= 25)\n",
                median(lags), worst(lags), lags.size());
    std::printf("  lag at changes median %6.1f ms, worst %6.1f ms over %zu samples (goal <= 10 / <= 25)\n",
                median(changeLags), worst(changeLags), changeLags.size());
    const double firstGap = gaps.empty() ? 0 : gaps.front();
    const std::vector<double> later(gaps.size() > 1 ? gaps.begin() + 1 : gaps.end(), gaps.end());
    std::printf("  entry gap      count-down to first situation %6.1f ms (goal < 100)\n", firstGap);
    std::printf("  entry gap      later changes median %6.1f ms, worst %6.1f ms over %zu changes (goal < 100)\n",
                median(later), worst(later), later.size());
}

// As the station does after loading its content, waited for here.
void warmUp(Library *library, Exercise *countDown)
{
    const QList<Exercise *> situations = library->exercisesOfChapter(0);
    if (situations.isEmpty())
        return;
    QTemporaryDir scratch;
    PlaybackWarmUp warmUp(scratch.filePath(QStringLiteral("warm")));
    QEventLoop loop;
    QObject::connect(&warmUp, &PlaybackWarmUp::finished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    warmUp.start({countDown->filePath(), situations.first()->filePath()});
    if (warmUp.isRunning())
        loop.exec();
    std::printf("warm-up          %6.1f ms\n", timer.nsecsElapsed() / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));

    QString pack = QStringLiteral(HAZARD_DEMO_PACK);
    int rounds = 10;
    int entries = 6;
    int contests = 1;
    bool toWidget = false;
    bool warm = false;
    const QStringList args = app.arguments().mid(1);
    for (int k = 0; k < args.size(); ++k) {
        if (args.at(k) == QLatin1String("--rounds") && k + 1 < args.size())
            rounds = args.at(++k).toInt();
        else if (args.at(k) == QLatin1String("--entries") && k + 1 < args.size())
            entries = args.at(++k).toInt();
        else if (args.at(k) == QLatin1String("--full"))
            entries = 0;
        else if (args.at(k) == QLatin1String("--contests") && k + 1 < args.size())
            contests = qMax(1, args.at(++k).toInt());
        else if (args.at(k) == QLatin1String("--widget"))
            toWidget = true;
        else if (args.at(k) == QLatin1String("--warm-up"))
            warm = true;
        else
            pack = args.at(k);
    }
    // The content names its videos relative to the working directory.
    if (!QDir::setCurrent(pack)) {
        std::fprintf(stderr, "no content pack at %s\n", qPrintable(pack));
        return 1;
    }
    Library library;
    Composer loader;
    SqliteConnection database;
    if (!database.openDatabase() || !database.loadChapterExercises(&library)
        || !database.loadCountDownExercise(&loader)) {
        std::fprintf(stderr, "cannot load the content of %s\n", qPrintable(pack));
        return 1;
    }

    QThread worker;
    worker.start();
    measurePreparation(&library, loader.countDown(), &worker, rounds);
    if (warm)
        warmUp(&library, loader.countDown());
    for (int c = 0; c < contests; ++c) {
        std::printf("contest %d of %d:\n", c + 1, contests);
        measurePlayback(&library, loader.countDown(), &worker, entries, toWidget);
    }
    worker.quit();
    worker.wait();
    return 0;
}

#include "bench_playback.moc"
