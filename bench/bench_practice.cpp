// From the learner choosing a situation to its first frame: composition,
// decryption of the count-down and situation clips, the playlist's load and
// the player's first buffered frame, in the practice program's own window
// on the demo pack. Goal: under 300 ms. The program warms the media stack
// once the pack is loaded; the bench lets that finish first, as a learner's
// first choice would, unless --cold asks for a choice at once.
#include "Chapter.h"
#include "Exercise.h"
#include "Library.h"
#include "PlaybackWarmUp.h"
#include "PlayerManager.h"
#include "PracticeContent.h"
#include "PracticeWindow.h"
#include "ProgressStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    PracticeContent content(dir.filePath(QStringLiteral("scratch")));
    if (content.load(QStringLiteral(HAZARD_DEMO_PACK)) != PracticeContent::Loaded) {
        std::fprintf(stderr, "%s\n", qPrintable(content.problemText()));
        return 1;
    }
    ProgressStore store;
    store.open(dir.filePath(QStringLiteral("progress.db")));
    PracticeWindow window(&content, &store);
    window.show();

    if (app.arguments().contains(QStringLiteral("--cold"))) {
        content.warmUp()->stop();
    } else {
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(content.warmUp(), &PlaybackWarmUp::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        std::printf("warm-up after loading the pack: %lld ms\n", clock.elapsed());
    }

    QList<qint64> figures;
    qint64 firstChoice = -1;
    QMediaPlayer *player = content.playerManager()->player();
    for (Chapter *chapter : content.library()->chapters()) {
        for (Exercise *situation : chapter->exercises()) {
            QEventLoop loop;
            QElapsedTimer clock;
            qint64 firstFrame = -1;
            const auto connection = QObject::connect(player, &QMediaPlayer::mediaStatusChanged, &loop,
                                                     [&](QMediaPlayer::MediaStatus status) {
                                                         if (status == QMediaPlayer::BufferedMedia && firstFrame < 0) {
                                                             firstFrame = clock.elapsed();
                                                             loop.quit();
                                                         }
                                                     });
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            clock.start();
            window.startRun(PracticeWindow::RunSituation, {situation});
            if (firstFrame < 0)
                loop.exec();
            QObject::disconnect(connection);
            if (firstFrame < 0) {
                std::fprintf(stderr, "situation %d: no frame within 10 s\n", situation->id());
                return 1;
            }
            if (firstChoice < 0)
                firstChoice = firstFrame;
            figures << firstFrame;
            content.playerManager()->requestStop();
            window.flow()->backToChoice();
        }
    }
    std::sort(figures.begin(), figures.end());
    std::printf("choose -> first frame over %d situations: median %lld ms, worst %lld ms, best %lld ms, "
                "first choice %lld ms (goal < 300 ms)\n",
                int(figures.size()), figures.at(figures.size() / 2), figures.last(), figures.first(), firstChoice);
    return 0;
}
