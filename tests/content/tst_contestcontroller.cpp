#include "ContestController.h"

#include "../player/ClipFixture.h"

#include "Composer.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "Library.h"
#include "PlayerManager.h"

#include <QtTest>

#include <QMediaPlaylist>
#include <QTemporaryDir>
#include <QThread>

namespace {

constexpr int situationMs = 1000;

} // namespace

// An examination prepared on the worker is played through in tst_station.
class TestContestController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void reviewRestoresFlags_data();
    void reviewRestoresFlags();

signals:
    void notifyReviewContestContent(const QString &scoreStr, const QString &videoStr, const QString &flagStr);

private:
    void waitForPreparation();

    QTemporaryDir m_dir;
    QString m_countDownPath;
    QObject m_owner;
    Library m_library;
    QThread m_worker;
    Composer *m_composer = nullptr;
    ContestProcedure *m_procedure = nullptr;
    PlayerManager *m_player = nullptr;
    ContestController *m_controller = nullptr;
    // What the GUI thread finds when it hears that a contest is prepared.
    int m_announcements = 0;
    QStringList m_playlistFiles;
};

// Six chapters of two situations, each its own enciphered file.
void TestContestController::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString plain = m_dir.filePath(QStringLiteral("plain.mp4"));
    QVERIFY(ClipFixture::renderClip(plain, situationMs));
    const QByteArray clip = TestFiles::read(plain);
    m_countDownPath = m_dir.filePath(QStringLiteral("count_down.mp4"));
    QVERIFY(ClipFixture::writeEnciphered(m_countDownPath, clip));
    for (int chapter = 0; chapter < 6; ++chapter) {
        for (int k = 1; k <= 2; ++k) {
            const int id = (chapter + 1) * 100 + k;
            const QString path = m_dir.filePath(QStringLiteral("%1.mp4").arg(id));
            QVERIFY(ClipFixture::writeEnciphered(path, clip));
            auto *situation = new Exercise(&m_owner);
            situation->setId(id);
            situation->setFilePath(path);
            situation->setDuration(situationMs);
            situation->setDangerStart(200);
            situation->setDangerEnd(700);
            m_library.addExercise(chapter, situation);
        }
    }
    m_worker.start();
}

void TestContestController::cleanupTestCase()
{
    m_worker.quit();
    m_worker.wait();
}

// The same wiring as the station's: collaborators on the GUI thread, the
// controller on the worker, requests and the announcement queued across.
void TestContestController::init()
{
    m_composer = new Composer(&m_owner);
    m_composer->setLibrary(&m_library);
    auto *countDown = new Exercise(&m_owner);
    countDown->setFilePath(m_countDownPath);
    countDown->setDuration(situationMs);
    m_composer->setCountDown(countDown);
    m_procedure = new ContestProcedure(&m_owner);
    m_player = new PlayerManager(m_dir.filePath(QStringLiteral("scratch")), &m_owner);
    m_player->setComposer(m_composer);

    m_controller = new ContestController;
    m_controller->setComposer(m_composer);
    m_controller->setContestProcedure(m_procedure);
    m_controller->setPlayerManager(m_player);
    m_controller->moveToThread(&m_worker);
    connect(this, &TestContestController::notifyReviewContestContent, m_controller,
            &ContestController::onReviewContestContent);

    m_announcements = 0;
    connect(m_controller, &ContestController::doneResetContest, this, [this] {
        QVERIFY(QThread::currentThread() == thread());
        ++m_announcements;
        QMediaPlaylist *playlist = m_player->player()->playlist();
        m_playlistFiles.clear();
        for (int k = 0; k < playlist->mediaCount(); ++k)
            m_playlistFiles.append(playlist->media(k).request().url().fileName());
    });
}

void TestContestController::cleanup()
{
    m_controller->deleteLater();
    delete m_player;
    delete m_procedure;
    delete m_composer;
}

void TestContestController::waitForPreparation()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_announcements, 1, 30000);
}

void TestContestController::reviewRestoresFlags_data()
{
    QTest::addColumn<QString>("scoreStr");
    QTest::addColumn<QString>("flagStr");
    // Per situation: flag time and score, "-" for no flag.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("flags and a situation without")
        << "5;3;2" << "1200;0;5000" << QStringList{"1200:5", "-", "5000:2"};
    QTest::newRow("fewer flags than situations") << "4;0;0" << "1300" << QStringList{"1300:4", "-", "-"};
    QTest::newRow("more flags than situations")
        << "1;2;3;4;5" << "1200;0;5000;7000;9000" << QStringList{"1200:1", "-", "5000:3"};
    QTest::newRow("shorter score list") << "4" << "1200;3300;5400" << QStringList{"1200:4", "3300:0", "5400:0"};
    QTest::newRow("texts that are no numbers") << "5;x;3" << "abc;3300;-7" << QStringList{"-", "3300:0", "-"};
}

void TestContestController::reviewRestoresFlags()
{
    QFETCH(QString, scoreStr);
    QFETCH(QString, flagStr);
    QFETCH(QStringList, expected);

    emit notifyReviewContestContent(scoreStr, QStringLiteral("201;101;602"), flagStr);
    waitForPreparation();
    QCOMPARE(m_composer->videoIdText(), QStringLiteral("201;101;602"));
    QCOMPARE(m_playlistFiles.size(), 6);
    QStringList restored;
    for (const DangerItem &item : m_procedure->dangerItemsSnapshot()) {
        restored.append(item.flagged ? QStringLiteral("%1:%2").arg(item.flagTime).arg(item.score)
                                     : QStringLiteral("-"));
    }
    QCOMPARE(restored, expected);
}

QTEST_MAIN(TestContestController)
#include "tst_contestcontroller.moc"
