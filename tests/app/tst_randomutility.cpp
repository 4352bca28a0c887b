#include "RandomUtility.h"

#include <QSet>
#include <QtTest>

class TestRandomUtility : public QObject
{
    Q_OBJECT
private slots:
    void distinctWithinRange_data();
    void distinctWithinRange();
    void wholeRangeWhenAskingTooMuch();
    void nothingForEmptyRangeOrCount();
    void successiveDrawsDiffer();
};

void TestRandomUtility::distinctWithinRange_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("range");
    QTest::newRow("all three") << 3 << 3;
    QTest::newRow("two of four") << 2 << 4;
    QTest::newRow("one of one") << 1 << 1;
    QTest::newRow("five of a hundred") << 5 << 100;
}

void TestRandomUtility::distinctWithinRange()
{
    QFETCH(int, count);
    QFETCH(int, range);
    for (int round = 0; round < 50; ++round) {
        const QList<int> values = RandomUtility::instance()->distinctIndices(count, range);
        QCOMPARE(values.size(), count);
        const QSet<int> unique(values.begin(), values.end());
        QCOMPARE(unique.size(), count);
        for (int v : values)
            QVERIFY(v >= 0 && v < range);
    }
}

void TestRandomUtility::wholeRangeWhenAskingTooMuch()
{
    const QList<int> values = RandomUtility::instance()->distinctIndices(7, 4);
    QCOMPARE(values.size(), 4);
    QList<int> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(sorted, QList<int>({0, 1, 2, 3}));
}

void TestRandomUtility::nothingForEmptyRangeOrCount()
{
    QVERIFY(RandomUtility::instance()->distinctIndices(0, 5).isEmpty());
    QVERIFY(RandomUtility::instance()->distinctIndices(-1, 5).isEmpty());
    QVERIFY(RandomUtility::instance()->distinctIndices(2, 0).isEmpty());
    QVERIFY(RandomUtility::instance()->distinctIndices(2, -3).isEmpty());
}

// Reseeding from the clock before each draw made every draw within one second
// identical (and a selection of two take a second or more). Draws made back
// to back must vary.
void TestRandomUtility::successiveDrawsDiffer()
{
    QSet<int> firsts;
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < 200; ++round)
        firsts.insert(RandomUtility::instance()->distinctIndices(2, 50).first());
    QVERIFY2(firsts.size() > 10, "back-to-back selections keep drawing the same value");
    QVERIFY2(timer.elapsed() < 60000, "selections wait on the clock");
}

QTEST_GUILESS_MAIN(TestRandomUtility)
#include "tst_randomutility.moc"
