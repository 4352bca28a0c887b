#include "Chapter.h"
#include "Composer.h"
#include "Exercise.h"
#include "Library.h"
#include "SqlCipherDriver.h"
#include "SqliteConnection.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char salt[] = "5f1b0c9d3e2a7f6b8c4d0e1f2a3b4c5d6e7f8091a2b3c4d5e6f708192";
const char password[] = "a1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3";

struct Row
{
    int id;
    QString name;
    int chapter;
    int number;
    int duration;
    QString start;
    QString end;
    int th;
};

// The reference digest, over the whole file in memory: what the streamed
// check must agree with.
QString wholeFileDigest(const QString &path, const QByteArray &saltBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(
        QCryptographicHash::hash(saltBytes + file.readAll(), QCryptographicHash::Md5).toHex());
}

QList<int> idsOf(const QList<Exercise *> &exercises)
{
    QList<int> ids;
    for (const Exercise *exercise : exercises)
        ids << exercise->id();
    return ids;
}

} // namespace

class TestSqliteConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultsAreBuiltIn();
    void streamedDigestMatchesWholeFile();
    void loadsChaptersInChapterThOrder();
    void dangerTimeCodes_data();
    void dangerTimeCodes();
    void lastCountDownRowWins();
    void rowsOutsideChaptersSkipped();
    void nameMatchingFollowsLike();
    void oneChangedByteFailsDigestWithoutDriver();
    void wrongPasswordFails();
    void missingFileFails();
    void emptyTableLeavesChaptersEmpty();
    void openedReadOnly();
    void loadsDatabaseWrittenBySqlcipherProgram();

private:
    QString writeDatabase(const QString &fileName, const QList<Row> &rows);
    bool openConnection(SqliteConnection &connection, const QString &path,
                        const QString &key = QLatin1String(password));

    QTemporaryDir m_dir;
};

void TestSqliteConnection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SqlCipherDriver::registerDriver();
}

QString TestSqliteConnection::writeDatabase(const QString &fileName, const QList<Row> &rows)
{
    const QString path = m_dir.filePath(fileName);
    QFile::remove(path);
    const QString name = QStringLiteral("writer");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName), name);
        db.setDatabaseName(path);
        db.setPassword(QLatin1String(password));
        ok = db.open();
        QSqlQuery query(db);
        ok = ok && query.exec(QStringLiteral(
            "create table video (id integer primary key, name text, chapter integer, "
            "number integer, duration integer, danger_start text, danger_end text, th integer)"));
        ok = ok && query.prepare(QStringLiteral(
            "insert into video values (:id, :name, :chapter, :number, :duration, :start, :end, :th)"));
        for (const Row &row : rows) {
            query.bindValue(QStringLiteral(":id"), row.id);
            query.bindValue(QStringLiteral(":name"), row.name);
            query.bindValue(QStringLiteral(":chapter"), row.chapter);
            query.bindValue(QStringLiteral(":number"), row.number);
            query.bindValue(QStringLiteral(":duration"), row.duration);
            query.bindValue(QStringLiteral(":start"), row.start);
            query.bindValue(QStringLiteral(":end"), row.end);
            query.bindValue(QStringLiteral(":th"), row.th);
            ok = ok && query.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok ? path : QString();
}

bool TestSqliteConnection::openConnection(SqliteConnection &connection, const QString &path,
                                          const QString &key)
{
    connection.setDatabasePath(path);
    connection.setSecrets(QLatin1String(salt), wholeFileDigest(path, QByteArray(salt)), key);
    return connection.openDatabase();
}

void TestSqliteConnection::defaultsAreBuiltIn()
{
    SqliteConnection connection;
    QCOMPARE(connection.databasePath(), QStringLiteral("ksm.db"));
}

void TestSqliteConnection::streamedDigestMatchesWholeFile()
{
    // Larger than one read chunk and not a multiple of it.
    const QString path = m_dir.filePath(QStringLiteral("blob.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray data(700 * 1024 + 13, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 131) ^ (i >> 9));
    file.write(data);
    file.close();
    QCOMPARE(SqliteConnection::saltedDigest(path, QByteArray(salt)),
             wholeFileDigest(path, QByteArray(salt)));
    QVERIFY(SqliteConnection::saltedDigest(m_dir.filePath(QStringLiteral("none")), QByteArray(salt))
                .isEmpty());
}

void TestSqliteConnection::loadsChaptersInChapterThOrder()
{
    const QString path = writeDatabase(QStringLiteral("order.db"), {
        {31, QStringLiteral("chapter3_b.mp4"), 3, 2, 15000, QStringLiteral("00:04:00"), QStringLiteral("00:07:00"), 2},
        {11, QStringLiteral("chapter1_b.mp4"), 1, 2, 14000, QStringLiteral("00:03:00"), QStringLiteral("00:06:00"), 9},
        {10, QStringLiteral("chapter1_a.mp4"), 1, 3, 12500, QStringLiteral("00:05:30"), QStringLiteral("00:09:45"), 1},
        {30, QStringLiteral("chapter3_a.mp4"), 3, 1, 16000, QStringLiteral("00:02:00"), QStringLiteral("00:05:00"), 1},
        {60, QStringLiteral("chapter6_a.mp4"), 6, 1, 18000, QStringLiteral("00:10:00"), QStringLiteral("00:14:00"), 4},
        {99, QStringLiteral("count_down.mp4"), 0, 0, 3000, QStringLiteral("00:00:00"), QStringLiteral("00:00:00"), 0},
    });
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Library library;
    QVERIFY(connection.loadChapterExercises(&library));

    QCOMPARE(idsOf(library.exercisesOfChapter(0)), QList<int>({10, 11}));
    QCOMPARE(idsOf(library.exercisesOfChapter(1)), QList<int>());
    QCOMPARE(idsOf(library.exercisesOfChapter(2)), QList<int>({30, 31}));
    QCOMPARE(idsOf(library.exercisesOfChapter(5)), QList<int>({60}));

    const Exercise *first = library.exerciseAt(0, 0);
    QVERIFY(first);
    QCOMPARE(first->filePath(), QStringLiteral("./videos/chapter1_a.mp4"));
    QCOMPARE(first->duration(), qint64(12500));
    QCOMPARE(first->dangerStart(), qint64(5500));
    QCOMPARE(first->dangerEnd(), qint64(9750));
    QCOMPARE(first->number(), QStringLiteral("3"));
    QCOMPARE(first->parent(), &connection);
}

void TestSqliteConnection::dangerTimeCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("milliseconds");

    QTest::newRow("seconds and sixtieths") << QStringLiteral("00:05:30") << qint64(5500);
    QTest::newRow("one sixtieth") << QStringLiteral("00:00:01") << qint64(16);
    QTest::newRow("minutes") << QStringLiteral("01:02:03") << qint64(62050);
    QTest::newRow("largest") << QStringLiteral("23:59:59") << qint64(1439983);
    QTest::newRow("sixtieths out of range") << QStringLiteral("00:00:60") << qint64(0);
    QTest::newRow("empty") << QString() << qint64(0);
    QTest::newRow("not a time") << QStringLiteral("5500") << qint64(0);
}

void TestSqliteConnection::dangerTimeCodes()
{
    QFETCH(QString, code);
    QFETCH(qint64, milliseconds);
    const QString path = writeDatabase(QStringLiteral("codes.db"), {
        {1, QStringLiteral("chapter2_a.mp4"), 2, 1, 20000, code, code, 1},
    });
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Library library;
    connection.loadChapterExercises(&library);
    const Exercise *exercise = library.exerciseAt(1, 0);
    QVERIFY(exercise);
    QCOMPARE(exercise->dangerStart(), milliseconds);
    QCOMPARE(exercise->dangerEnd(), milliseconds);
}

void TestSqliteConnection::lastCountDownRowWins()
{
    const QString path = writeDatabase(QStringLiteral("countdown.db"), {
        {5, QStringLiteral("count_down_old.mp4"), 0, 0, 2000, QString(), QString(), 0},
        {6, QStringLiteral("count_down.mp4"), 0, 0, 3100, QStringLiteral("00:01:00"), QString(), 0},
        {7, QStringLiteral("chapter1_a.mp4"), 1, 1, 9000, QString(), QString(), 1},
    });
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Composer composer;
    QVERIFY(connection.loadCountDownExercise(&composer));
    const Exercise *countDown = composer.countDown();
    QVERIFY(countDown);
    QCOMPARE(countDown->filePath(), QStringLiteral("./videos/count_down.mp4"));
    QCOMPARE(countDown->id(), 0);
    QCOMPARE(countDown->duration(), qint64(3100));
    QCOMPARE(countDown->dangerStart(), qint64(0));
    QCOMPARE(countDown->dangerEnd(), qint64(0));
    QVERIFY(countDown->number().isEmpty());
}

void TestSqliteConnection::rowsOutsideChaptersSkipped()
{
    const QString path = writeDatabase(QStringLiteral("outside.db"), {
        {40, QStringLiteral("chapter0_x.mp4"), 0, 1, 9000, QString(), QString(), 1},
        {41, QStringLiteral("chapter7_x.mp4"), 7, 1, 9000, QString(), QString(), 1},
        {42, QStringLiteral("chapter4_a.mp4"), 4, 1, 9000, QString(), QString(), 1},
    });
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Library library;
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Skipping video row 40 ")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Skipping video row 41 ")));
    QVERIFY(connection.loadChapterExercises(&library));
    int total = 0;
    for (int chapter = 0; chapter < 6; ++chapter)
        total += library.exercisesOfChapter(chapter).size();
    QCOMPARE(total, 1);
    QCOMPARE(idsOf(library.exercisesOfChapter(3)), QList<int>({42}));
    QCOMPARE(connection.findChildren<Exercise *>().size(), 1);
}

void TestSqliteConnection::nameMatchingFollowsLike()
{
    // SQLite's LIKE ignores ASCII case and "_" stands for any character.
    const QString path = writeDatabase(QStringLiteral("like.db"), {
        {1, QStringLiteral("CHAPTER5_a.mp4"), 5, 1, 9000, QString(), QString(), 1},
        {2, QStringLiteral("intro_chapter5.mp4"), 5, 2, 9000, QString(), QString(), 2},
        {3, QStringLiteral("count-down.mp4"), 0, 0, 2500, QString(), QString(), 0},
    });
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Library library;
    Composer composer;
    connection.loadChapterExercises(&library);
    connection.loadCountDownExercise(&composer);
    QCOMPARE(idsOf(library.exercisesOfChapter(4)), QList<int>({1}));
    QVERIFY(composer.countDown());
    QCOMPARE(composer.countDown()->filePath(), QStringLiteral("./videos/count-down.mp4"));
}

void TestSqliteConnection::oneChangedByteFailsDigestWithoutDriver()
{
    const QString path = writeDatabase(QStringLiteral("changed.db"), {
        {1, QStringLiteral("chapter1_a.mp4"), 1, 1, 9000, QString(), QString(), 1},
    });
    QVERIFY(!path.isEmpty());
    const QString digest = wholeFileDigest(path, QByteArray(salt));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(2000));
    char byte = 0;
    QVERIFY(file.getChar(&byte));
    QVERIFY(file.seek(2000));
    QVERIFY(file.putChar(char(byte ^ 0x01)));
    file.close();

    SqliteConnection connection;
    connection.setDatabasePath(path);
    connection.setSecrets(QLatin1String(salt), digest, QLatin1String(password));
    QVERIFY(!connection.openDatabase());
    QVERIFY(!QSqlDatabase::contains(QLatin1String(QSqlDatabase::defaultConnection)));
    Library library;
    QVERIFY(connection.loadChapterExercises(&library));
    QVERIFY(library.exercisesOfChapter(0).isEmpty());
}

void TestSqliteConnection::wrongPasswordFails()
{
    const QString path = writeDatabase(QStringLiteral("password.db"), {
        {1, QStringLiteral("chapter1_a.mp4"), 1, 1, 9000, QString(), QString(), 1},
    });
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("file is encrypted or is not a database")));
    QVERIFY(!openConnection(connection, path, QStringLiteral("b1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3")));
    Library library;
    QVERIFY(connection.loadChapterExercises(&library));
    QVERIFY(library.exercisesOfChapter(0).isEmpty());
}

void TestSqliteConnection::missingFileFails()
{
    SqliteConnection connection;
    connection.setDatabasePath(m_dir.filePath(QStringLiteral("absent.db")));
    QTest::ignoreMessage(QtInfoMsg, "Tập tin dữ liệu SQlite không tồn tại");
    QVERIFY(!connection.openDatabase());
    QVERIFY(!QFile::exists(connection.databasePath()));
    Composer composer;
    QVERIFY(connection.loadCountDownExercise(&composer));
    QVERIFY(!composer.countDown());
}

void TestSqliteConnection::emptyTableLeavesChaptersEmpty()
{
    const QString path = writeDatabase(QStringLiteral("empty.db"), {});
    QVERIFY(!path.isEmpty());
    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Library library;
    Composer composer;
    QVERIFY(connection.loadChapterExercises(&library));
    QVERIFY(connection.loadCountDownExercise(&composer));
    for (int chapter = 0; chapter < 6; ++chapter)
        QVERIFY(library.exercisesOfChapter(chapter).isEmpty());
    QVERIFY(!composer.countDown());
}

void TestSqliteConnection::openedReadOnly()
{
    const QString path = writeDatabase(QStringLiteral("readonly.db"), {
        {1, QStringLiteral("chapter1_a.mp4"), 1, 1, 9000, QString(), QString(), 1},
    });
    QVERIFY(!path.isEmpty());
    const QString digest = wholeFileDigest(path, QByteArray(salt));
    {
        SqliteConnection connection;
        QVERIFY(openConnection(connection, path));
        QSqlQuery query(QSqlDatabase::database());
        QVERIFY(!query.exec(QStringLiteral("delete from video")));
    }
    QCOMPARE(wholeFileDigest(path, QByteArray(salt)), digest);
    // The connection is gone with its owner, so a new one can take its place.
    QVERIFY(!QSqlDatabase::contains(QLatin1String(QSqlDatabase::defaultConnection)));
}

void TestSqliteConnection::loadsDatabaseWrittenBySqlcipherProgram()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QSKIP("the sqlcipher program is not installed");
    const QString path = m_dir.filePath(QStringLiteral("cli.db"));
    QProcess cli;
    cli.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), path});
    QVERIFY(cli.waitForStarted(30000));
    cli.write(QByteArray("PRAGMA key = '") + password + "';\n"
              "CREATE TABLE video (id INTEGER, name TEXT, chapter INTEGER, number INTEGER, "
              "duration INTEGER, danger_start TEXT, danger_end TEXT, th INTEGER);\n"
              "INSERT INTO video VALUES (21, 'chapter2_a.mp4', 2, 4, 15000, '00:06:12', '00:10:00', 1);\n"
              "INSERT INTO video VALUES (22, 'count_down.mp4', 0, 0, 3000, '00:00:00', '00:00:00', 0);\n");
    cli.closeWriteChannel();
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);

    SqliteConnection connection;
    QVERIFY(openConnection(connection, path));
    Library library;
    Composer composer;
    connection.loadChapterExercises(&library);
    connection.loadCountDownExercise(&composer);
    const Exercise *exercise = library.exerciseAt(1, 0);
    QVERIFY(exercise);
    QCOMPARE(exercise->id(), 21);
    QCOMPARE(exercise->number(), QStringLiteral("4"));
    QCOMPARE(exercise->dangerStart(), qint64(6200));
    QCOMPARE(exercise->dangerEnd(), qint64(10000));
    QVERIFY(composer.countDown());
    QCOMPARE(composer.countDown()->duration(), qint64(3000));
}

QTEST_GUILESS_MAIN(TestSqliteConnection)
#include "tst_sqliteconnection.moc"
