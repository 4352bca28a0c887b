#include "PlayerManager.h"

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

struct Report
{
    qint64 position;
    int entry;
};

// A composed contest over real clips: the count-down clip before every
// situation, as the composer builds it.
class Contest
{
public:
    Contest(const QString &countDownPath, const QList<QString> &situationPaths)
    {
        auto *countDown = makeExercise(0, countDownPath, countDownMs);
        QString ids;
        for (int k = 0; k < situationPaths.size(); ++k) {
            library.addExercise(0, makeExercise(101 + k, situationPaths.at(k), situationMs));
            ids += QString::number(101 + k) + QLatin1Char(';');
        }
        composer.setLibrary(&library);
        composer.setCountDown(countDown);
        composer.composeFromVideoIds(ids);
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

int permissionBits(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

ino_t inode(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class TestPlayerManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void seekPausesAndResumesFromThere();
    void requestsFollowRecordedState_data();
    void requestsFollowRecordedState();
    void pauseResumeStopRestartAndTimeline();
    void scratchFolderAndDecryptionOncePerRun();
    void unplayableEntryStillEndsContest_data();
    void unplayableEntryStillEndsContest();

private:
    QString video(const QString &name) const { return m_dir.filePath(QStringLiteral("videos/") + name); }
    void startManager(Contest &contest);
    void waitForEnd();

    QTemporaryDir m_dir;
    QByteArray m_plainSituation;
    std::unique_ptr<PlayerManager> m_manager;
    QList<Report> m_reports;
    int m_ends = 0;
    // Position reports after the end of the contest.
    int m_reportsAfterEnd = 0;
};

void TestPlayerManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("videos")));
    const QString plainCountDown = m_dir.filePath(QStringLiteral("count_down.plain.mp4"));
    const QString plainSituation = m_dir.filePath(QStringLiteral("situation.plain.mp4"));
    QVERIFY(ClipFixture::renderClip(plainCountDown, countDownMs, QStringLiteral("smptebars")));
    QVERIFY(ClipFixture::renderClip(plainSituation, situationMs));
    m_plainSituation = TestFiles::read(plainSituation);
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("count_down.mp4")), TestFiles::read(plainCountDown)));
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("a.mp4")), m_plainSituation));
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("b.mp4")), m_plainSituation));
    QByteArray garbage(20000, 'x');
    QVERIFY(ClipFixture::writeEnciphered(video(QStringLiteral("corrupt.mp4")), garbage));
}

void TestPlayerManager::init()
{
    m_reports.clear();
    m_ends = 0;
    m_reportsAfterEnd = 0;
}

void TestPlayerManager::cleanup()
{
    m_manager.reset();
}

// As the main window does: the recorded state follows the player's.
void TestPlayerManager::startManager(Contest &contest)
{
    m_manager = std::make_unique<PlayerManager>(m_dir.filePath(QStringLiteral("scratch")));
    PlayerManager *manager = m_manager.get();
    manager->setComposer(&contest.composer);
    connect(manager->player(), &QMediaPlayer::stateChanged, manager, &PlayerManager::setState);
    connect(manager, &PlayerManager::notifyPositionChanged, this, [this, manager](qint64 position) {
        if (m_ends > 0)
            ++m_reportsAfterEnd;
        m_reports.append({position, manager->player()->playlist()->currentIndex()});
    });
    connect(manager, &PlayerManager::notifyEndContest, this, [this] { ++m_ends; });
    manager->rebuildPlaylist();
}

void TestPlayerManager::waitForEnd()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_ends > 0, playTimeoutMs);
    // The player stops at the end; a second end would have come by then.
    QTRY_COMPARE(m_manager->player()->state(), QMediaPlayer::StoppedState);
    QCOMPARE(m_ends, 1);
    QCOMPARE(m_reportsAfterEnd, 0);
}

void TestPlayerManager::seekPausesAndResumesFromThere()
{
    Contest contest(video(QStringLiteral("count_down.mp4")), {video(QStringLiteral("a.mp4")), video(QStringLiteral("b.mp4"))});
    startManager(contest);
    QSignalSpy seeks(m_manager.get(), &PlayerManager::notifySeekByGui);
    m_manager->requestPlay();
    QTRY_VERIFY_WITH_TIMEOUT(!m_reports.isEmpty() && m_reports.last().position > countDownMs + 100, playTimeoutMs);

    // Entry 3 is the second situation; 300 ms into it is 2300 on the timeline.
    SeekInfo info;
    info.exerciseIndex = 3;
    info.positionInVideo = 300;
    info.videoStart = contest.entryStart(3);
    m_manager->seekTo(info);
    QCOMPARE(seeks.count(), 1);
    QTRY_COMPARE(m_manager->player()->state(), QMediaPlayer::PausedState);
    QTRY_VERIFY(qAbs(m_manager->player()->position() - 300) <= frameMs);
    QCOMPARE(m_manager->player()->playlist()->currentIndex(), 3);

    m_reports.clear();
    m_manager->requestPlay();
    waitForEnd();
    QVERIFY(!m_reports.isEmpty());
    const qint64 target = info.videoStart + info.positionInVideo;
    QVERIFY2(qAbs(m_reports.first().position - target) <= 100, qPrintable(QString::number(m_reports.first().position)));
    for (const Report &report : qAsConst(m_reports))
        QVERIFY(report.position >= target - frameMs && report.position <= contest.composer.totalDuration() + frameMs);
}

void TestPlayerManager::requestsFollowRecordedState_data()
{
    QTest::addColumn<QMediaPlayer::State>("recorded");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("emitted");

    const auto stopped = QMediaPlayer::StoppedState;
    const auto paused = QMediaPlayer::PausedState;
    const auto playing = QMediaPlayer::PlayingState;
    QTest::newRow("play when stopped") << stopped << "play" << "play";
    QTest::newRow("play when paused") << paused << "play" << "play";
    QTest::newRow("play when playing") << playing << "play" << "";
    QTest::newRow("pause when stopped") << stopped << "pause" << "";
    QTest::newRow("pause when paused") << paused << "pause" << "";
    QTest::newRow("pause when playing") << playing << "pause" << "pause";
    QTest::newRow("stop when stopped") << stopped << "stop" << "";
    QTest::newRow("stop when paused") << paused << "stop" << "stop";
    QTest::newRow("stop when playing") << playing << "stop" << "stop";
}

void TestPlayerManager::requestsFollowRecordedState()
{
    QFETCH(QMediaPlayer::State, recorded);
    QFETCH(QString, request);
    QFETCH(QString, emitted);

    // The recorded state alone decides; the player's own is not consulted.
    PlayerManager manager(m_dir.filePath(QStringLiteral("scratch")));
    manager.setState(recorded);
    QCOMPARE(manager.state(), recorded);
    QCOMPARE(manager.isPlaying(), recorded == QMediaPlayer::PlayingState);
    QStringList heard;
    connect(&manager, &PlayerManager::play, this, [&heard] { heard << QStringLiteral("play"); });
    connect(&manager, &PlayerManager::pause, this, [&heard] { heard << QStringLiteral("pause"); });
    connect(&manager, &PlayerManager::stop, this, [&heard] { heard << QStringLiteral("stop"); });

    if (request == QLatin1String("play"))
        manager.requestPlay();
    else if (request == QLatin1String("pause"))
        manager.requestPause();
    else
        manager.requestStop();
    QCOMPARE(heard, emitted.isEmpty() ? QStringList() : QStringList{emitted});
}

void TestPlayerManager::pauseResumeStopRestartAndTimeline()
{
    Contest contest(video(QStringLiteral("count_down.mp4")), {video(QStringLiteral("a.mp4")), video(QStringLiteral("b.mp4"))});
    startManager(contest);
    m_manager->requestPlay();
    const qint64 secondCountDown = contest.entryStart(2);
    QTRY_VERIFY_WITH_TIMEOUT(!m_reports.isEmpty() && m_reports.last().position > secondCountDown + 100, playTimeoutMs);

    m_manager->requestPause();
    QTRY_COMPARE(m_manager->player()->state(), QMediaPlayer::PausedState);
    const qint64 pausedAt = m_reports.last().position;
    m_reports.clear();

    // Resuming keeps the timeline where it was.
    m_manager->requestPlay();
    QTRY_VERIFY(!m_reports.isEmpty());
    QVERIFY2(m_reports.first().position >= pausedAt - frameMs, qPrintable(QString::number(m_reports.first().position)));

    m_manager->requestStop();
    QTRY_COMPARE(m_manager->player()->state(), QMediaPlayer::StoppedState);
    m_reports.clear();

    // Playing from stopped starts the contest again at 0.
    m_manager->requestPlay();
    QTRY_VERIFY(!m_reports.isEmpty() && m_reports.last().entry >= 0);
    for (const Report &report : qAsConst(m_reports)) {
        QVERIFY2(report.position < countDownMs, qPrintable(QString::number(report.position)));
        QVERIFY(report.entry <= 0);
    }
    waitForEnd();

    const int entries = contest.composer.exercises().size();
    QVector<int> reportsPerEntry(entries);
    qint64 previous = 0;
    for (const Report &report : qAsConst(m_reports)) {
        // Before the first entry is loaded the player sits at 0.
        if (report.entry < 0 && report.position == 0)
            continue;
        QVERIFY2(report.entry >= 0 && report.entry < entries, qPrintable(QString::number(report.entry)));
        ++reportsPerEntry[report.entry];
        // Inside entry k the timeline is the length of the entries before
        // it plus the offset in the entry.
        const qint64 start = contest.entryStart(report.entry);
        const qint64 end = contest.entryStart(report.entry + 1);
        QVERIFY2(report.position >= start - frameMs && report.position <= end + frameMs,
                 qPrintable(QStringLiteral("entry %1 at %2").arg(report.entry).arg(report.position)));
        QVERIFY2(report.position >= previous - frameMs,
                 qPrintable(QStringLiteral("%1 after %2").arg(report.position).arg(previous)));
        previous = report.position;
    }
    for (int k = 0; k < entries; ++k)
        QVERIFY2(reportsPerEntry.at(k) > 0, qPrintable(QString::number(k)));
    QVERIFY(m_reports.last().position >= contest.composer.totalDuration() - frameMs);
}

void TestPlayerManager::scratchFolderAndDecryptionOncePerRun()
{
    // Leftovers of a run that ended without clean-up, in a folder others
    // could read.
    const QString scratch = m_dir.filePath(QStringLiteral("scratch"));
    QVERIFY(QDir().mkpath(scratch));
    QVERIFY(QFile::setPermissions(scratch, QFileDevice::Permissions(0x7755)));
    for (const QString &name : {QStringLiteral("old.mp4"), QStringLiteral("old.mp4.Ab12Cd")}) {
        QFile leftover(scratch + QLatin1Char('/') + name);
        QVERIFY(leftover.open(QIODevice::WriteOnly));
    }

    // Sources of its own: one is removed during the test.
    const QString sources = m_dir.filePath(QStringLiteral("own"));
    QVERIFY(QDir().mkpath(sources));
    for (const QString &name : {QStringLiteral("count_down.mp4"), QStringLiteral("a.mp4")})
        QVERIFY(QFile::copy(video(name), sources + QLatin1Char('/') + name));
    Contest contest(sources + QStringLiteral("/count_down.mp4"), {sources + QStringLiteral("/a.mp4")});

    m_manager = std::make_unique<PlayerManager>(scratch);
    QVERIFY(!QFileInfo::exists(scratch));
    m_manager->setComposer(&contest.composer);
    m_manager->setPlaybackRate(4.0);
    m_manager->rebuildPlaylist();

    QCOMPARE(permissionBits(scratch), 0700);
    QCOMPARE(QDir(scratch).entryList(QDir::Files), QStringList({QStringLiteral("a.mp4"), QStringLiteral("count_down.mp4")}));
    QCOMPARE(TestFiles::read(scratch + QStringLiteral("/a.mp4")), m_plainSituation);
    QCOMPARE(m_manager->player()->playbackRate(), 1.0);
    QCOMPARE(m_manager->player()->playlist()->mediaCount(), 2);

    // A second contest of the run plays the copies made for the first.
    const ino_t copy = inode(scratch + QStringLiteral("/a.mp4"));
    QVERIFY(QFile::remove(sources + QStringLiteral("/a.mp4")));
    m_manager->setPlaybackRate(4.0);
    m_manager->rebuildPlaylist();
    QCOMPARE(inode(scratch + QStringLiteral("/a.mp4")), copy);
    QCOMPARE(TestFiles::read(scratch + QStringLiteral("/a.mp4")), m_plainSituation);
    QCOMPARE(m_manager->player()->playbackRate(), 1.0);

    m_manager.reset();
    QVERIFY(!QFileInfo::exists(scratch));
}

void TestPlayerManager::unplayableEntryStillEndsContest_data()
{
    QTest::addColumn<QStringList>("situations");
    QTest::addColumn<QString>("unplayable");

    QTest::newRow("missing first situation") << QStringList{QStringLiteral("gone.mp4"), QStringLiteral("b.mp4")}
                                             << QStringLiteral("gone.mp4");
    QTest::newRow("missing last situation") << QStringList{QStringLiteral("a.mp4"), QStringLiteral("gone.mp4")}
                                            << QStringLiteral("gone.mp4");
    QTest::newRow("undecodable last situation")
        << QStringList{QStringLiteral("a.mp4"), QStringLiteral("corrupt.mp4")} << QStringLiteral("corrupt.mp4");
}

void TestPlayerManager::unplayableEntryStillEndsContest()
{
    QFETCH(QStringList, situations);
    QFETCH(QString, unplayable);

    QList<QString> paths;
    for (const QString &name : qAsConst(situations))
        paths.append(video(name));
    Contest contest(video(QStringLiteral("count_down.mp4")), paths);
    const QString copy = QFileInfo(m_dir.filePath(QStringLiteral("scratch/") + unplayable)).absoluteFilePath();
    QTest::ignoreMessage(QtInfoMsg, qPrintable(QStringLiteral("Can't play video: ") + copy));
    startManager(contest);
    m_manager->requestPlay();
    waitForEnd();
    QVERIFY(m_reports.last().position >= contest.composer.totalDuration() - frameMs);
}

QTEST_MAIN(TestPlayerManager)
#include "tst_playermanager.moc"
