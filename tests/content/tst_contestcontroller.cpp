#include "ContestController.h"

#include "../player/ClipFixture.h"
#include "ContentFixture.h"

#include "Composer.h"
#include "ContestProcedure.h"
#include "Library.h"
#include "PlayerManager.h"

#include <QtTest>

#include <QMediaPlaylist>

// The worker-thread wiring is the station's and is played through in
// tst_stationexam; this suite feeds the controller odd stored lists directly.
class TestContestController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void reviewRestoresFlags_data();
    void reviewRestoresFlags();

private:
    Exercise *addClip(const QString &path, int id);

    QTemporaryDir m_dir;
    QByteArray m_clip;
    QObject m_owner;
    Library m_library;
    Exercise *m_countDown = nullptr;
};

Exercise *TestContestController::addClip(const QString &path, int id)
{
    if (!ClipFixture::writeEnciphered(path, m_clip))
        return nullptr;
    Exercise *clip = ContentFixture::makeExercise(&m_owner, id, 1000, id ? 200 : 0, id ? 700 : 0);
    clip->setFilePath(path);
    return clip;
}

void TestContestController::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString plain = m_dir.filePath(QStringLiteral("plain.mp4"));
    QVERIFY(ClipFixture::renderClip(plain, 1000));
    m_clip = TestFiles::read(plain);
    m_countDown = addClip(m_dir.filePath(QStringLiteral("count_down.mp4")), 0);
    QVERIFY(m_countDown);
    for (int id : {101, 201, 602}) {
        Exercise *situation = addClip(m_dir.filePath(QStringLiteral("%1.mp4").arg(id)), id);
        QVERIFY(situation);
        m_library.addExercise(id / 100 - 1, situation);
    }
}

void TestContestController::reviewRestoresFlags_data()
{
    QTest::addColumn<QList<int>>("scores");
    QTest::addColumn<QList<qint64>>("flags");
    // Per situation: flag time and score, "-" for no flag.
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("flags and a situation without") << QList<int>{5, 3, 2} << QList<qint64>{1200, 0, 5000} << QStringList{"1200:5", "-", "5000:2"};
    QTest::newRow("fewer flags than situations") << QList<int>{4, 0, 0} << QList<qint64>{1300} << QStringList{"1300:4", "-", "-"};
    QTest::newRow("more flags than situations") << QList<int>{1, 2, 3, 4, 5} << QList<qint64>{1200, 0, 5000, 7000, 9000} << QStringList{"1200:1", "-", "5000:3"};
    QTest::newRow("shorter score list") << QList<int>{4} << QList<qint64>{1200, 3300, 5400} << QStringList{"1200:4", "3300:0", "5400:0"};
    QTest::newRow("flag beyond the timeline") << QList<int>{5, 1, 3} << QList<qint64>{1LL << 32, 3300, 0} << QStringList{"-", "3300:1", "-"};
}

void TestContestController::reviewRestoresFlags()
{
    QFETCH(QList<int>, scores);
    QFETCH(QList<qint64>, flags);
    QFETCH(QStringList, expected);
    Composer composer;
    composer.setLibrary(&m_library);
    composer.setCountDown(m_countDown);
    ContestProcedure procedure;
    PlayerManager player(m_dir.filePath(QStringLiteral("scratch")));
    player.setComposer(&composer);
    ContestController controller;
    controller.setComposer(&composer);
    controller.setContestProcedure(&procedure);
    controller.setPlayerManager(&player);
    QSignalSpy done(&controller, &ContestController::doneResetContest);

    controller.onReviewContestContent(ResultDetail(scores, flags, {201, 101, 602}));
    QCOMPARE(done.count(), 1);
    QCOMPARE(composer.videoIdText(), QStringLiteral("201;101;602"));
    QCOMPARE(player.player()->playlist()->mediaCount(), 6);
    QStringList restored;
    for (const DangerItem &item : procedure.dangerItemsSnapshot())
        restored << (item.flagged ? QStringLiteral("%1:%2").arg(item.flagTime).arg(item.score) : QStringLiteral("-"));
    QCOMPARE(restored, expected);
}

QTEST_MAIN(TestContestController)
#include "tst_contestcontroller.moc"
