#include "Chapter.h"
#include "Composer.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "HzSliderProgressBar.h"
#include "Library.h"
#include "PlayerManager.h"
#include "PracticeContent.h"
#include "PracticeWindow.h"
#include "ProgressStore.h"
#include "StatisticsPage.h"

#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>
#include <QtTest>

// The practice program end to end on the demo pack: real decryption, real
// playback, key presses into the window, attempts in a real progress file.
class TstPracticeWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    PracticeContent *m_content = nullptr;
    ProgressStore *m_store = nullptr;
    PracticeWindow *m_window = nullptr;

    // Waits for the run to end, answering every scored situation with Enter.
    bool walkRun(int situations)
    {
        QSignalSpy finished(m_window, &PracticeWindow::runFinished);
        QSignalSpy scored(m_window, &PracticeWindow::situationScored);
        for (int i = 0; i < situations; ++i) {
            if (!QTest::qWaitFor([&] { return scored.size() > i || finished.size() > 0; }, 60000))
                return false;
            if (finished.size() > 0)
                break;
            QTest::keyClick(m_window, Qt::Key_Return);
        }
        return finished.size() > 0 || finished.wait(60000);
    }

    // Faster playback keeps the long runs short; positions stay on the
    // clips' own time, so scoring is unchanged.
    void playFast()
    {
        connect(m_window, &PracticeWindow::situationStarted, m_content,
                [this] { m_content->playerManager()->setPlaybackRate(4.0); });
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_content = new PracticeContent(m_dir.filePath(QStringLiteral("scratch")));
        QCOMPARE(m_content->load(QStringLiteral(DEMO_PACK_DIR)), PracticeContent::Loaded);
        m_store = new ProgressStore;
        QCOMPARE(m_store->open(m_dir.filePath(QStringLiteral("progress-%1.db").arg(QTest::currentTestFunction()))),
                 ProgressStore::Opened);
        m_window = new PracticeWindow(m_content, m_store);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        delete m_window;
        delete m_store;
        delete m_content;
        // The decrypted copies go with the engine.
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("scratch"))));
    }

    void missingAndTamperedContentAreNamed()
    {
        QTemporaryDir other;
        PracticeContent content(other.filePath(QStringLiteral("scratch")));
        QCOMPARE(content.load(other.path()), PracticeContent::Missing);
        QVERIFY(content.problemText().contains(other.path()));
        QVERIFY(QDir().mkpath(other.filePath(QStringLiteral("videos"))));
        QFile db(QStringLiteral(DEMO_PACK_DIR "/ksm.db"));
        QVERIFY(db.open(QIODevice::ReadOnly));
        QByteArray bytes = db.readAll();
        bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x01);
        QFile copy(other.filePath(QStringLiteral("ksm.db")));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size());
        copy.close();
        QCOMPARE(content.load(other.path()), PracticeContent::Tampered);
        QVERIFY(content.problemText().contains(other.path()));
        QVERIFY(QFile::copy(QStringLiteral(DEMO_PACK_DIR "/ksm.db"), other.filePath(QStringLiteral("ksm.db.good"))));
        QVERIFY(QFile::remove(other.filePath(QStringLiteral("ksm.db"))));
        QVERIFY(QFile::rename(other.filePath(QStringLiteral("ksm.db.good")), other.filePath(QStringLiteral("ksm.db"))));
        QCOMPARE(content.load(other.path()), PracticeContent::ClipsMissing);
        QVERIFY(content.problemText().contains(QStringLiteral("count_down.mp4")));
    }

    void installedPacksAreFoundCentreBeforeDemo()
    {
        QTemporaryDir data;
        const QString home = data.filePath(QStringLiteral("home"));
        const QString system = data.filePath(QStringLiteral("system"));
        const QByteArray savedHome = qgetenv("XDG_DATA_HOME");
        const QByteArray savedDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(system));
        auto firstPack = [] {
            for (const QString &folder : PracticeContent::installedFolders()) {
                if (PracticeContent::looksLikePack(folder))
                    return folder;
            }
            return QString();
        };
        auto makePack = [](const QString &folder) {
            QFile db(folder + QStringLiteral("/ksm.db"));
            return QDir().mkpath(folder + QStringLiteral("/videos")) && db.open(QIODevice::WriteOnly);
        };
        const QString noPack = firstPack();
        const QString demo = system + QStringLiteral("/hazard-station/demo/pack");
        const bool demoMade = makePack(demo);
        const QString demoFound = firstPack();
        const QString centre = system + QStringLiteral("/hazard-station");
        const bool centreMade = makePack(centre);
        const QString centreFound = firstPack();
        auto restore = [](const char *name, const QByteArray &value) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        restore("XDG_DATA_HOME", savedHome);
        restore("XDG_DATA_DIRS", savedDirs);
        QCOMPARE(noPack, QString());
        QVERIFY(demoMade && centreMade);
        QCOMPARE(demoFound, demo);
        QCOMPARE(centreFound, centre);
    }

    void oneSituationScoredAndStoredThenReplayedWithZones()
    {
        Exercise *situation = m_content->library()->chapters().at(0)->exercises().at(0);
        const qint64 countDown = m_content->countDownDuration();
        const qint64 fifth = (situation->dangerEnd() - situation->dangerStart()) / 5;
        // Inside the first fifth of the window, past the look-back's reach
        // into the stretch before it: worth 5.
        const qint64 target = countDown + situation->dangerStart() + fifth / 4;
        bool pressed = false;
        connect(m_content->playerManager(), &PlayerManager::notifyPositionChanged, m_window, [&](qint64 position) {
            if (!pressed && position >= target) {
                pressed = true;
                QTest::keyClick(m_window, Qt::Key_Space);
                QTest::keyClick(m_window, Qt::Key_Space);
            }
        });
        QSignalSpy scored(m_window, &PracticeWindow::situationScored);
        m_window->startRun(PracticeWindow::RunSituation, {situation});
        QCOMPARE(m_window->flow()->stage(), PracticeFlow::Counting);
        QVERIFY(!m_window->timeline()->showDangerZones);
        QVERIFY(scored.wait(60000));
        QCOMPARE(scored.at(0).at(1).toInt(), 5);
        QCOMPARE(m_window->flow()->stage(), PracticeFlow::Scored);
        QVERIFY(m_window->timeline()->showDangerZones);

        const QList<ProgressStore::Attempt> attempts = m_store->attempts();
        QCOMPARE(attempts.size(), 1);
        QCOMPARE(attempts.at(0).situationId, situation->id());
        QCOMPARE(attempts.at(0).mode, int(SingleSituation));
        QCOMPARE(attempts.at(0).score, 5);
        QVERIFY2(attempts.at(0).flagTime >= situation->dangerStart() + fifth / 4
                     && attempts.at(0).flagTime < situation->dangerStart() + fifth,
                 qPrintable(QString::number(attempts.at(0).flagTime)));

        // Replay: zones painted, playback free, nothing stored again.
        QTest::keyClick(m_window, Qt::Key_R);
        QCOMPARE(m_window->flow()->stage(), PracticeFlow::Replay);
        QVERIFY(m_window->flow()->mayControlPlayback());
        QSignalSpy positions(m_content->playerManager(), &PlayerManager::notifyPositionChanged);
        QVERIFY(positions.wait(20000));
        const QImage bar = m_window->timeline()->grab().toImage();
        const QList<DangerItem> items = m_content->procedure()->dangerItemsSnapshot();
        QCOMPARE(items.size(), 1);
        const int x = int(qint64(items.at(0).windowStart + fifth / 2) * bar.width() / m_window->timeline()->maximum());
        bool zoneSeen = false;
        for (int y = 0; y < bar.height() && !zoneSeen; ++y)
            zoneSeen = bar.pixelColor(x, y) == QColor(31, 133, 49);
        QVERIFY2(zoneSeen, "the 5-point zone is not painted during the replay");
        QTest::keyClick(m_window, Qt::Key_Space);
        QTest::keyClick(m_window, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->flow()->stage(), PracticeFlow::Choose, 10000);
        QCOMPARE(m_store->attempts().size(), 1);
        QCOMPARE(m_store->progressBySituation().value(situation->id()).best, 5);
    }

    void chapterInOrder()
    {
        playFast();
        const QList<Exercise *> chapter = m_content->library()->exercisesOfChapter(1);
        QVERIFY(chapter.size() >= 2);
        QList<int> started;
        connect(m_window, &PracticeWindow::situationStarted, this, [&](int id) { started << id; });
        m_window->startRun(PracticeWindow::RunChapter, chapter);
        QVERIFY(walkRun(chapter.size()));
        QList<int> expected;
        for (const Exercise *one : chapter)
            expected << one->id();
        QCOMPARE(started, expected);
        QList<int> stored;
        for (const ProgressStore::Attempt &a : m_store->attempts()) {
            stored << a.situationId;
            QCOMPARE(a.mode, int(WholeChapter));
            // No press: every situation stored, at 0.
            QCOMPARE(a.score, 0);
        }
        QCOMPARE(stored, expected);
        QCOMPARE(m_window->flow()->stage(), PracticeFlow::Choose);
        // Never scored 4: all of them are "missed" now.
        QCOMPARE(m_store->missedSituations().size(), chapter.size());
    }

    void mockTotalIsTheSumOfItsScores()
    {
        playFast();
        // Press as soon as each situation's window opens, so scores vary.
        connect(m_content->playerManager(), &PlayerManager::notifyPositionChanged, m_window, [this](qint64 position) {
            Exercise *now = m_window->currentSituation();
            if (now && m_window->flow()->stage() == PracticeFlow::Attempt && !m_window->flow()->flagPlaced()
                && position >= m_content->countDownDuration() + now->dangerStart() + (now->id() % 3) * 1000)
                QTest::keyClick(m_window, Qt::Key_Space);
        });
        const QList<Exercise *> drawn = m_content->drawMock();
        QCOMPARE(drawn.size(), 10);
        QList<int> perChapter = {0, 0, 0, 0, 0, 0};
        for (const Exercise *one : drawn)
            ++perChapter[m_content->chapterOf(one)];
        QCOMPARE(perChapter, (QList<int>{2, 1, 2, 1, 2, 2}));
        m_window->startRun(PracticeWindow::RunMock, drawn);
        QVERIFY(walkRun(drawn.size()));
        QCOMPARE(m_window->flow()->stage(), PracticeFlow::MockResult);
        int sum = 0;
        for (const PracticeWindow::Played &one : m_window->played())
            sum += one.score;
        QCOMPARE(m_window->played().size(), 10);
        QVERIFY(sum > 0);
        const QList<ProgressStore::MockTotal> totals = m_store->mockTotals();
        QCOMPARE(totals.size(), 1);
        QCOMPARE(totals.at(0).total, sum);
        QCOMPARE(totals.at(0).situations, 10);
        auto *table = m_window->findChild<QTableWidget *>(QStringLiteral("resultTable"));
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 10);
        auto *total = m_window->findChild<QLabel *>(QStringLiteral("resultTotal"));
        QVERIFY(total->text().contains(QStringLiteral("%1/50").arg(sum)));
        // The sheet holds the same total; its layout is tst_practicesheet's.
        const QString pdf = m_dir.filePath(QStringLiteral("mock.pdf"));
        QString why;
        QVERIFY2(m_window->saveSheet(pdf, &why), qPrintable(why));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(text.readAllStandardOutput()).contains(QStringLiteral("Tổng điểm: %1/50").arg(sum)));
        QTest::keyClick(m_window, Qt::Key_Escape);
        QCOMPARE(m_window->flow()->stage(), PracticeFlow::Choose);
        // The statistics page charts this mock examination.
        m_window->showStatistics();
        QCOMPARE(m_window->statisticsPage()->totalsSeries()->count(), 1);
        QCOMPARE(m_window->statisticsPage()->totalsSeries()->at(0).y(), qreal(sum));
    }

    void unplayableClipIsSkippedNotScored()
    {
        // A copy of the pack whose first situation's clip is damaged.
        QTemporaryDir pack;
        QVERIFY(QDir().mkpath(pack.filePath(QStringLiteral("videos"))));
        QVERIFY(QFile::copy(QStringLiteral(DEMO_PACK_DIR "/ksm.db"), pack.filePath(QStringLiteral("ksm.db"))));
        for (const QString &name : QDir(QStringLiteral(DEMO_PACK_DIR "/videos")).entryList(QDir::Files))
            QVERIFY(QFile::copy(QStringLiteral(DEMO_PACK_DIR "/videos/") + name, pack.filePath(QStringLiteral("videos/") + name)));
        Exercise *first = m_content->library()->chapters().at(0)->exercises().at(0);
        const QString broken = pack.filePath(QStringLiteral("videos/") + QFileInfo(first->filePath()).fileName());
        QFile clip(broken);
        QVERIFY(clip.open(QIODevice::WriteOnly | QIODevice::Truncate));
        clip.write(QByteArray(4096, 'x'));
        clip.close();
        QCOMPARE(m_content->load(pack.path()), PracticeContent::Loaded);
        playFast();
        Exercise *damaged = m_content->library()->chapters().at(0)->exercises().at(0);
        Exercise *sound = m_content->library()->chapters().at(0)->exercises().at(1);
        QSignalSpy finished(m_window, &PracticeWindow::runFinished);
        m_window->startRun(PracticeWindow::RunChapter, {damaged, sound});
        QTRY_VERIFY_WITH_TIMEOUT(m_window->flow()->stage() == PracticeFlow::Scored, 60000);
        QCOMPARE(m_window->skippedNotes().size(), 1);
        QVERIFY(m_window->skippedNotes().at(0).contains(damaged->number()));
        QVERIFY(m_store->attempts().isEmpty());
        QTest::keyClick(m_window, Qt::Key_Return);
        QVERIFY(walkRun(1));
        QCOMPARE(m_store->attempts().size(), 1);
        QCOMPARE(m_store->attempts().at(0).situationId, sound->id());
    }
};

QTEST_MAIN(TstPracticeWindow)
#include "tst_practicewindow.moc"
