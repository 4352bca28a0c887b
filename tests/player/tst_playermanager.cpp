#include "PlayerManager.h"
#include "PlaybackWarmUp.h"

#include "ClipFixture.h"

#include "Composer.h"
#include "Exercise.h"
#include "Library.h"

#include <QtTest>

#include <QMediaPlaylist>
#include <QTemporaryDir>

#include <memory>

#include <sys/stat.h>

namespace {

constexpr int countDownMs = 600;
constexpr int situationMs = 1000;
// One frame at 25 frames a second: how far a reported position may stray
// from the stored lengths the test composes with.
constexpr qint64 frameMs = 40;
constexpr int playTimeoutMs = 20000;

struct Report { qint64 position; int entry; };

// A composed contest over real clips: the count-down clip before every
// situation, as the composer builds it.
class Contest
{
public:
    Contest(const QString &folder, const QStringList &situations, const QString &countDownFile = QStringLiteral("count_down.mp4"))
    {
        auto *countDown = makeExercise(0, folder + QLatin1Char('/') + countDownFile, countDownMs);
        QList<int> ids;
        for (int k = 0; k < situations.size(); ++k) {
            library.addExercise(0, makeExercise(101 + k, folder + QLatin1Char('/') + situations.at(k), situationMs));
            ids.append(101 + k);
        }
        composer.setLibrary(&library);
        composer.setCountDown(countDown);
        composer.composeFromIds(ids);
    }

    qint64 entryStart(int entry) const
    {
        qint64 start = 0;
        for (int k = 0; k < entry; ++k)
            start += composer.exercises().at(k)->duration();
        return start;
    }

    QObject owner;
    Library library;
    Composer composer;

private:
    Exercise *makeExercise(int id, const QString &path, qint64 duration)
    {
        auto *exercise = new Exercise(&owner);
        exercise->setId(id);
        exercise->setFilePath(path);
        exercise->setDuration(duration);
        return exercise;
    }
};

struct stat statOf(const QString &path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

} // namespace

class TestPlayerManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void requestsFollowRecordedState_data();
    void requestsFollowRecordedState();
    void playsEveryEntryToTheEnd_data();
    void playsEveryEntryToTheEnd();
    void scratchFolderAndDecryptionOncePerRun();
    void warmUpLeavesNothingAndDisturbsNoContest_data();
    void warmUpLeavesNothingAndDisturbsNoContest();

private:
    void playContest(const QStringList &situations, const QString &countDown, const QList<int> &unplayed);

    QString video(const QString &name) const { return m_dir.filePath(QStringLiteral("videos/") + name); }

    QTemporaryDir m_dir;
    QByteArray m_plainSituation;
    std::unique_ptr<PlayerManager> m_manager;
};

void TestPlayerManager::initTestCase()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("videos")));
    const QString plainCountDown = m_dir.filePath(QStringLiteral("count_down.plain.mp4"));
    const QString plainSituation = m_dir.filePath(QStringLiteral("situation.plain.mp4"));
    QVERIFY(ClipFixture::renderClip(plainCountDown, countDownMs, QStringLiteral("smptebars")));
    QVERIFY(ClipFixture::renderClip(plainSituation, situationMs));
    m_plainSituation = TestFiles::read(plainSituation);
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("count_down.mp4")), TestFiles::read(plainCountDown)));
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("a.mp4")), m_plainSituation));
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("b.mp4")), m_plainSituation));
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("corrupt.mp4")), QByteArray(20000, 'x')));
}

void TestPlayerManager::cleanup()
{
    m_manager.reset();
}

void TestPlayerManager::requestsFollowRecordedState_data()
{
    QTest::addColumn<QMediaPlayer::State>("recorded");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("emitted");

    const auto stopped = QMediaPlayer::StoppedState, paused = QMediaPlayer::PausedState, playing = QMediaPlayer::PlayingState;
    QTest::newRow("play when stopped") << stopped << "Play" << "play";
    QTest::newRow("play when paused") << paused << "Play" << "play";
    QTest::newRow("play when playing") << playing << "Play" << "";
    QTest::newRow("pause when stopped") << stopped << "Pause" << "";
    QTest::newRow("pause when paused") << paused << "Pause" << "";
    QTest::newRow("pause when playing") << playing << "Pause" << "pause";
    QTest::newRow("stop when stopped") << stopped << "Stop" << "";
    QTest::newRow("stop when paused") << paused << "Stop" << "stop";
    QTest::newRow("stop when playing") << playing << "Stop" << "stop";
}

void TestPlayerManager::requestsFollowRecordedState()
{
    QFETCH(QMediaPlayer::State, recorded);
    QFETCH(QString, request);
    QFETCH(QString, emitted);

    // The recorded state alone decides; the player's own is not consulted.
    PlayerManager manager(m_dir.filePath(QStringLiteral("scratch")));
    manager.setState(recorded);
    QStringList heard;
    connect(&manager, &PlayerManager::play, this, [&heard] { heard << QStringLiteral("play"); });
    connect(&manager, &PlayerManager::pause, this, [&heard] { heard << QStringLiteral("pause"); });
    connect(&manager, &PlayerManager::stop, this, [&heard] { heard << QStringLiteral("stop"); });
    QVERIFY(QMetaObject::invokeMethod(&manager, qPrintable(QStringLiteral("request") + request)));
    QCOMPARE(heard, emitted.isEmpty() ? QStringList() : QStringList{emitted});
}

void TestPlayerManager::playsEveryEntryToTheEnd_data()
{
    QTest::addColumn<QStringList>("situations");
    QTest::addColumn<QString>("countDown");
    QTest::addColumn<QList<int>>("unplayed");

    const QString cd = QStringLiteral("count_down.mp4");
    QTest::newRow("all playable") << QStringList{"a.mp4", "b.mp4"} << cd << QList<int>{};
    QTest::newRow("missing first situation") << QStringList{"gone.mp4", "b.mp4"} << cd << QList<int>{1};
    QTest::newRow("missing last situation") << QStringList{"a.mp4", "gone.mp4"} << cd << QList<int>{3};
    QTest::newRow("undecodable last situation") << QStringList{"a.mp4", "corrupt.mp4"} << cd << QList<int>{3};
    // The backend's late error for it must not take the next count-down away.
    QTest::newRow("undecodable middle situation") << QStringList{"a.mp4", "corrupt.mp4", "b.mp4"} << cd << QList<int>{3};
    QTest::newRow("undecodable count-down") << QStringList{"a.mp4", "b.mp4"} << "corrupt.mp4" << QList<int>{0, 2};
    QTest::newRow("nothing playable") << QStringList{"corrupt.mp4", "gone.mp4", "corrupt.mp4"} << "corrupt.mp4"
                                      << QList<int>{0, 1, 2, 3, 4, 5};
}

void TestPlayerManager::playsEveryEntryToTheEnd()
{
    QFETCH(QStringList, situations);
    QFETCH(QString, countDown);
    QFETCH(QList<int>, unplayed);
    playContest(situations, countDown, unplayed);
}

void TestPlayerManager::playContest(const QStringList &situations, const QString &countDown, const QList<int> &unplayed)
{
    Contest contest(m_dir.filePath(QStringLiteral("videos")), situations, countDown);
    for (int k = 0; k < unplayed.size(); ++k)
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Can.t play video: ")));

    // Nothing outside tells the manager what its player does.
    m_manager = std::make_unique<PlayerManager>(m_dir.filePath(QStringLiteral("scratch")));
    PlayerManager *manager = m_manager.get();
    manager->setComposer(&contest.composer);
    QList<Report> reports;
    int ends = 0;
    int reportsAfterEnd = 0;
    connect(manager, &PlayerManager::notifyPositionChanged, this, [&, manager](qint64 position) {
        reportsAfterEnd += ends;
        reports.append({position, manager->player()->playlist()->currentIndex()});
    });
    connect(manager, &PlayerManager::notifyEndContest, this, [&ends] { ++ends; });
    manager->rebuildPlaylist();
    manager->requestPlay();

    QTRY_VERIFY_WITH_TIMEOUT(ends > 0, playTimeoutMs);
    // The player stops at the end; a second end would have come by then.
    QTRY_COMPARE(manager->player()->state(), QMediaPlayer::StoppedState);
    QCOMPARE(ends, 1);
    QCOMPARE(reportsAfterEnd, 0);
    QVERIFY(reports.last().position >= contest.composer.totalDuration() - frameMs);
    QCOMPARE(manager->unplayedEntries(), unplayed);

    const int entries = contest.composer.exercises().size();
    QVector<int> reportsPerEntry(entries);
    qint64 previous = 0;
    for (const Report &report : qAsConst(reports)) {
        // Before the first entry is loaded the player sits at 0, and the
        // contest's end is reported when the last entry could not play.
        if ((report.entry < 0 && report.position == 0) || report.position == contest.composer.totalDuration())
            continue;
        QVERIFY2(report.entry >= 0 && report.entry < entries, qPrintable(QString::number(report.entry)));
        ++reportsPerEntry[report.entry];
        // Inside entry k the timeline is the stored length of the entries
        // before it plus the offset in the entry, whatever did not play.
        QVERIFY2(report.position >= contest.entryStart(report.entry) - frameMs
                     && report.position <= contest.entryStart(report.entry + 1) + frameMs
                     && report.position >= previous - frameMs,
                 qPrintable(QStringLiteral("entry %1 at %2 after %3").arg(report.entry).arg(report.position).arg(previous)));
        previous = report.position;
    }
    for (int k = 0; k < entries; ++k)
        QVERIFY2(unplayed.contains(k) || reportsPerEntry.at(k) > 0, qPrintable(QString::number(k)));
}

void TestPlayerManager::scratchFolderAndDecryptionOncePerRun()
{
    // Leftovers of a run that ended without clean-up, in a folder others
    // could read.
    const QString scratch = m_dir.filePath(QStringLiteral("scratch"));
    QVERIFY(QDir().mkpath(scratch));
    QVERIFY(QFile::setPermissions(scratch, QFileDevice::Permissions(0x7755)));
    QVERIFY(TestFiles::write(scratch + QStringLiteral("/old.mp4"), {}));
    QVERIFY(TestFiles::write(scratch + QStringLiteral("/old.mp4.Ab12Cd"), {}));

    Contest contest(m_dir.filePath(QStringLiteral("videos")), {QStringLiteral("a.mp4")});
    m_manager = std::make_unique<PlayerManager>(scratch);
    QVERIFY(!QFileInfo::exists(scratch));
    m_manager->setComposer(&contest.composer);
    m_manager->setPlaybackRate(4.0);
    m_manager->rebuildPlaylist();

    QCOMPARE(statOf(scratch).st_mode & 07777, mode_t(0700));
    QCOMPARE(QDir(scratch).entryList(QDir::Files), QStringList({QStringLiteral("a.mp4"), QStringLiteral("count_down.mp4")}));
    QCOMPARE(TestFiles::read(scratch + QStringLiteral("/a.mp4")), m_plainSituation);
    QCOMPARE(m_manager->player()->playbackRate(), 1.0);
    QCOMPARE(m_manager->player()->playlist()->mediaCount(), 2);

    // A second contest of the run plays the copies made for the first.
    const ino_t copy = statOf(scratch + QStringLiteral("/a.mp4")).st_ino;
    m_manager->rebuildPlaylist();
    QCOMPARE(statOf(scratch + QStringLiteral("/a.mp4")).st_ino, copy);

    m_manager.reset();
    QVERIFY(!QFileInfo::exists(scratch));
}

void TestPlayerManager::warmUpLeavesNothingAndDisturbsNoContest_data()
{
    QTest::addColumn<QStringList>("clips");
    QTest::addColumn<QString>("contest");

    const QStringList playable{"count_down.mp4", "a.mp4"};
    QTest::newRow("contest after it") << playable << "after";
    // Both players at once, each on its own copies.
    QTest::newRow("contest during it") << playable << "during";
    QTest::newRow("stopped while deciphering") << playable << "stop";
    QTest::newRow("undecodable clip") << QStringList{"corrupt.mp4", "a.mp4"} << "after";
    QTest::newRow("missing clip") << QStringList{"count_down.mp4", "gone.mp4"} << "after";
}

void TestPlayerManager::warmUpLeavesNothingAndDisturbsNoContest()
{
    QFETCH(QStringList, clips);
    QFETCH(QString, contest);

    // Leftovers of a run that ended during a warm-up.
    const QString folder = m_dir.filePath(QStringLiteral("scratchw"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(TestFiles::write(folder + QStringLiteral("/0count_down.mp4"), {}));

    PlaybackWarmUp warmUp(folder);
    QSignalSpy finished(&warmUp, &PlaybackWarmUp::finished);
    QStringList paths;
    for (const QString &clip : qAsConst(clips))
        paths.append(video(clip));
    warmUp.start(paths);
    QVERIFY(warmUp.isRunning());
    QCOMPARE(statOf(folder).st_mode & 07777, mode_t(0700));
    if (contest == QLatin1String("stop"))
        warmUp.stop();
    else if (contest == QLatin1String("after"))
        QVERIFY(finished.wait(playTimeoutMs));

    playContest({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")}, QStringLiteral("count_down.mp4"), {});
    if (QTest::currentTestFailed())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, playTimeoutMs);
    QVERIFY(!warmUp.isRunning());
    QTRY_VERIFY(!QFileInfo::exists(folder));
}

QTEST_MAIN(TestPlayerManager)
#include "tst_playermanager.moc"
