#include "SqlCipherDriver.h"
#include "TestFiles.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace {

const char password[] = "0f1e2d3c4b5a69788796a5b4c3d2e1f0a1b2c3";
const char connection[] = "driver-test";

// Null when the sqlcipher program could not run.
QByteArray runSqlcipher(const QString &path, const QByteArray &script, int *exitCode = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), path});
    process.write(script);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return QByteArray();
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput().append("");
}

} // namespace

class TestSqlCipherDriver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void openRefused_data();
    void openRefused();
    void interoperatesWithSqlcipher();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void queriesAcrossCloseAndReopen();
    void secondStatementInOneTextRefused();
    void refusesPlainSqlite();

private:
    QSqlDatabase openDatabase(const QString &path, const QString &key, bool readOnly);
    QSqlDatabase openWithTable(const QString &fileName) // empty table t (x)
    {
        QSqlDatabase db = openDatabase(m_dir.filePath(fileName), QLatin1String(password), false);
        QSqlQuery(db).exec(QStringLiteral("create table t (x)"));
        return db;
    }

    QTemporaryDir m_dir;
};

void TestSqlCipherDriver::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SqlCipherDriver::registerDriver();
    SqlCipherDriver::registerDriver(); // twice is harmless
    QVERIFY(QSqlDatabase::isDriverAvailable(QLatin1String(SqlCipherDriver::driverName)));
}

void TestSqlCipherDriver::cleanup()
{
    if (QSqlDatabase::contains(QLatin1String(connection))) {
        QSqlDatabase::database(QLatin1String(connection), false).close();
        QSqlDatabase::removeDatabase(QLatin1String(connection));
    }
}

QSqlDatabase TestSqlCipherDriver::openDatabase(const QString &path, const QString &key,
                                               bool readOnly)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName), QLatin1String(connection));
    db.setDatabaseName(path);
    db.setPassword(key);
    if (readOnly)
        db.setConnectOptions(QLatin1String(SqlCipherDriver::readOnlyOption));
    db.open();
    return db;
}

void TestSqlCipherDriver::openRefused_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong password") << "other.db" << "not-the-password" << "file is encrypted or is not a database";
    QTest::newRow("missing file, read-only") << "missing.db" << password << "";
    QTest::newRow("empty password") << "nokey.db" << "" << "password";
}

void TestSqlCipherDriver::openRefused()
{
    QFETCH(QString, fileName);
    QFETCH(QString, key);
    QFETCH(QString, error);
    const QString path = m_dir.filePath(fileName);
    // Only the wrong password meets a file; no refusal may leave one behind.
    const bool existed = error.contains(QLatin1String("encrypted"));
    if (existed) {
        QVERIFY(openWithTable(fileName).isOpen());
        cleanup();
    }
    QSqlDatabase db = openDatabase(path, key, !key.isEmpty());
    QVERIFY(!db.isOpen());
    QVERIFY2(!db.lastError().text().isEmpty() && db.lastError().text().contains(error), qPrintable(db.lastError().text()));
    QCOMPARE(QFile::exists(path), existed);
    QVERIFY(!QSqlQuery(db).exec(QStringLiteral("select * from sqlite_master")));
}

// The driver's files and the sqlcipher program's are one format, both ways.
void TestSqlCipherDriver::interoperatesWithSqlcipher()
{
    const QString path = m_dir.filePath(QStringLiteral("written.db"));
    {
        QSqlDatabase db = openDatabase(path, QLatin1String(password), false);
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("create table t (id integer primary key, name text)")));
        QVERIFY(db.transaction());
        QVERIFY(query.prepare(QStringLiteral("insert into t (name) values (:name)")));
        for (const QString &name : {QStringLiteral("alpha"), QStringLiteral("beta")}) {
            query.bindValue(QStringLiteral(":name"), name);
            QVERIFY(query.exec());
            QCOMPARE(query.numRowsAffected(), 1);
        }
        QCOMPARE(query.lastInsertId().toLongLong(), 2LL);
        QVERIFY(db.commit());
    }
    cleanup();
    const QByteArray all = TestFiles::read(path);
    QVERIFY(!all.startsWith("SQLite format 3") && !all.contains("alpha"));

    if (QStandardPaths::findExecutable(QStringLiteral("sqlcipher")).isEmpty())
        QSKIP("the sqlcipher program is not installed");
    int exitCode = 0;
    runSqlcipher(path, "select name from t;\n", &exitCode);
    QVERIFY(exitCode != 0);
    QCOMPARE(runSqlcipher(path, QByteArray("PRAGMA key = '") + password + "';\nselect name from t order by id;\n"
                          "CREATE TABLE video (id INTEGER PRIMARY KEY, name TEXT, chapter INTEGER);\n"
                          "INSERT INTO video VALUES (7, 'chapter1_01.mp4', 1), (9, 'Chương hai', 2), (12, 'count_down.mp4', 0);\n",
                          &exitCode),
             QByteArray("alpha\nbeta\n"));
    QCOMPARE(exitCode, 0);

    QSqlDatabase db = openDatabase(path, QLatin1String(password), true);
    QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("select id, name from video order by id")));
    QVERIFY(query.next() && query.next());
    QCOMPARE(query.value(1).toString(), QStringLiteral("Chương hai"));
    QCOMPARE(static_cast<SqlCipherDriver *>(db.driver())->cipherVersion().left(2), QStringLiteral("3."));
    // A named placeholder used twice.
    QVERIFY(query.prepare(QStringLiteral(
        "select id from video where name like :name or (chapter = :chapter and name like :name) order by id")));
    query.bindValue(QStringLiteral(":name"), QStringLiteral("count_down%"));
    query.bindValue(QStringLiteral(":chapter"), 1);
    QVERIFY(query.exec() && query.next());
    QCOMPARE(query.value(0).toInt(), 12);
    QVERIFY(!query.next());
}

void TestSqlCipherDriver::valuesRoundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("int") << QVariant(42) << QVariant(qlonglong(42));
    QTest::newRow("64-bit") << QVariant(qlonglong(1) << 40) << QVariant(qlonglong(1) << 40);
    QTest::newRow("bool") << QVariant(true) << QVariant(qlonglong(1));
    QTest::newRow("double") << QVariant(2.75) << QVariant(2.75);
    QTest::newRow("text") << QVariant(QStringLiteral("Tình huống 3")) << QVariant(QStringLiteral("Tình huống 3"));
    QTest::newRow("empty text") << QVariant(QStringLiteral("")) << QVariant(QStringLiteral(""));
    QTest::newRow("bytes with zero") << QVariant(QByteArray("a\0b", 3)) << QVariant(QByteArray("a\0b", 3));
    QTest::newRow("null") << QVariant() << QVariant();
}

void TestSqlCipherDriver::valuesRoundTrip()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);

    const QString path = m_dir.filePath(QStringLiteral("values.db"));
    QSqlDatabase db = openDatabase(path, QLatin1String(password), false);
    QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
    QSqlQuery query(db);
    query.exec(QStringLiteral("create table if not exists v (x)"));
    QVERIFY(query.exec(QStringLiteral("delete from v")));
    QVERIFY(query.prepare(QStringLiteral("insert into v (x) values (?)")));
    query.addBindValue(value);
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    QVERIFY(query.exec(QStringLiteral("select x from v")) && query.next());
    const QVariant read = query.value(0);
    QCOMPARE(read.isNull(), expected.isNull());
    if (!expected.isNull()) {
        QCOMPARE(read.userType(), expected.userType());
        QCOMPARE(read, expected);
    }
}

void TestSqlCipherDriver::queriesAcrossCloseAndReopen()
{
    QSqlDatabase db = openWithTable(QStringLiteral("reopen.db"));
    QSqlQuery query(db);
    QVERIFY(db.transaction() && query.exec(QStringLiteral("insert into t values (1)")) && db.rollback());
    QVERIFY(!db.commit());
    QVERIFY(query.exec(QStringLiteral("insert into t values (5), (6)")));
    QVERIFY(query.exec(QStringLiteral("select x from t order by x")) && query.next());
    db.close();
    QVERIFY(!query.next());
    QVERIFY(!query.exec(QStringLiteral("select x from t")));
    QVERIFY(db.open());
    QVERIFY(query.exec(QStringLiteral("select count(*) || ',' || min(x) from t")) && query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("2,5"));
    // The statement prepared on the second connection must not keep it from
    // closing, or the file would stay locked.
    db.close();
    QVERIFY(db.open());
    QSqlQuery writer(db), reader(db);
    QVERIFY(reader.exec(QStringLiteral("select x from t")));
    reader.finish();
    QVERIFY(!reader.next());
    // A finished reader no longer holds the table.
    QVERIFY2(writer.exec(QStringLiteral("drop table t")), qPrintable(writer.lastError().text()));
}

void TestSqlCipherDriver::secondStatementInOneTextRefused()
{
    QSqlDatabase db = openWithTable(QStringLiteral("two.db"));
    QSqlQuery query(db);
    QVERIFY(!query.exec(QStringLiteral("insert into t values (1); drop table t")));
    QVERIFY(db.tables().contains(QStringLiteral("t")));
    // What follows the one statement may be anything that is no statement.
    QVERIFY2(query.exec(QStringLiteral("insert into t values (2); -- the second row\n")),
             qPrintable(query.lastError().text()));
    QVERIFY2(query.exec(QStringLiteral("insert into t values (3);; /* the third */ ;")),
             qPrintable(query.lastError().text()));
    QVERIFY(!query.exec(QStringLiteral("insert into t values (4); -- a note\n drop table t")));
    QVERIFY(query.exec(QStringLiteral("select count(*) from t")) && query.next());
    QCOMPARE(query.value(0).toInt(), 2);
}

void TestSqlCipherDriver::refusesPlainSqlite()
{
    const QString plain = QStringLiteral(PLAIN_SQLITE_LIBRARY);
    if (!QFile::exists(plain))
        QSKIP("the plain SQLite library is not installed");
    const QString path = m_dir.filePath(QStringLiteral("probe.db"));
    QVERIFY(openWithTable(QStringLiteral("probe.db")).isOpen());
    cleanup();

    auto runProbe = [&](bool preload) {
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (preload) {
            env.insert(QStringLiteral("LD_PRELOAD"), plain);
            // The sanitizer runtime insists on being loaded first otherwise.
            const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
            env.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + ':') + "verify_asan_link_order=0");
        }
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(PROBE_PROGRAM), {path, QLatin1String(password)});
        probe.waitForFinished(60000);
        return QString::fromUtf8(probe.readAllStandardOutput());
    };

    QCOMPARE(runProbe(false).trimmed(), QStringLiteral("opened 1"));
    const QString refused = runProbe(true);
    QVERIFY2(refused.startsWith(QLatin1String("refused:")) && refused.contains(QLatin1String("cipher_version")), qPrintable(refused));
}

QTEST_GUILESS_MAIN(TestSqlCipherDriver)
#include "tst_sqlcipherdriver.moc"
