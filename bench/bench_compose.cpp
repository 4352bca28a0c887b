// Composes 10,000 examinations from a 120-situation library and prints the
// time per composition. Goal: well under 0.1 ms each.
#include "Composer.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "Library.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int compositions = 10000;

    QObject owner;
    Library library;
    for (int chapter = 0; chapter < 6; ++chapter) {
        for (int k = 0; k < 20; ++k) {
            auto *exercise = new Exercise(&owner);
            exercise->setId(chapter * 100 + k + 1);
            exercise->setDuration(15000 + k * 100);
            exercise->setDangerStart(4000);
            exercise->setDangerEnd(9000);
            library.addExercise(chapter, exercise);
        }
    }
    Exercise countDown;
    countDown.setDuration(3000);
    Composer composer;
    composer.setLibrary(&library);
    composer.setCountDown(&countDown);
    ContestProcedure procedure;

    qint64 checksum = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < compositions; ++i) {
        composer.compose(Examination, 0, 0);
        checksum += composer.totalDuration();
    }
    const double composeNs = double(timer.nsecsElapsed()) / compositions;

    timer.restart();
    for (int i = 0; i < compositions; ++i) {
        composer.compose(Examination, 0, 0);
        procedure.setDangerItems(composer.exercises());
        checksum += procedure.collectResult().total;
    }
    const double withItemsNs = double(timer.nsecsElapsed()) / compositions;

    std::printf("compositions:                 %d (120-situation library, 10 situations each)\n",
                compositions);
    std::printf("compose only:                 %.4f ms per examination\n", composeNs / 1e6);
    std::printf("compose + danger items + sum: %.4f ms per examination\n", withItemsNs / 1e6);
    std::printf("goal: compose under 0.1 ms    %s\n", composeNs < 1e5 ? "met" : "NOT met");
    std::printf("(checksum %lld)\n", static_cast<long long>(checksum));
    return 0;
}
