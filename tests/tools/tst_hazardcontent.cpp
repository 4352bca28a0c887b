#include "Composer.h"
#include "Constants.h"
#include "Exercise.h"
#include "Library.h"
#include "Rc4Cipher.h"
#include "SqliteConnection.h"
#include "TestFiles.h"

#include <QtTest>

namespace {

const char salt[] = "0a1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3d4e5f60718293a4b5c";
const char password[] = "ffeeddccbbaa99887766554433221100aabbcc";
const char videoKey[] = "00112233445566778899aabbccddeeff";

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(HAZARD_CONTENT_PROGRAM), arguments);
    Run run;
    if (process.waitForFinished(240000))
        run = {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    return run;
}

Run runBuild(const QString &manifest, const QString &out, const QStringList &options = {})
{
    return runTool(QStringList{QStringLiteral("build")} + options
                   + QStringList{"--salt", salt, "--password", password, "--video-key", videoKey, manifest, out});
}

// The digest a station checks: md5(salt + ksm.db) over the file as written.
QString saltedDigest(const QByteArray &database)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray(salt) + database, QCryptographicHash::Md5).toHex());
}

Run runVerify(const QString &saltText, const QString &digest, const QString &pass, const QString &key,
              const QString &pack)
{
    return runTool({"verify", "--salt", saltText, "--digest", digest, "--password", pass, "--video-key", key, pack});
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

// The structure needs 2, 1, 2, 1, 2, 2 situations from chapters 1 to 6.
// Line 1 of the manifest is the header, so goodLines().at(i) is line i + 2.
// The count-down clip has no window: the times given are ignored. A given
// length within rounding of the measured one (the last line) is kept.
QStringList goodLines()
{
    return {"count.mp4,0,,200,400", "clip.mp4,1,1,500,1500", "clip.mp4,1,2,00:00:30,00:01:30", "clip.mp4,2,1,1001,1900",
            "clip.mp4,3,1,200,1000", "clip.mp4,3,2,200,1000", "clip.mp4,4,1,200,1000", "clip.mp4,5,1,200,1000",
            "clip.mp4,5,2,200,1000,40", "clip.mp4,6,1,200,1000", "clip.mp4,6,2,200,1000,,2200"};
}

QString secretValue(const QString &output, const QString &name)
{
    return QRegularExpression(QStringLiteral("^%1=([0-9a-f]+)$").arg(name), QRegularExpression::MultilineOption).match(output).captured(1);
}

} // namespace

class TestHazardContent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buildWritesWhatTheStationLoads();
    void verifyFindsFaults_data();
    void verifyFindsFaults();
    void badInputRefused_data();
    void badInputRefused();
    void existingFolderReplacedOnlyWhenAPack();
    void generatedSecretsAreFreshAndWellFormed();
    void bundledPackVerifies();

private:
    QString writeManifest(const QStringList &lines);
    QStringList leftovers(const QString &outName) const
    {
        return QDir(m_dir.path()).entryList({'.' + outName + '*'}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
    QString m_pack;
    Run m_build;
    int m_manifests = 0;
};

void TestHazardContent::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
        QSKIP("ffmpeg and ffprobe are needed to make and measure test clips");
    QVERIFY(m_dir.isValid());

    // Noise keeps the clip above 1 MiB, so its plain tail is exercised too.
    const QList<QStringList> clips = {{"clip.mp4", "2", "noise=alls=40:allf=t+u"}, {"count.mp4", "1", "null"}};
    for (const QStringList &clip : clips) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     QStringLiteral("-v error -y -f lavfi -i testsrc=size=320x180:rate=25:duration=%1 -vf %2 "
                                    "-c:v libx264 -preset ultrafast -qp 20 -pix_fmt yuv420p -an")
                             .arg(clip.at(1), clip.at(2)).split(' ')
                         << m_dir.filePath(clip.at(0)));
        QVERIFY(ffmpeg.waitForFinished(120000));
        QCOMPARE(ffmpeg.exitCode(), 0);
    }
    QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("clip.mp4"))).size() > 1048576);
    QVERIFY(TestFiles::write(m_dir.filePath(QStringLiteral("notvideo.mp4")), "this is not a video\n"));

    m_pack = m_dir.filePath(QStringLiteral("pack"));
    m_build = runBuild(writeManifest(goodLines()), m_pack);
    QVERIFY2(m_build.exitCode == 0, qPrintable(m_build.err));
}

QString TestHazardContent::writeManifest(const QStringList &lines)
{
    const QString path = m_dir.filePath(QStringLiteral("manifest-%1.csv").arg(++m_manifests));
    TestFiles::write(path, "file,chapter,th,danger_start,danger_end\n" + lines.join('\n').toUtf8() + '\n');
    return path;
}

void TestHazardContent::buildWritesWhatTheStationLoads()
{
    const QByteArray database = TestFiles::read(m_pack + QStringLiteral("/ksm.db"));
    const QString digest = saltedDigest(database);
    QCOMPARE(secretValue(m_build.out, QStringLiteral("HAZARD_DB_DIGEST")), digest);
    QCOMPARE(secretValue(m_build.out, QStringLiteral("HAZARD_DB_SALT")) + secretValue(m_build.out, QStringLiteral("HAZARD_DB_PASSWORD"))
                 + secretValue(m_build.out, QStringLiteral("HAZARD_VIDEO_KEY")),
             QLatin1String(salt) + QLatin1String(password) + QLatin1String(videoKey));
    QVERIFY2(m_build.out.contains(QStringLiteral(
                 "manifest line 5 (clip.mp4): danger start 1001 ms stored as 00:01:01, which the "
                 "station reads as 1016 ms")),
             qPrintable(m_build.out));
    QVERIFY2(m_build.out.contains(QLatin1String("manifest line 2 (count.mp4): the count-down clip has no "
                                                "danger window; the times given are ignored")),
             qPrintable(m_build.out));

    SqliteConnection connection;
    connection.setDatabasePath(m_pack + QStringLiteral("/ksm.db"));
    connection.setSecrets(QLatin1String(salt), digest, QLatin1String(password));
    QVERIFY(connection.openDatabase());
    Library library;
    Composer composer;
    connection.loadChapterExercises(&library);
    connection.loadCountDownExercise(&composer);
    const QList<int> sizes = {2, 1, 2, 1, 2, 2};
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(library.exercisesOfChapter(i).size(), sizes.at(i));
    auto describe = [](const Exercise *e) {
        return e ? QStringLiteral("%1 %2 ms, %3-%4, #%5, id %6").arg(e->filePath()).arg(e->duration())
                       .arg(e->dangerStart()).arg(e->dangerEnd()).arg(e->number()).arg(e->id())
                 : QString();
    };
    // Ids not given are numbered in contest order, skipping those taken.
    const QStringList loaded{describe(library.exerciseAt(0, 0)), describe(library.exerciseAt(0, 1)),
                             describe(library.exerciseAt(1, 0)), describe(library.exerciseAt(4, 1)),
                             describe(library.exerciseAt(5, 1)), describe(composer.countDown())};
    QCOMPARE(loaded, (QStringList{"./videos/chapter1_001.mp4 2000 ms, 500-1500, #1, id 1",
                                  "./videos/chapter1_002.mp4 2000 ms, 500-1500, #2, id 2",
                                  "./videos/chapter2_001.mp4 2000 ms, 1016-1900, #1, id 3",
                                  "./videos/chapter5_002.mp4 2000 ms, 200-1000, #2, id 40",
                                  "./videos/chapter6_002.mp4 2200 ms, 200-1000, #2, id 9",
                                  "./videos/count_down.mp4 1000 ms, 0-0, #, id 0"}));
    QVERIFY(leftovers(QStringLiteral("pack")).isEmpty());

    // Videos are enciphered in their first mebibyte only.
    const QByteArray plain = TestFiles::read(m_dir.filePath(QStringLiteral("clip.mp4")));
    const QByteArray stored = TestFiles::read(m_pack + QStringLiteral("/videos/chapter3_002.mp4"));
    const int prefix = 1048576;
    QCOMPARE(stored.size(), plain.size());
    QVERIFY(stored.left(prefix) != plain.left(prefix));
    QCOMPARE(stored.mid(prefix), plain.mid(prefix));
    QByteArray deciphered = stored.left(prefix);
    Rc4Cipher(QByteArray::fromHex(videoKey)).decrypt(deciphered.constData(), deciphered.data(), deciphered.size());
    QCOMPARE(deciphered, plain.left(prefix));
}

void TestHazardContent::verifyFindsFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("finding");
    QTest::newRow("the pack as built") << QString() << QStringLiteral("ok: 11 video(s) checked");
    QTest::newRow("changed byte") << QStringLiteral("byte") << QStringLiteral("FAIL: digest of salt + ksm.db");
    QTest::newRow("missing video") << QStringLiteral("video") << QStringLiteral("FAIL: situation id 4 (chapter3_001.mp4): video file missing");
    QTest::newRow("wrong video key") << QStringLiteral("key") << QStringLiteral("does not decode as video with the video key");
    QTest::newRow("wrong password") << QStringLiteral("password") << QStringLiteral("FAIL: the database does not open with the password");
}

void TestHazardContent::verifyFindsFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, finding);
    QTemporaryDir copy;
    QVERIFY(copyTree(m_pack, copy.path()));
    if (fault == QLatin1String("byte")) {
        QByteArray database = TestFiles::read(copy.filePath(QStringLiteral("ksm.db")));
        database[3000] = char(database.at(3000) ^ 0x40);
        QVERIFY(TestFiles::write(copy.filePath(QStringLiteral("ksm.db")), database));
    } else if (fault == QLatin1String("video")) {
        QVERIFY(QFile::remove(copy.filePath(QStringLiteral("videos/chapter3_001.mp4"))));
    }
    const Run run = runVerify(QLatin1String(salt), secretValue(m_build.out, QStringLiteral("HAZARD_DB_DIGEST")),
                              fault == QLatin1String("password") ? QStringLiteral("000000000000000000000000000000000000aa") : password,
                              fault == QLatin1String("key") ? QStringLiteral("ffeeddccbbaa99887766554433221100") : videoKey,
                              copy.path());
    QCOMPARE(run.exitCode, fault.isEmpty() ? 0 : 1);
    QCOMPARE(run.out.contains(QLatin1String("FAIL")), !fault.isEmpty());
    QVERIFY2(run.out.contains(finding), qPrintable(run.out));
}

void TestHazardContent::badInputRefused_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");
    auto with = [](int index, const QString &line) {
        QStringList lines = goodLines();
        if (line.isEmpty())
            lines.removeAt(index);
        else
            lines[index] = line;
        return lines;
    };
    QTest::newRow("missing file") << with(2, "ghost.mp4,1,2,500,1500") << "manifest line 4 (ghost.mp4): file ";
    QTest::newRow("unreadable video") << with(3, "notvideo.mp4,2,1,500,1500") << "manifest line 5 (notvideo.mp4): not a readable video";
    QTest::newRow("bad time code") << with(4, "clip.mp4,3,1,00:61:00,00:62:00") << "manifest line 6 (clip.mp4): bad time code \"00:61:00\"";
    QTest::newRow("window beyond the video") << with(5, "clip.mp4,3,2,1500,2500")
        << "manifest line 7 (clip.mp4): the danger window 1500-2500 ms lies outside the video (2000 ms long)";
    QTest::newRow("window backwards") << with(5, "clip.mp4,3,2,1500,900")
        << "manifest line 7 (clip.mp4): the danger window 1500-900 ms does not start before it ends";
    QTest::newRow("chapter 7") << with(7, "clip.mp4,7,1,200,1000") << "manifest line 9 (clip.mp4): chapter 7 is outside 1 to 6";
    QTest::newRow("duplicate ids") << with(9, "clip.mp4,6,1,200,1000,40")
        << "manifest line 11 (clip.mp4): duplicate id 40, already used by manifest line 10";
    QTest::newRow("same place twice") << with(9, "clip.mp4,6,2,200,1000") << "chapter 6 th 2 is already taken by manifest line 11";
    QTest::newRow("too few situations") << with(6, QString()) << "chapter 4 has 0 situation(s); an examination draws 1 from it";
    QTest::newRow("no count-down clip") << with(0, QString()) << "the manifest has no count-down clip";
    // More than rounding: a pack built with it would fail its own verify.
    QTest::newRow("given duration a little off") << with(10, "clip.mp4,6,2,200,1000,,2600")
        << "manifest line 12 (clip.mp4): given duration 2600 ms does not match the video's 2000 ms";
    QTest::newRow("not a number") << with(1, "clip.mp4,one,1,500,1500") << "manifest line 3: chapter \"one\" is not a number";
}

void TestHazardContent::badInputRefused()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    const QString outName = QStringLiteral("refused-%1").arg(m_manifests);
    const QString out = m_dir.filePath(outName);
    const Run run = runBuild(writeManifest(lines), out);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.indexOf(QLatin1String("HAZARD_")) < 0);
    QVERIFY(!QFileInfo::exists(out));
    QVERIFY(leftovers(outName).isEmpty());
}

void TestHazardContent::existingFolderReplacedOnlyWhenAPack()
{
    const QString out = m_dir.filePath(QStringLiteral("occupied"));
    QVERIFY(QDir().mkpath(out));
    QVERIFY(TestFiles::write(out + QStringLiteral("/keep.txt"), "mine"));
    const QString manifest = writeManifest(goodLines());
    Run run = runBuild(manifest, out);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("pass --replace")), qPrintable(run.err));
    // Not even --replace touches a folder that holds no pack.
    run = runBuild(manifest, out, {QStringLiteral("--replace")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("not a content pack")), qPrintable(run.err));
    QCOMPARE(TestFiles::read(out + QStringLiteral("/keep.txt")), QByteArray("mine"));
    QVERIFY(leftovers(QStringLiteral("occupied")).isEmpty());

    const QString replaced = m_dir.filePath(QStringLiteral("replaced"));
    QVERIFY(copyTree(m_pack, replaced));
    QVERIFY(TestFiles::write(replaced + QStringLiteral("/videos/stale.mp4"), ""));
    run = runBuild(manifest, replaced, {QStringLiteral("--replace")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(replaced + QStringLiteral("/videos/stale.mp4")));
    QCOMPARE(secretValue(run.out, QStringLiteral("HAZARD_DB_DIGEST")),
             saltedDigest(TestFiles::read(replaced + QStringLiteral("/ksm.db"))));
    QVERIFY(leftovers(QStringLiteral("replaced")).isEmpty());
}

void TestHazardContent::generatedSecretsAreFreshAndWellFormed()
{
    const QString manifest = writeManifest(goodLines());
    const QString given(57, QLatin1Char('e'));
    const QString fresh = m_dir.filePath(QStringLiteral("fresh-1"));
    const Run first = runTool({QStringLiteral("build"), manifest, fresh});
    const Run second = runTool({"build", "--auth-secret", given, manifest, m_dir.filePath(QStringLiteral("fresh-2"))});
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(second.exitCode, 0);
    const QStringList names = {"HAZARD_DB_SALT", "HAZARD_DB_DIGEST", "HAZARD_DB_PASSWORD", "HAZARD_VIDEO_KEY"};
    const QList<int> sizes = {57, 32, 38, 32};
    QStringList values;
    for (int i = 0; i < names.size(); ++i) {
        values << secretValue(first.out, names.at(i));
        QCOMPARE(values.last().size(), sizes.at(i));
        QCOMPARE(secretValue(second.out, names.at(i)).size(), sizes.at(i));
        QVERIFY2(values.last() != secretValue(second.out, names.at(i)), qPrintable(names.at(i)));
    }
    const Run verify = runVerify(values.at(0), values.at(1), values.at(2), values.at(3), fresh);
    QVERIFY2(verify.exitCode == 0, qPrintable(verify.out));
    // The authentication secret pairs a station with its server: unless
    // one is given, the build's own, never invented.
    QCOMPARE(secretValue(first.out, QStringLiteral("HAZARD_AUTH_SECRET")), Constants::authSecret());
    QCOMPARE(secretValue(second.out, QStringLiteral("HAZARD_AUTH_SECRET")), given);

    const Run bad = runTool({"build", "--auth-secret", "ABC", manifest, m_dir.filePath(QStringLiteral("auth-3"))});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.contains(QStringLiteral("authentication secret")), qPrintable(bad.err));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("auth-3"))));
}

// The pack shipped with the sources must pass the tool's own checks with the
// values this build compiled in (the station's view is tst_businesscontroller's).
void TestHazardContent::bundledPackVerifies()
{
    if (Constants::dbDigest() == QLatin1String("00000000000000000000000000000000"))
        QSKIP("this build folder was configured before the demo pack existed; reconfigure it");
    const Run run = runTool({QStringLiteral("verify"), QStringLiteral(DEMO_PACK_DIR)});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
}

QTEST_GUILESS_MAIN(TestHazardContent)
#include "tst_hazardcontent.moc"
