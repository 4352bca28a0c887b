#include "RandomUtility.h"

#include <QSet>
#include <QtTest>

class TestRandomUtility : public QObject
{
    Q_OBJECT
private slots:
    void distinctWithinRange_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("range");
        // How many distinct values come back: all of the range when asked for more.
        QTest::addColumn<int>("drawn");
        QTest::newRow("all three") << 3 << 3 << 3;
        QTest::newRow("five of a hundred") << 5 << 100 << 5;
        QTest::newRow("seven of four") << 7 << 4 << 4;
        QTest::newRow("none of five") << 0 << 5 << 0;
        QTest::newRow("negative count") << -1 << 5 << 0;
        QTest::newRow("empty range") << 2 << 0 << 0;
        QTest::newRow("negative range") << 2 << -3 << 0;
    }

    void distinctWithinRange()
    {
        QFETCH(int, count);
        QFETCH(int, range);
        QFETCH(int, drawn);
        for (int round = 0; round < 50; ++round) {
            const QList<int> values = RandomUtility::instance()->distinctIndices(count, range);
            QCOMPARE(QSet<int>(values.begin(), values.end()).size(), drawn);
            QCOMPARE(values.size(), drawn);
            for (int v : values)
                QVERIFY(v >= 0 && v < range);
        }
    }

    // Reseeding from the clock before each draw made every draw within one
    // second identical. Draws made back to back must vary.
    void successiveDrawsDiffer()
    {
        QSet<int> firsts;
        for (int round = 0; round < 200; ++round)
            firsts.insert(RandomUtility::instance()->distinctIndices(2, 50).first());
        QVERIFY2(firsts.size() > 10, "back-to-back selections keep drawing the same value");
    }
};

QTEST_GUILESS_MAIN(TestRandomUtility)
#include "tst_randomutility.moc"
