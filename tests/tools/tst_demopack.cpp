#include "Chapter.h"
#include "Composer.h"
#include "Constants.h"
#include "Exercise.h"
#include "Library.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

// The bundled pack must open with the values this build compiled in, or a
// plain build of the station would refuse its own demo content.
class TestDemoPack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stationLoadsTheBundledPack();
    void toolVerifiesTheBundledPack();
};

void TestDemoPack::initTestCase()
{
    if (Constants::dbDigest() == QLatin1String("00000000000000000000000000000000"))
        QSKIP("this build folder was configured before the demo pack existed; reconfigure it "
              "with the values demo/make-pack.sh prints");
}

void TestDemoPack::stationLoadsTheBundledPack()
{
    const QDir pack(QStringLiteral(DEMO_PACK_DIR));
    SqliteConnection connection;
    connection.setDatabasePath(pack.filePath(QStringLiteral("ksm.db")));
    QVERIFY2(connection.openDatabase(),
             "the demo pack does not match HAZARD_DB_DIGEST/HAZARD_DB_PASSWORD of this build");
    Library library;
    Composer composer;
    connection.loadChapterExercises(&library);
    connection.loadCountDownExercise(&composer);

    const QList<int> structure = Constants::contestStructure();
    for (int chapter = 0; chapter < Constants::chapterCount; ++chapter) {
        const QList<Exercise *> exercises = library.exercisesOfChapter(chapter);
        QVERIFY(exercises.size() >= structure.at(chapter));
        for (const Exercise *exercise : exercises) {
            QVERIFY(QFileInfo(pack.filePath(exercise->filePath())).isFile());
            QVERIFY(exercise->dangerStart() < exercise->dangerEnd());
            QVERIFY(exercise->dangerEnd() <= exercise->duration());
        }
    }
    QVERIFY(composer.countDown());
    QVERIFY(QFileInfo(pack.filePath(composer.countDown()->filePath())).isFile());
}

void TestDemoPack::toolVerifiesTheBundledPack()
{
    QProcess tool;
    tool.start(QStringLiteral(HAZARD_CONTENT_PROGRAM),
               {QStringLiteral("verify"), QStringLiteral(DEMO_PACK_DIR)});
    QVERIFY(tool.waitForFinished(240000));
    const QString output = QString::fromUtf8(tool.readAllStandardOutput());
    if (output.contains(QLatin1String("ffprobe is not installed")))
        QSKIP("ffprobe is needed to check the videos");
    QVERIFY2(tool.exitCode() == 0, qPrintable(output));
}

QTEST_GUILESS_MAIN(TestDemoPack)
#include "tst_demopack.moc"
