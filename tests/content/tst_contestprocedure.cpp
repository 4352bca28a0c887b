#include "ContentFixture.h"
#include "ContestProcedure.h"

#include <QtTest>

#include <atomic>

using namespace ContentFixture;

// Playlist helpers: count-down clip, then situation, alternating.
class TestContestProcedure : public QObject
{
    Q_OBJECT
private slots:
    void itemsAreLaidOnTheTimeline();
    void pressScoring_data();
    void pressScoring();
    void onlyFirstFlagCounts();
    void collectResult();
    void edgesOfTheTimeline();
    void restoreAndReset();
    void rebuildWhileReading();

};

static QList<Exercise *> playlist(QObject *owner, qint64 countDown, int situations, qint64 duration, qint64 dangerStart,
                                  qint64 dangerEnd)
{
    Exercise *clip = makeExercise(owner, 0, countDown);
    QList<Exercise *> list;
    for (int i = 0; i < situations; ++i) {
        list.append(clip);
        list.append(makeExercise(owner, 100 + i, duration, dangerStart, dangerEnd));
    }
    return list;
}

void TestContestProcedure::itemsAreLaidOnTheTimeline()
{
    QObject owner;
    ContestProcedure procedure;
    // A count-down clip left over at the end is no situation.
    QList<Exercise *> list = playlist(&owner, 3000, 3, 20000, 5000, 10000);
    list.append(list.first());
    procedure.setDangerItems(list);
    QStringList laid;
    for (const DangerItem &item : procedure.dangerItemsSnapshot()) {
        laid << QStringLiteral("%1-%2 %3-%4 %5-%6").arg(item.spanStart).arg(item.spanEnd).arg(item.windowStart)
                    .arg(item.windowEnd).arg(item.windowStartText, item.windowEndText);
        QVERIFY(!item.flagged && item.flagTime == 0 && item.score == 0);
    }
    QCOMPARE(laid, (QStringList{"3000-23000 8000-13000 00:08:00-00:13:00", "26000-46000 31000-36000 00:31:00-00:36:00",
                                "49000-69000 54000-59000 00:54:00-00:59:00"}));
}

// Window 10000..15000 (or the point 10000) inside span 8000..20000.
void TestContestProcedure::pressScoring_data()
{
    QTest::addColumn<qint64>("windowEnd");
    QTest::addColumn<qint64>("press");
    QTest::addColumn<bool>("flagged");
    QTest::addColumn<int>("score");
    QTest::addColumn<qint64>("flagTime");
    QTest::newRow("first fifth") << qint64(15000) << qint64(10400) << true << 5 << qint64(10400);
    QTest::newRow("look-back wins") << qint64(15000) << qint64(11200) << true << 5 << qint64(10700);
    QTest::newRow("border 11000 raw 4, look-back 5") << qint64(15000) << qint64(11000) << true << 5 << qint64(10500);
    QTest::newRow("middle fifth, press kept") << qint64(15000) << qint64(12700) << true << 3 << qint64(12700);
    QTest::newRow("middle fifth, look-back") << qint64(15000) << qint64(13100) << true << 3 << qint64(12600);
    QTest::newRow("window end") << qint64(15000) << qint64(15000) << true << 1 << qint64(15000);
    QTest::newRow("just after end, look-back") << qint64(15000) << qint64(15300) << true << 1 << qint64(14800);
    QTest::newRow("500 ms after end") << qint64(15000) << qint64(15500) << true << 1 << qint64(15000);
    QTest::newRow("after window") << qint64(15000) << qint64(16000) << true << 0 << qint64(16000);
    QTest::newRow("span end still uses the flag") << qint64(15000) << qint64(20000) << true << 0 << qint64(20000);
    QTest::newRow("beyond span") << qint64(15000) << qint64(20001) << false << 0 << qint64(0);
    QTest::newRow("before window") << qint64(15000) << qint64(9000) << true << 0 << qint64(9000);
    QTest::newRow("span start") << qint64(15000) << qint64(8000) << true << 0 << qint64(8000);
    QTest::newRow("count-down clip") << qint64(15000) << qint64(7999) << false << 0 << qint64(0);
    QTest::newRow("point: at it") << qint64(10000) << qint64(10000) << true << 1 << qint64(10000);
    QTest::newRow("point: 500 ms after") << qint64(10000) << qint64(10500) << true << 1 << qint64(10000);
    QTest::newRow("point: 1 ms before") << qint64(10000) << qint64(9999) << true << 0 << qint64(9999);
    QTest::newRow("point: 1 ms after") << qint64(10000) << qint64(10001) << true << 0 << qint64(10001);
    QTest::newRow("point: 499 ms after") << qint64(10000) << qint64(10499) << true << 0 << qint64(10499);
}

void TestContestProcedure::pressScoring()
{
    QFETCH(qint64, windowEnd);
    QFETCH(qint64, press);
    QFETCH(bool, flagged);
    QFETCH(int, score);
    QFETCH(qint64, flagTime);
    QObject owner;
    ContestProcedure procedure;
    procedure.setDangerItems(playlist(&owner, 8000, 1, 12000, 2000, windowEnd - 8000));
    QSignalSpy spy(&procedure, &ContestProcedure::notifyAddFlag);
    procedure.addFlag(press);
    QCOMPARE(spy.count(), 1);
    const DangerItem item = procedure.dangerItemsSnapshot().first();
    QCOMPARE(QVariantList({item.flagged, item.score, item.flagTime}), QVariantList({flagged, score, flagTime}));
}

void TestContestProcedure::onlyFirstFlagCounts()
{
    QObject owner;
    ContestProcedure procedure;
    procedure.setDangerItems(playlist(&owner, 8000, 2, 12000, 2000, 7000));
    QSignalSpy spy(&procedure, &ContestProcedure::notifyAddFlag);
    procedure.addFlag(16000);
    procedure.addFlag(10400);
    QCOMPARE(spy.count(), 2);
    // The second situation is independent.
    procedure.addFlag(30400);
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("0;5|16000;30400"));

    DangerItem item;
    item.windowStart = 10000;
    item.windowEnd = 15000;
    const QList<QPair<qint64, int>> borders = {{10000, 5}, {10999, 5}, {11000, 4}, {12000, 3},
        {13000, 2}, {14000, 1}, {14999, 1}, {15000, 1}, {15001, 0}, {9999, 0}};
    for (const auto &border : borders)
        QVERIFY2(ContestProcedure::zoneScore(border.first, item) == border.second,
                 qPrintable(QString::number(border.first)));
}

void TestContestProcedure::edgesOfTheTimeline()
{
    // A flag at 0 leaves the situation open to a later press.
    QObject owner;
    ContestProcedure procedure;
    procedure.setDangerItems(playlist(&owner, 0, 1, 10000, 0, 4000));
    procedure.addFlag(0);
    const DangerItem item = procedure.dangerItemsSnapshot().first();
    QVERIFY(item.flagged && item.flagTime == 0 && item.score == 5);
    procedure.addFlag(3000);
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("2|3000"));

    // Touching spans both score a press on their border.
    procedure.setDangerItems(playlist(&owner, 0, 2, 10000, 0, 10000));
    procedure.addFlag(10000);
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("1;5|10000;10000"));
}

void TestContestProcedure::collectResult()
{
    QObject owner;
    ContestProcedure procedure;
    procedure.setDangerItems(playlist(&owner, 3000, 10, 15000, 4000, 9000));
    ContestResultRecord record = procedure.collectResult();
    QCOMPARE(record.total, 0);
    QCOMPARE(record.detail, QStringLiteral("0;0;0;0;0;0;0;0;0;0|0;0;0;0;0;0;0;0;0;0"));

    procedure.setDangerItems(playlist(&owner, 3000, 3, 15000, 4000, 9000));
    procedure.addFlag(7000);                 // first situation, window start: 5
    procedure.addFlag(18000 + 3000 + 8500);  // second situation, last fifth: 1
    record = procedure.collectResult();
    QCOMPARE(record.total, 6);
    QCOMPARE(record.detail, QStringLiteral("5;1;0|7000;29500;0"));
}

void TestContestProcedure::restoreAndReset()
{
    QObject owner;
    ContestProcedure procedure;
    procedure.setDangerItems(playlist(&owner, 3000, 2, 15000, 4000, 9000));
    QSignalSpy spy(&procedure, &ContestProcedure::notifyAddFlag);
    procedure.setFlag(1, 25000, 4);
    QCOMPARE(spy.count(), 1);
    procedure.setFlag(2, 1, 5);
    procedure.setFlag(-1, 1, 5);
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("0;4|0;25000"));
    // A restored flag blocks a later press in the same situation.
    procedure.addFlag(25500);
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("0;4|0;25000"));

    procedure.addFlag(7000);
    procedure.resetFlags();
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("0;0|0;0"));
    procedure.clearDangerItems();
    QCOMPARE(procedure.collectResult().detail, QStringLiteral("|"));
}

// The worker thread rebuilds the items while the GUI thread scores presses and
// the timeline bar reads them; under the sanitizers a hand-over without the
// lock shows up as a use after free.
void TestContestProcedure::rebuildWhileReading()
{
    QObject owner;
    const QList<Exercise *> list = playlist(&owner, 3000, 10, 15000, 4000, 9000);
    ContestProcedure procedure;
    procedure.setDangerItems(list);
    std::atomic<bool> stop{false};
    QThread *worker = QThread::create([&] {
        for (int i = 0; i < 2000 && !stop; ++i) {
            procedure.setDangerItems(list);
            if (i % 3 == 0)
                procedure.clearDangerItems();
        }
    });
    worker->start();
    int reads = 0;
    while (!worker->isFinished()) {
        procedure.addFlag(7000 + (reads % 100) * 1000);
        QMutexLocker locker(procedure.itemsMutex());
        for (const DangerItem *item : *procedure.dangerItems())
            QVERIFY(item->spanEnd > item->spanStart);
        ++reads;
    }
    stop = true;
    worker->wait();
    delete worker;
    QVERIFY(reads > 0);
}

QTEST_GUILESS_MAIN(TestContestProcedure)
#include "tst_contestprocedure.moc"
