#include "Composer.h"
#include "ContentFixture.h"
#include "StudentInfo.h"

#include <QtTest>

using namespace ContentFixture;

class TestComposer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { delete m_owner; }
    void examinationStructure();
    void compositionOfAChapter_data();
    void compositionOfAChapter();
    void emptyCompositions();
    void composeFromIds();
    void seekInfo_data();
    void seekInfo();
    void passEstimate_data();
    void passEstimate();

private:
    QObject *m_owner = nullptr;
    Library *m_library = nullptr;
    Composer *m_composer = nullptr;
    Exercise *m_countDown = nullptr;
};

void TestComposer::init()
{
    m_owner = new QObject;
    m_library = new Library(m_owner);
    m_composer = new Composer(m_owner);
    m_countDown = makeExercise(m_owner, 0, 3000);
    m_composer->setLibrary(m_library);
    m_composer->setCountDown(m_countDown);
}

void TestComposer::examinationStructure()
{
    fillLibrary(*m_library, m_owner, {4, 4, 4, 4, 4, 4});
    QSignalSpy spy(m_composer, &Composer::loadCompletedContest);
    m_composer->compose(Examination, 0, 0);
    QCOMPARE(spy.count(), 1);
    const QList<Exercise *> list = m_composer->exercises();
    QCOMPARE(m_composer->situationCount(), 10);
    QCOMPARE(m_composer->totalDuration(), qint64(10 * 3000 + 10 * 20000));
    QStringList chapters, videoIds;
    for (int i = 0; i < list.size(); ++i) {
        QCOMPARE(list.at(i) == m_countDown, i % 2 == 0);
        if (i % 2) {
            chapters << QString::number(list.at(i)->id() / 100);
            videoIds << QString::number(list.at(i)->id());
        }
    }
    QCOMPARE(chapters.join(QString()), QStringLiteral("1123345566"));
    QVERIFY(list.at(1) != list.at(3) && list.at(13) != list.at(15));
    QCOMPARE(m_composer->videoIdText(), videoIds.join(';'));

    // A small chapter gives what it has.
    m_library = new Library(m_owner);
    m_composer->setLibrary(m_library);
    fillLibrary(*m_library, m_owner, {1, 1, 2, 1, 2, 2});
    m_composer->compose(Examination, 0, 0);
    QCOMPARE(m_composer->exercises().size(), 18);
    QCOMPARE(m_composer->exercises().at(1)->id(), 101);
}

void TestComposer::compositionOfAChapter_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("situation");
    QTest::addColumn<QList<int>>("ids");
    QTest::newRow("single situation") << int(SingleSituation) << 2 << QList<int>({0, 203});
    QTest::newRow("whole chapter") << int(WholeChapter) << 0 << QList<int>({0, 201, 0, 202, 0, 203});
    // A review is composed from the ids the server sends.
    QTest::newRow("review") << int(ExaminationReview) << 0 << QList<int>();
}

void TestComposer::compositionOfAChapter()
{
    QFETCH(int, mode);
    QFETCH(int, situation);
    QFETCH(QList<int>, ids);
    fillLibrary(*m_library, m_owner, {2, 3});
    QSignalSpy spy(m_composer, &Composer::loadCompletedContest);
    m_composer->compose(LearnModeEnum(mode), 1, situation);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(int(m_composer->mode()), mode);
    QCOMPARE(idsOf(m_composer->exercises()), ids);
    QCOMPARE(m_composer->totalDuration(), qint64(ids.size() / 2 * (3000 + 20000)));
    if (!ids.isEmpty())
        QCOMPARE(m_composer->situationCount(), ids.size() / 2);
}

void TestComposer::emptyCompositions()
{
    fillLibrary(*m_library, m_owner, {2, 3});
    m_composer->compose(WholeChapter, 1, 0);
    QCOMPARE(m_composer->situationCount(), 3);
    QSignalSpy spy(m_composer, &Composer::loadCompletedContest);
    m_composer->compose(SingleSituation, 0, 5);
    QCOMPARE(spy.count(), 1);
    QVERIFY(m_composer->exercises().isEmpty());
    QCOMPARE(m_composer->totalDuration(), qint64(0));
    // An empty composition keeps the previous count.
    QCOMPARE(m_composer->situationCount(), 3);
    m_composer->compose(SingleSituation, 9, 0);
    QVERIFY(m_composer->exercises().isEmpty());

    // No count-down clip: nothing is composed.
    m_composer->setCountDown(nullptr);
    const int before = spy.count();
    m_composer->compose(WholeChapter, 1, 0);
    QCOMPARE(spy.count(), before + 1);
    QVERIFY(m_composer->exercises().isEmpty());
    m_composer->composeFromIds({201, 202});
    QCOMPARE(spy.count(), before + 1);
    QVERIFY(m_composer->exercises().isEmpty());
}

void TestComposer::composeFromIds()
{
    QObject owner;
    m_library->addExercise(0, makeExercise(&owner, 40, 15000));
    m_library->addExercise(2, makeExercise(&owner, 7, 16000));
    m_library->addExercise(5, makeExercise(&owner, 12, 17000));
    m_composer->setMode(ExaminationReview);
    QSignalSpy spy(m_composer, &Composer::loadCompletedContest);
    m_composer->composeFromIds({12, 40, 7});
    QCOMPARE(spy.count(), 1);
    QCOMPARE(idsOf(m_composer->exercises()), QList<int>({0, 12, 0, 40, 0, 7}));
    QCOMPARE(m_composer->situationCount(), 3);
    QCOMPARE(m_composer->totalDuration(), qint64(3 * 3000 + 15000 + 16000 + 17000));
    QCOMPARE(m_composer->videoIdText(), QStringLiteral("12;40;7"));

    m_composer->composeFromIds({});
    m_composer->composeFromIds({999, 0});
    QCOMPARE(spy.count(), 1);
    QCOMPARE(m_composer->situationCount(), 3);
    // Unknown ids drop out; the rest keeps its order.
    m_composer->composeFromIds({7, 999, 40});
    QCOMPARE(spy.count(), 2);
    QCOMPARE(idsOf(m_composer->exercises()), QList<int>({0, 7, 0, 40}));
}

void TestComposer::seekInfo_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("emitted");
    QTest::addColumn<int>("index");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("start");
    QTest::newRow("start") << 0 << true << 0 << qint64(0) << qint64(0);
    QTest::newRow("end of count-down") << 2999 << true << 0 << qint64(2999) << qint64(0);
    QTest::newRow("boundary belongs to later") << 3000 << true << 1 << qint64(0) << qint64(3000);
    QTest::newRow("inside situation") << 13000 << true << 1 << qint64(10000) << qint64(3000);
    QTest::newRow("second count-down") << 23000 << true << 2 << qint64(0) << qint64(23000);
    QTest::newRow("last millisecond") << 45999 << true << 3 << qint64(19999) << qint64(26000);
    QTest::newRow("total duration") << 46000 << false << 0 << qint64(0) << qint64(0);
}

void TestComposer::seekInfo()
{
    QFETCH(int, position);
    QFETCH(bool, emitted);
    QFETCH(int, index);
    QFETCH(qint64, offset);
    QFETCH(qint64, start);
    fillLibrary(*m_library, m_owner, {2});
    m_composer->compose(WholeChapter, 0, 0);
    QSignalSpy spy(m_composer, &Composer::sendSeekInfo);
    m_composer->getExerciseIndexByPosition(position);
    QCOMPARE(spy.count(), emitted ? 1 : 0);
    if (!emitted)
        return;
    const SeekInfo info = spy.first().first().value<SeekInfo>();
    QCOMPARE(QList<qint64>({info.exerciseIndex, info.positionInVideo, info.videoStart}), QList<qint64>({index, offset, start}));
}

void TestComposer::passEstimate_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("total");
    QTest::addColumn<uint>("row");
    QTest::addColumn<int>("expected");
    QTest::newRow("35 passes") << int(Examination) << 35 << 0u << 1;
    QTest::newRow("34 fails") << int(Examination) << 34 << 0u << 0;
    QTest::newRow("row 9") << int(Examination) << 35 << 9u << 1;
    QTest::newRow("row 10") << int(Examination) << 50 << 10u << 0;
    QTest::newRow("review") << int(ExaminationReview) << 40 << 0u << 1;
    QTest::newRow("whole chapter") << int(WholeChapter) << 50 << 0u << 2;
    QTest::newRow("single") << int(SingleSituation) << 0 << 0u << 2;
}

void TestComposer::passEstimate()
{
    QFETCH(int, mode);
    QFETCH(int, total);
    QFETCH(uint, row);
    QFETCH(int, expected);
    m_composer->setMode(LearnModeEnum(mode));
    QCOMPARE(m_composer->passEstimate(total, row), expected);
    m_composer->studentInfo()->setCert(int(row) - 1);
    QCOMPARE(m_composer->passThreshold(), 35);
}

QTEST_GUILESS_MAIN(TestComposer)
#include "tst_composer.moc"
