#include "PgScratch.h"
#include "ServerStore.h"
#include "TestFiles.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString goodDetail = QStringLiteral("5;0;3;1;4;0;2;5;5;0|10400;3;5;7;9;0;13;15;17;19|3;17;25;41;44;58;63;71;80;92");

} // namespace

class TestServerStore : public QObject
{
    Q_OBJECT
private slots:
    // Every case runs on an SQLite file and on a scratch PostgreSQL database.
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();

    void mustExistDoesNotCreate();
    void upgradesOlderRefusesNewer();
    void candidateLocksAcrossServers_data();
    void candidateLocksAcrossServers();
    void courseChecks_data();
    void courseChecks();
    void candidateChecks_data();
    void candidateChecks();
    void resultChecks_data();
    void resultChecks();
    void resultStoredOnceUntilAResit();

private:
    bool onPostgres() const;
    // A second store on the same database, as another server has it.
    bool openOther(ServerStore &store);
    CandidateRecord candidate(const QString &number) const;
    ResultRecord result(int candidateId, const QString &detail = goodDetail, int total = 25) const;

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<ServerStore> m_store;
    QScopedPointer<PgScratch> m_pg;
    QString m_pgUrl;
};

void TestServerStore::initTestCase_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

void TestServerStore::initTestCase()
{
    m_pg.reset(new PgScratch);
    if (m_pg->start()) {
        m_pgUrl = m_pg->createDatabase(QStringLiteral("store"));
        // libpq reads the password from here, as the server's does.
        qputenv("PGPASSWORD", m_pg->environment().value(QStringLiteral("PGPASSWORD")).toUtf8());
    }
}

bool TestServerStore::onPostgres() const
{
    QFETCH_GLOBAL(bool, postgres);
    return postgres;
}

void TestServerStore::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QString location = m_dir->filePath(QStringLiteral("s.db"));
    if (onPostgres()) {
        const QString why = QStringLiteral("PostgreSQL did not start: ") + m_pg->why();
        if (m_pgUrl.isEmpty() && PgScratch::required())
            QFAIL(qPrintable(why));
        if (m_pgUrl.isEmpty())
            QSKIP(qPrintable(why));
        bool ok = false;
        m_pg->query(QStringLiteral("store"),
                    QStringLiteral("SET client_min_messages = warning; DROP SCHEMA public CASCADE; CREATE SCHEMA public"),
                    &ok);
        QVERIFY2(ok, qPrintable(m_pg->why()));
        location = m_pgUrl;
    }
    m_store.reset(new ServerStore);
    QVERIFY2(m_store->open(location, ServerStore::OpenMode::CreateIfMissing), qPrintable(m_store->lastError()));
    QVERIFY(m_store->created());
    QVERIFY(m_store->addCourse({QStringLiteral("K1"), QStringLiteral("Khóa 1")}));
}

bool TestServerStore::openOther(ServerStore &store)
{
    return store.open(onPostgres() ? m_pgUrl : m_store->path(), ServerStore::OpenMode::MustExist);
}

void TestServerStore::cleanup()
{
    m_store.reset();
    m_dir.reset();
}

CandidateRecord TestServerStore::candidate(const QString &number) const
{
    CandidateRecord c;
    c.number = number;
    c.courseCode = QStringLiteral("K1");
    c.licenceClass = 2;
    c.pid = QStringLiteral("0790");
    c.fullName = QStringLiteral("Đỗ Thị E");
    return c;
}

ResultRecord TestServerStore::result(int candidateId, const QString &detail, int total) const
{
    ResultRecord r;
    r.candidateId = candidateId;
    r.courseCode = QStringLiteral("K1");
    r.total = total;
    r.passScore = 35;
    r.passed = total >= 35;
    r.detail = detail;
    return r;
}

void TestServerStore::mustExistDoesNotCreate()
{
    ServerStore store;
    if (onPostgres()) {
        // Neither an empty database nor one holding other tables is taken
        // for the server's; a password never comes with the address.
        bool ok = false;
        m_pg->query(QStringLiteral("store"), QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public"), &ok);
        QVERIFY(ok && !store.open(m_pgUrl, ServerStore::OpenMode::MustExist));
        QVERIFY2(store.lastError().contains(QLatin1String("is empty")), qPrintable(store.lastError()));
        m_pg->query(QStringLiteral("store"), QStringLiteral("CREATE TABLE other (x INTEGER)"), &ok);
        QVERIFY(ok && !store.open(m_pgUrl, ServerStore::OpenMode::CreateIfMissing));
        QVERIFY2(store.lastError().contains(QLatin1String("another kind")), qPrintable(store.lastError()));
        QVERIFY(!store.open(QString(m_pgUrl).replace(QStringLiteral("hazard@"), QStringLiteral("hazard:pw@")),
                            ServerStore::OpenMode::MustExist));
        QVERIFY2(store.lastError().contains(QLatin1String("PGPASSWORD")), qPrintable(store.lastError()));
        return;
    }
    const QString path = m_dir->filePath(QStringLiteral("missing.db")), junk = m_dir->filePath(QStringLiteral("junk"));
    QVERIFY(!store.open(path, ServerStore::OpenMode::MustExist) && !QFile::exists(path) && !store.lastError().isEmpty());
    // A file that is not a database at all.
    QVERIFY(TestFiles::write(junk, QByteArray(4096, 'x')) && !store.open(junk, ServerStore::OpenMode::CreateIfMissing));
}

void TestServerStore::upgradesOlderRefusesNewer()
{
    const QString newer = QStringLiteral("schema version %1, newer than the %2")
                              .arg(ServerStore::schemaVersion + 1)
                              .arg(ServerStore::schemaVersion);
    if (onPostgres()) {
        bool ok = false;
        m_pg->query(QStringLiteral("store"),
                    QStringLiteral("UPDATE schema_version SET version = %1").arg(ServerStore::schemaVersion + 1), &ok);
        QVERIFY(ok);
        // Neither used nor taken for an older one to upgrade.
        for (const auto mode : {ServerStore::OpenMode::MustExist, ServerStore::OpenMode::CreateIfMissing}) {
            ServerStore store;
            QVERIFY(!store.open(m_pgUrl, mode));
            QVERIFY2(store.lastError().contains(newer), qPrintable(store.lastError()));
        }
        QCOMPARE(m_pg->query(QStringLiteral("store"), QStringLiteral("SELECT version FROM schema_version")),
                 QString::number(ServerStore::schemaVersion + 1));
        // A database of the previous release gains the hold table.
        m_pg->query(QStringLiteral("store"),
                    QStringLiteral("DROP TABLE candidate_hold; UPDATE schema_version SET version = 2"), &ok);
        ServerStore older;
        QVERIFY2(ok && older.open(m_pgUrl, ServerStore::OpenMode::MustExist), qPrintable(older.lastError()));
        QCOMPARE(older.lockCandidate(5), ServerStore::Lock::Taken);
        QCOMPARE(m_pg->query(QStringLiteral("store"), QStringLiteral("SELECT version FROM schema_version")),
                 QStringLiteral("3"));
        return;
    }
    // A database as the first release left it, with a stored result.
    const QString path = m_dir->filePath(QStringLiteral("old.db"));
    {
        QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        old.setDatabaseName(path);
        QVERIFY(old.open());
        QSqlQuery query(old);
        const QStringList statements{
            "CREATE TABLE course (code TEXT PRIMARY KEY NOT NULL, name TEXT NOT NULL)",
            "CREATE TABLE candidate (id INTEGER PRIMARY KEY, number TEXT NOT NULL, course_code TEXT NOT NULL "
            "REFERENCES course(code), licence_class INTEGER NOT NULL CHECK (licence_class BETWEEN 0 AND 9), "
            "pid TEXT NOT NULL, full_name TEXT NOT NULL, photo TEXT NOT NULL DEFAULT '', state TEXT NOT NULL "
            "CHECK (state IN ('ready','examined','theory-not-passed','not-required')), UNIQUE (course_code, number))",
            "CREATE TABLE result (id INTEGER PRIMARY KEY AUTOINCREMENT, candidate_id INTEGER NOT NULL REFERENCES "
            "candidate(id), course_code TEXT NOT NULL, total INTEGER NOT NULL, pass_score INTEGER NOT NULL, "
            "passed INTEGER NOT NULL, detail TEXT NOT NULL, received_at TEXT NOT NULL, station TEXT NOT NULL "
            "DEFAULT '', UNIQUE (candidate_id, course_code, total, pass_score, passed, detail))",
            "INSERT INTO course VALUES ('K1', 'Khóa 1')",
            "INSERT INTO candidate VALUES (7, '1', 'K1', 2, '0790', 'Đỗ Thị E', '', 'examined')",
            "INSERT INTO result (candidate_id, course_code, total, pass_score, passed, detail, received_at) "
            "VALUES (7, 'K1', 25, 35, 0, '" + goodDetail + "', '2026-01-02T03:04:05.000Z')",
            "PRAGMA user_version = 1"};
        for (const QString &sql : statements)
            QVERIFY2(query.exec(sql), qPrintable(sql));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    ServerStore store;
    QVERIFY2(store.open(path, ServerStore::OpenMode::MustExist), qPrintable(store.lastError()));
    QVERIFY(!store.created());
    ResultRecord r;
    QCOMPARE(store.latestResult(7, QStringLiteral("K1"), &r), ServerStore::Lookup::Found);
    QCOMPARE(r.detail, goodDetail);
    QVERIFY(r.centre.isEmpty());
    QVERIFY(store.setCandidateState(7, CandidateState::Ready));
    ResultRecord resit = result(7, QStringLiteral("5;5;5;5;5;5;5;0;0;0|1;2;3;4;5;6;7;0;0;0|1;2;3;4;5;6;7;8;9;10"), 35);
    resit.centre = QStringLiteral("Trung tâm Hà Đông");
    QCOMPARE(store.storeResult(resit), ServerStore::Upload::Stored);
    QCOMPARE(store.latestResult(7, QStringLiteral("K1"), &r), ServerStore::Lookup::Found);
    QCOMPARE(r.centre, resit.centre);

    // A database a newer release wrote is left alone.
    store.close();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
        db.setDatabaseName(path);
        QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = %1").arg(ServerStore::schemaVersion + 1)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    QVERIFY(!store.open(path, ServerStore::OpenMode::MustExist));
    QVERIFY2(store.lastError().contains(newer), qPrintable(store.lastError()));
}

void TestServerStore::candidateLocksAcrossServers_data()
{
    QTest::addColumn<bool>("holderFirst");
    QTest::newRow("holder reconnects first") << true;
    QTest::newRow("other reconnects first") << false;
}

void TestServerStore::candidateLocksAcrossServers()
{
    QFETCH(bool, holderFirst);
    ServerStore other;
    QVERIFY(openOther(other));
    QCOMPARE(m_store->lockCandidate(5), ServerStore::Lock::Taken);
    QCOMPARE(m_store->lockCandidate(5), ServerStore::Lock::Taken);
    if (!onPostgres()) {
        // A file has one server; its holds are that server's business.
        QCOMPARE(other.lockCandidate(5), ServerStore::Lock::Taken);
        return;
    }
    QCOMPARE(other.lockCandidate(5), ServerStore::Lock::Busy);
    // A restart of the database ends every lock and every renewal without a
    // word; whichever server is back first, the holder keeps its candidate,
    // however long ago (here: an hour) its last renewal was.
    ServerStore *first = holderFirst ? m_store.data() : &other;
    ServerStore *second = holderFirst ? &other : m_store.data();
    for (int round = 0; round < 3; ++round) {
        QVERIFY2(m_pg->restart(), qPrintable(m_pg->why()));
        bool ok = false;
        m_pg->query(QStringLiteral("store"),
                    QStringLiteral("UPDATE candidate_hold SET renewed_at = now() - interval '1 hour'"), &ok);
        QVERIFY2(ok, qPrintable(m_pg->why()));
        QVERIFY2(first->checkConnection(), qPrintable(first->lastError()));
        if (!holderFirst)
            QCOMPARE(other.lockCandidate(5), ServerStore::Lock::Busy);
        QVERIFY2(second->checkConnection(), qPrintable(second->lastError()));
        QCOMPARE(other.lockCandidate(5), ServerStore::Lock::Busy);
    }
    m_store->unlockCandidate(5);
    QCOMPARE(other.lockCandidate(5), ServerStore::Lock::Taken);

    // A holder that dies: its connection ends and its renewals stop. The
    // candidate is free once the lease ends.
    QCOMPARE(m_store->lockCandidate(6), ServerStore::Lock::Taken);
    bool ok = false;
    m_pg->query(QStringLiteral("store"),
                QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_locks WHERE locktype = 'advisory' "
                               "AND objid = 6 AND objsubid = 2"),
                &ok);
    QVERIFY2(ok, qPrintable(m_pg->why()));
    QTRY_COMPARE_WITH_TIMEOUT(other.lockCandidate(6), ServerStore::Lock::Taken, 30000);
}

void TestServerStore::courseChecks_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    // The rules themselves are tst_recordchecks'; here that the store makes
    // them and the database its own.
    QTest::newRow("plain") << "K2" << "Khóa 2" << true;
    QTest::newRow("duplicate code") << "K1" << "Again" << false;
    QTest::newRow("separator in code") << "K;3" << "x" << false;
}

void TestServerStore::courseChecks()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QCOMPARE(m_store->addCourse({code, name}), accepted);
    QList<CourseRecord> courses;
    QVERIFY(m_store->courses(&courses));
    QCOMPARE(courses.size(), accepted ? 2 : 1);
    QCOMPARE(courses.last().name, accepted ? name : QStringLiteral("Khóa 1"));
}

void TestServerStore::candidateChecks_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");
    // The largest class and photo the checks allow fit the tables too.
    QTest::newRow("class 9") << "class" << "9" << true;
    QTest::newRow("class 10") << "class" << "10" << false;
    QTest::newRow("empty pid") << "pid" << "" << false;
    // The fixture's identity number and name take 17 bytes; the photo may
    // have the rest of one answer.
    const int largest = (ServerStore::maxIdentityBytes - 17) / 4 * 4;
    QTest::newRow("largest photo") << "photo" << QString(largest, QLatin1Char('A')) << true;
}

void TestServerStore::candidateChecks()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    CandidateRecord c = candidate(QStringLiteral("77"));
    if (field == QLatin1String("class"))
        c.licenceClass = value.toInt();
    else if (field == QLatin1String("number"))
        c.number = value;
    else if (field == QLatin1String("name"))
        c.fullName = value;
    else if (field == QLatin1String("pid"))
        c.pid = value;
    else
        c.photoBase64 = value;
    if (field == QLatin1String("photo"))
        QCOMPARE(c.pid.toUtf8().size() + c.fullName.toUtf8().size(), 17);
    QCOMPARE(m_store->addCandidate(&c), accepted);
}

void TestServerStore::resultChecks_data()
{
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("passScore");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<bool>("accepted");
    // One row for each kind of rule: the result's own fields, and the pass
    // mark that comes from the candidate in the database.
    QTest::newRow("sound") << goodDetail << 25 << 35 << false << true;
    QTest::newRow("total disagrees") << goodDetail << 26 << 35 << false << false;
    QTest::newRow("pass mark 20, passed on 25") << goodDetail << 25 << 20 << true << false;
}

void TestServerStore::resultChecks()
{
    QFETCH(QString, detail);
    QFETCH(int, total);
    QFETCH(int, passScore);
    QFETCH(bool, passed);
    QFETCH(bool, accepted);
    CandidateRecord c = candidate(QStringLiteral("1"));
    QVERIFY(m_store->addCandidate(&c));
    ResultRecord r = result(c.id, detail, total);
    r.passScore = passScore;
    r.passed = passed;
    QCOMPARE(m_store->storeResult(r), accepted ? ServerStore::Upload::Stored : ServerStore::Upload::Rejected);
    QList<ResultRecord> list;
    QVERIFY(m_store->results(QString(), &list));
    QCOMPARE(list.size(), accepted ? 1 : 0);
}

void TestServerStore::resultStoredOnceUntilAResit()
{
    CandidateRecord c = candidate(QStringLiteral("1"));
    QVERIFY(m_store->addCandidate(&c));
    ResultRecord r;
    QCOMPARE(m_store->latestResult(c.id, QStringLiteral("K1"), &r), ServerStore::Lookup::Missing);
    QCOMPARE(m_store->storeResult(result(c.id)), ServerStore::Upload::Stored);
    QCOMPARE(m_store->storeResult(result(c.id)), ServerStore::Upload::Duplicate);
    QList<ResultRecord> list;
    QVERIFY(m_store->results(QStringLiteral("K1"), &list));
    QVERIFY(list.size() == 1 && list.first().candidateNumber == QLatin1String("1") && list.first().receivedAt.isValid());
    CandidateRecord back;
    QCOMPARE(m_store->candidateById(c.id, &back), ServerStore::Lookup::Found);
    QCOMPARE(back.state, CandidateState::Examined);
    // Another result for an examined candidate is no repetition.
    const QString second = QStringLiteral("5;5;5;5;5;5;5;0;0;0|1;2;3;4;5;6;7;0;0;0|1;2;3;4;5;6;7;8;9;10");
    QCOMPARE(m_store->storeResult(result(c.id, second, 35)), ServerStore::Upload::Rejected);
    QCOMPARE(m_store->storeResult(result(4242)), ServerStore::Upload::Rejected);
    // Once the operator sets up a re-sit, a late repetition of the first is
    // still known by its key, and the new result is taken.
    QVERIFY(m_store->setCandidateState(c.id, CandidateState::Ready));
    QCOMPARE(m_store->storeResult(result(c.id)), ServerStore::Upload::Duplicate);
    QCOMPARE(m_store->storeResult(result(c.id, second, 35)), ServerStore::Upload::Stored);
    QCOMPARE(m_store->latestResult(c.id, QStringLiteral("K1"), &r), ServerStore::Lookup::Found);
    QCOMPARE(r.detail, second);
    QCOMPARE(m_store->latestResult(c.id, QStringLiteral("K2"), &r), ServerStore::Lookup::Missing);

    // A batch, as uploads that arrive together are stored: each result has
    // its own outcome, a repetition within the batch included.
    CandidateRecord d = candidate(QStringLiteral("2"));
    CandidateRecord e = candidate(QStringLiteral("3"));
    QVERIFY(m_store->addCandidate(&d) && m_store->addCandidate(&e));
    ResultRecord wrongCourse = result(d.id);
    wrongCourse.courseCode = QStringLiteral("K2");
    QList<ServerStore::Upload> outcomes;
    QStringList reasons;
    m_store->storeResults({result(e.id), result(d.id), result(e.id), wrongCourse}, &outcomes, &reasons);
    using U = ServerStore::Upload;
    QCOMPARE(outcomes, (QList<U>{U::Stored, U::Stored, U::Duplicate, U::Rejected}));
    QVERIFY(reasons.at(0).isEmpty() && reasons.at(3).contains(QLatin1String("belongs to course K1")));
    QVERIFY(m_store->results(QStringLiteral("K1"), &list));
    QCOMPARE(list.size(), 4);
}

QTEST_GUILESS_MAIN(TestServerStore)
#include "tst_serverstore.moc"
