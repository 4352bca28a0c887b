#include "Chapter.h"
#include "ContentFixture.h"

#include <QtTest>

using namespace ContentFixture;

class TestLibrary : public QObject
{
    Q_OBJECT
private slots:
    void freshLibraryHasSixNamedChapters();
    void badIndicesRefused();
    void randomExercisesAreDistinct();
};

void TestLibrary::freshLibraryHasSixNamedChapters()
{
    Library library;
    const QList<Chapter *> chapters = library.chapters();
    QCOMPARE(chapters.size(), 6);
    for (int k = 0; k < 6; ++k)
        QVERIFY(chapters.at(k)->index() == k && chapters.at(k)->name() == QStringLiteral("Chương %1").arg(k + 1));
}

void TestLibrary::badIndicesRefused()
{
    Library library;
    fillLibrary(library, &library, {2, 1, 2, 1, 2, 2});
    QVERIFY(!library.exerciseAt(6, 0) && !library.exerciseAt(-1, 0) && !library.exerciseAt(0, 2) && !library.exerciseAt(0, -1));
    QCOMPARE(library.exerciseAt(0, 1)->id(), 102);
    QCOMPARE(library.exerciseAt(5, 0)->id(), 601);

    Library empty;
    empty.addExercise(6, makeExercise(&empty, 1, 1000));
    empty.addExercise(-1, makeExercise(&empty, 2, 1000));
    for (int chapter = -1; chapter < 8; ++chapter)
        QVERIFY(empty.exercisesOfChapter(chapter).isEmpty());
}

void TestLibrary::randomExercisesAreDistinct()
{
    Library library;
    fillLibrary(library, &library, {5, 5, 5, 5, 5, 5});
    for (int round = 0; round < 100; ++round) {
        const QList<Exercise *> drawn = library.chapters().at(2)->randomExercises(3);
        QCOMPARE(QSet<Exercise *>(drawn.begin(), drawn.end()).size(), 3);
        for (const Exercise *e : drawn)
            QCOMPARE(e->id() / 100, 3);
    }

    // A chapter with fewer than asked must not hang the draw: it gives what it has.
    Library small;
    fillLibrary(small, &small, {1, 3});
    QCOMPARE(idsOf(small.chapters().at(0)->randomExercises(2)), QList<int>{101});
    const QList<Exercise *> three = small.chapters().at(1)->randomExercises(10);
    QCOMPARE(three.size(), 3);
    QCOMPARE(QSet<Exercise *>(three.begin(), three.end()).size(), 3);
    QVERIFY(small.chapters().at(0)->randomExercises(0).isEmpty() && small.chapters().at(3)->randomExercises(2).isEmpty());
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
