#include "ClipWatch.h"
#include "Constants.h"
#include "Exercise.h"
#include "PackSituations.h"
#include "ResultDetail.h"

#include <QtTest>

class TestHazardWalk : public QObject
{
    Q_OBJECT
private slots:
    void sampleResultIsAWholeExaminationOfThePack();
    void clipWatchSeesOnlyClipsOpenForReading();
};

void TestHazardWalk::sampleResultIsAWholeExaminationOfThePack()
{
    PackSituations pack;
    QString why;
    QVERIFY2(pack.load(QStringLiteral(DEMO_PACK_DIR), &why), qPrintable(why));
    const QString text = pack.sampleResult();
    ResultDetail detail;
    QVERIFY2(ResultDetail::parse(text, &detail, &why), qPrintable(text + QLatin1Char(' ') + why));
    // What the server accepts from a station, and what a review rebuilds.
    QVERIFY2(detail.isComplete(10, &why), qPrintable(text + QLatin1Char(' ') + why));
    const QList<int> ids = detail.ids();
    QCOMPARE(QSet<int>(ids.begin(), ids.end()).size(), 10);
    // Pressed in most windows, too early in one: a result worth reviewing.
    QVERIFY2(detail.total() >= Constants::passMark && detail.total() < 50 && detail.scores().contains(0), qPrintable(text));
    // The ids name the pack's situations, found again by their files.
    for (const QString &file : QDir(QStringLiteral(DEMO_PACK_DIR "/videos")).entryList({QStringLiteral("*.mp4")})) {
        const Exercise *situation = pack.situationByFile(file);
        if (file == QLatin1String("count_down.mp4")) {
            QVERIFY(!situation);
            continue;
        }
        QVERIFY2(situation && situation->dangerEnd() > situation->dangerStart() && situation->duration() > situation->dangerEnd(),
                 qPrintable(file));
    }
}

void TestHazardWalk::clipWatchSeesOnlyClipsOpenForReading()
{
    QTemporaryDir station;
    QVERIFY(station.isValid());
    const QString scratch = QDir::cleanPath(station.path() + QLatin1Char('/') + QLatin1String(Constants::scratchFolder));
    const ClipWatch watch(QCoreApplication::applicationPid(), station.path());
    QVERIFY(watch.processRuns());
    QCOMPARE(watch.openClip(), QString());

    QVERIFY(QDir().mkpath(scratch));
    // A copy being decrypted, still open for writing under its final name.
    QFile clip(scratch + QStringLiteral("/chapter2_001.mp4"));
    QVERIFY(clip.open(QIODevice::WriteOnly));
    QCOMPARE(watch.openClip(), QString());
    clip.close();
    QVERIFY(clip.open(QIODevice::ReadOnly));
    QCOMPARE(watch.openClip(), QStringLiteral("chapter2_001.mp4"));
    clip.close();
    QCOMPARE(watch.openClip(), QString());

    QVERIFY(!ClipWatch(0x7ffffff0, station.path()).processRuns());
}

QTEST_GUILESS_MAIN(TestHazardWalk)
#include "tst_hazardwalk.moc"
