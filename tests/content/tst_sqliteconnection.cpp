#include "Composer.h"
#include "ContentFixture.h"
#include "SqlCipherDriver.h"
#include "SqliteConnection.h"
#include "TestFiles.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

const char salt[] = "5f1b0c9d3e2a7f6b8c4d0e1f2a3b4c5d6e7f8091a2b3c4d5e6f708192";
const char password[] = "a1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3";

struct Row
{
    int id;
    QString name;
    int chapter, number, duration;
    QString start, end;
    int th;
};

// What the streamed digest must agree with.
QString wholeFileDigest(const QString &path, const QByteArray &saltBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(saltBytes + file.readAll(), QCryptographicHash::Md5).toHex());
}

} // namespace

using ContentFixture::idsOf;

static QString describe(const Exercise *e)
{
    return e ? QStringLiteral("%1 %2 %3-%4 #%5").arg(e->filePath()).arg(e->duration()).arg(e->dangerStart())
                   .arg(e->dangerEnd()).arg(e->number())
             : QString();
}

class TestSqliteConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SqlCipherDriver::registerDriver();
    }
    void streamedDigestMatchesWholeFile();
    void loadsChaptersInChapterThOrder();
    void oddRowsAndNames();
    void refusedDatabaseLoadsNothing_data();
    void refusedDatabaseLoadsNothing();
    void openedReadOnly();
    void twoLoadersOpenAtOnce();

private:
    QString writeDatabase(const QString &fileName, const QList<Row> &rows);
    bool openConnection(SqliteConnection &connection, const QString &path, const QString &key = QLatin1String(password))
    {
        connection.setDatabasePath(path);
        connection.setSecrets(QLatin1String(salt), wholeFileDigest(path, QByteArray(salt)), key);
        return connection.openDatabase();
    }
    // Writes the rows and loads them as the station does.
    bool load(const QString &fileName, const QList<Row> &rows, SqliteConnection &connection, Library &library,
              Composer &composer)
    {
        const QString path = writeDatabase(fileName, rows);
        return !path.isEmpty() && openConnection(connection, path) && connection.loadChapterExercises(&library)
               && connection.loadCountDownExercise(&composer);
    }

    QTemporaryDir m_dir;
};

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
        ok = ok && query.exec(QStringLiteral("create table video (id integer primary key, name text, chapter integer, "
                                                    "number integer, duration integer, danger_start text, danger_end text, th integer)"));
        ok = ok && query.prepare(QStringLiteral("insert into video values (?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const Row &row : rows) {
            for (const QVariant &value : {QVariant(row.id), QVariant(row.name), QVariant(row.chapter), QVariant(row.number),
                                          QVariant(row.duration), QVariant(row.start), QVariant(row.end), QVariant(row.th)})
                query.addBindValue(value);
            ok = ok && query.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok ? path : QString();
}

void TestSqliteConnection::streamedDigestMatchesWholeFile()
{
    // Larger than one read chunk and not a multiple of it.
    const QString path = m_dir.filePath(QStringLiteral("blob.bin"));
    QByteArray data(700 * 1024 + 13, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 131) ^ (i >> 9));
    QVERIFY(TestFiles::write(path, data));
    QCOMPARE(SqliteConnection::saltedDigest(path, QByteArray(salt)), wholeFileDigest(path, QByteArray(salt)));
    QVERIFY(SqliteConnection::saltedDigest(m_dir.filePath(QStringLiteral("none")), QByteArray(salt)).isEmpty());
}

void TestSqliteConnection::loadsChaptersInChapterThOrder()
{
    SqliteConnection connection;
    Library library;
    Composer composer;
    QVERIFY(load(QStringLiteral("order.db"), {
        {31, QStringLiteral("chapter3_b.mp4"), 3, 2, 15000, QStringLiteral("00:04:00"), QStringLiteral("00:07:00"), 2},
        {11, QStringLiteral("chapter1_b.mp4"), 1, 2, 14000, QStringLiteral("00:03:00"), QStringLiteral("00:06:00"), 9},
        {10, QStringLiteral("chapter1_a.mp4"), 1, 3, 12500, QStringLiteral("00:05:30"), QStringLiteral("00:09:45"), 1},
        {30, QStringLiteral("chapter3_a.mp4"), 3, 1, 16000, QStringLiteral("00:02:00"), QStringLiteral("00:05:00"), 1},
        // How codes read is the time utility's to test; one that does not
        // read is no window.
        {60, QStringLiteral("chapter6_a.mp4"), 6, 1, 18000, QStringLiteral("00:00:60"), QString(), 4},
        {99, QStringLiteral("count_down.mp4"), 0, 0, 3000, QStringLiteral("00:00:00"), QStringLiteral("00:00:00"), 0},
    }, connection, library, composer));

    QCOMPARE(idsOf(library.exercisesOfChapter(0)), QList<int>({10, 11}));
    QCOMPARE(idsOf(library.exercisesOfChapter(1)), QList<int>());
    QCOMPARE(idsOf(library.exercisesOfChapter(2)), QList<int>({30, 31}));
    QCOMPARE(idsOf(library.exercisesOfChapter(5)), QList<int>({60}));

    QCOMPARE(describe(library.exerciseAt(0, 0)), QStringLiteral("./videos/chapter1_a.mp4 12500 5500-9750 #3"));
    QCOMPARE(describe(library.exerciseAt(5, 0)), QStringLiteral("./videos/chapter6_a.mp4 18000 0-0 #1"));
}

void TestSqliteConnection::oddRowsAndNames()
{
    // SQLite's LIKE ignores ASCII case and "_" stands for any character;
    // the last count-down row wins.
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Skipping video row 40 ")));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Skipping video row 41 ")));
    SqliteConnection second;
    Library secondLibrary;
    Composer composer;
    QVERIFY(load(QStringLiteral("odd.db"), {
        {1, QStringLiteral("CHAPTER5_a.mp4"), 5, 1, 9000, QString(), QString(), 1},
        {2, QStringLiteral("intro_chapter5.mp4"), 5, 2, 9000, QString(), QString(), 2},
        {5, QStringLiteral("count_down_old.mp4"), 0, 0, 2000, QString(), QString(), 0},
        {6, QStringLiteral("count-down.mp4"), 0, 0, 3100, QStringLiteral("00:01:00"), QString(), 0},
        {40, QStringLiteral("chapter0_x.mp4"), 0, 1, 9000, QString(), QString(), 1},
        {41, QStringLiteral("chapter7_x.mp4"), 7, 1, 9000, QString(), QString(), 1},
        {42, QStringLiteral("chapter4_a.mp4"), 4, 1, 9000, QString(), QString(), 1},
    }, second, secondLibrary, composer));
    int total = 0;
    for (int chapter = 0; chapter < 6; ++chapter)
        total += secondLibrary.exercisesOfChapter(chapter).size();
    QCOMPARE(total, 2);
    QCOMPARE(idsOf(secondLibrary.exercisesOfChapter(3)), QList<int>({42}));
    QCOMPARE(idsOf(secondLibrary.exercisesOfChapter(4)), QList<int>({1}));
    QCOMPARE(describe(composer.countDown()), QStringLiteral("./videos/count-down.mp4 3100 0-0 #"));
    QCOMPARE(composer.countDown()->id(), 0);
}

void TestSqliteConnection::refusedDatabaseLoadsNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    // The digest is checked before the driver is even asked, so a changed
    // byte leaves no connection behind.
    QTest::newRow("one changed byte") << "byte" << "";
    QTest::newRow("wrong password") << "password" << "file is encrypted or is not a database";
    QTest::newRow("missing file") << "missing" << "Tập tin dữ liệu SQlite không tồn tại";
}

void TestSqliteConnection::refusedDatabaseLoadsNothing()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QString path = writeDatabase(QStringLiteral("refused.db"), {
        {1, QStringLiteral("chapter1_a.mp4"), 1, 1, 9000, QString(), QString(), 1},
        {2, QStringLiteral("count_down.mp4"), 0, 0, 3000, QString(), QString(), 0},
    });
    QVERIFY(!path.isEmpty());
    const QString digest = wholeFileDigest(path, QByteArray(salt));
    QString key = QLatin1String(password);
    if (fault == QLatin1String("byte")) {
        QByteArray bytes = TestFiles::read(path);
        bytes[2000] = char(bytes.at(2000) ^ 0x01);
        QVERIFY(TestFiles::write(path, bytes));
    } else if (fault == QLatin1String("password")) {
        key = QStringLiteral("b1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3");
    } else {
        QVERIFY(QFile::remove(path));
    }
    SqliteConnection connection;
    connection.setDatabasePath(path);
    connection.setSecrets(QLatin1String(salt), digest, key);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QRegularExpression::escape(message)));
    QVERIFY(!connection.openDatabase());
    if (fault == QLatin1String("byte"))
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    QCOMPARE(QFile::exists(path), fault != QLatin1String("missing"));
    Library library;
    Composer composer;
    QVERIFY(connection.loadChapterExercises(&library));
    QVERIFY(connection.loadCountDownExercise(&composer));
    QVERIFY(library.exercisesOfChapter(0).isEmpty());
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
        QSqlQuery query(QSqlDatabase::database(connection.connectionName()));
        QVERIFY(!query.exec(QStringLiteral("delete from video")));
    }
    QCOMPARE(wholeFileDigest(path, QByteArray(salt)), digest);
    // The connection is gone with its owner.
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
}

void TestSqliteConnection::twoLoadersOpenAtOnce()
{
    const QString path = writeDatabase(QStringLiteral("two.db"), {
        {1, QStringLiteral("chapter1_a.mp4"), 1, 1, 9000, QString(), QString(), 1},
    });
    QVERIFY(!path.isEmpty());
    auto *first = new SqliteConnection;
    QVERIFY(openConnection(*first, path));
    SqliteConnection second;
    QVERIFY(openConnection(second, path));
    // Both open at once, as when the practice program tries another pack
    // while the current one stays in use: neither disables the other.
    Library library;
    QVERIFY(first->loadChapterExercises(&library));
    QCOMPARE(idsOf(library.exercisesOfChapter(0)), QList<int>({1}));
    // The old loader goes after the new one has opened: the new connection
    // stays open and readable.
    delete first;
    Library again;
    QVERIFY(second.loadChapterExercises(&again));
    QCOMPARE(idsOf(again.exercisesOfChapter(0)), QList<int>({1}));
}

QTEST_GUILESS_MAIN(TestSqliteConnection)
#include "tst_sqliteconnection.moc"
