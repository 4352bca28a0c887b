#include "ProgressStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TstProgressStore : public QObject
{
    Q_OBJECT

private:
    static ProgressStore::Attempt attempt(int id, int score, int mode = 0, qint64 mock = 0)
    {
        ProgressStore::Attempt a;
        a.situationId = id;
        a.score = score;
        a.mode = mode;
        a.flagTime = 1000 + score;
        a.mockId = mock;
        a.when = QDateTime::currentDateTime();
        return a;
    }

private slots:
    void attemptSurvivesReopening()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/progress.db"));
        {
            ProgressStore store;
            QCOMPARE(store.open(path), ProgressStore::Opened);
            ProgressStore::Attempt a = attempt(7, 4, 1);
            a.flagTime = 12345;
            a.when = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10));
            QVERIFY(store.recordAttempt(a));
        }
        ProgressStore store;
        QCOMPARE(store.open(path), ProgressStore::Opened);
        const QList<ProgressStore::Attempt> all = store.attempts();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.at(0).situationId, 7);
        QCOMPARE(all.at(0).mode, 1);
        QCOMPARE(all.at(0).flagTime, qint64(12345));
        QCOMPARE(all.at(0).score, 4);
        QCOMPARE(all.at(0).when, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10)));
        QSqlQuery mode(QSqlDatabase::database(store.connectionName()));
        QVERIFY(mode.exec(QStringLiteral("PRAGMA journal_mode")) && mode.next());
        QCOMPARE(mode.value(0).toString(), QStringLiteral("wal"));
    }

    void killedWriterLeavesFinishedAttemptsOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("progress.db"));
        QProcess child;
        child.start(QStringLiteral(PROGRESS_WRITER), {path, QStringLiteral("11"), QStringLiteral("12")});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(child.readAllStandardOutput().contains("uncommitted"));
        // The killed connection left its WAL behind, as a real crash does.
        QVERIFY(QFileInfo::exists(path + QStringLiteral("-wal")));

        ProgressStore store;
        QCOMPARE(store.open(path), ProgressStore::Opened);
        const QList<ProgressStore::Attempt> all = store.attempts();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(0).situationId, 11);
        QCOMPARE(all.at(1).situationId, 12);
        QVERIFY(store.recordAttempt(attempt(13, 5)));
        QCOMPARE(store.attempts().size(), 3);
    }

    void damagedFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray("this is no database at all, just words").repeated(200);
        QByteArray header("SQLite format 3");
        header.append('\0');
        header.append(QByteArray(4080, '\x5a'));
        QTest::newRow("broken pages") << header;
    }

    void damagedFileIsSetAside()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("progress.db"));
        QVERIFY(TestFiles::write(path, content));
        ProgressStore store;
        QCOMPARE(store.open(path), ProgressStore::StartedAfterDamage);
        QVERIFY(store.setAsidePath().startsWith(path + QStringLiteral(".damaged-")));
        QCOMPARE(TestFiles::read(store.setAsidePath()), content);
        QVERIFY(store.recordAttempt(attempt(1, 5)));
        QCOMPARE(store.attempts().size(), 1);
    }

    void foreignDatabaseIsNotWrittenInto()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("progress.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE notes (t TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO notes VALUES ('keep me')")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
        ProgressStore store;
        QCOMPARE(store.open(path), ProgressStore::StartedAfterDamage);
        QVERIFY(TestFiles::read(store.setAsidePath()).contains("keep me"));
    }

    void secondDamageInTheSameSecondKeepsBoth()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("progress.db"));
        QStringList aside;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(TestFiles::write(path, QByteArray("junk ").repeated(100 + i)));
            ProgressStore store;
            QCOMPARE(store.open(path), ProgressStore::StartedAfterDamage);
            aside << store.setAsidePath();
        }
        QVERIFY(aside.at(0) != aside.at(1));
        QCOMPARE(TestFiles::read(aside.at(0)).size(), 500);
        QCOMPARE(TestFiles::read(aside.at(1)).size(), 505);
    }

    void missedSituationsWeakestFirst()
    {
        QTemporaryDir dir;
        ProgressStore store;
        QCOMPARE(store.open(dir.filePath(QStringLiteral("p.db"))), ProgressStore::Opened);
        // id: scores
        const QList<QPair<int, QList<int>>> plan = {
            {1, {5}},          // mastered
            {2, {3, 2}},       // best 3, average 2.5
            {3, {0}},          // best 0
            {4, {3, 3}},       // best 3, average 3
            {5, {2, 4}},       // mastered later
            {6, {0, 0, 0}},    // best 0, average 0, three attempts
            {7, {1}},
        };
        for (const auto &entry : plan) {
            for (int score : entry.second)
                QVERIFY(store.recordAttempt(attempt(entry.first, score)));
        }
        QList<int> order;
        for (const ProgressStore::SituationProgress &one : store.missedSituations())
            order << one.situationId;
        QCOMPARE(order, (QList<int>{6, 3, 7, 2, 4}));
    }

    void chapterStatistics()
    {
        QTemporaryDir dir;
        ProgressStore store;
        QCOMPARE(store.open(dir.filePath(QStringLiteral("p.db"))), ProgressStore::Opened);
        for (int score : {5, 3})
            QVERIFY(store.recordAttempt(attempt(10, score)));
        QVERIFY(store.recordAttempt(attempt(11, 2)));
        QVERIFY(store.recordAttempt(attempt(20, 4)));
        // chapter 0 holds 10, 11, 12 (12 never tried); chapter 1 holds 20; chapter 2 is empty.
        const QList<ProgressStore::ChapterStatistics> stats =
            store.chapterStatistics({{10, 11, 12}, {20}, {}});
        QCOMPARE(stats.size(), 3);
        QCOMPARE(stats.at(0).situations, 3);
        QCOMPARE(stats.at(0).tried, 2);
        QCOMPARE(stats.at(0).attempts, 3);
        QCOMPARE(stats.at(0).best, 3.5);                 // (5 + 2) / 2
        QCOMPARE(stats.at(0).average, 10.0 / 3.0);       // (5 + 3 + 2) / 3
        QCOMPARE(stats.at(0).mastered, 1.0 / 3.0);
        QCOMPARE(stats.at(1).mastered, 1.0);
        QCOMPARE(stats.at(2).tried, 0);
        QCOMPARE(stats.at(2).mastered, 0.0);
    }

    void mockTotalsCountFinishedOnly()
    {
        QTemporaryDir dir;
        ProgressStore store;
        QCOMPARE(store.open(dir.filePath(QStringLiteral("p.db"))), ProgressStore::Opened);
        const QDateTime first(QDate(2024, 3, 1), QTime(9, 0));
        const qint64 a = store.beginMock(first);
        QVERIFY(a > 0);
        for (int score : {5, 4, 3})
            QVERIFY(store.recordAttempt(attempt(score, score, 2, a)));
        QVERIFY(store.finishMock(a));
        const qint64 broken = store.beginMock(first.addDays(1));
        QVERIFY(store.recordAttempt(attempt(1, 5, 2, broken)));
        const qint64 b = store.beginMock(first.addDays(2));
        QVERIFY(store.recordAttempt(attempt(2, 1, 2, b)));
        QVERIFY(store.finishMock(b));
        QVERIFY(!store.finishMock(999));

        const QList<ProgressStore::MockTotal> totals = store.mockTotals();
        QCOMPARE(totals.size(), 2);
        QCOMPARE(totals.at(0).total, 12);
        QCOMPARE(totals.at(0).situations, 3);
        QCOMPARE(totals.at(0).when, first);
        QCOMPARE(totals.at(1).total, 1);
        // Every attempt of a mock still counts towards the situation's best.
        QCOMPARE(store.progressBySituation().value(1).best, 5);
    }

    void refusesScoresOutsideTheScale()
    {
        QTemporaryDir dir;
        ProgressStore store;
        QCOMPARE(store.open(dir.filePath(QStringLiteral("p.db"))), ProgressStore::Opened);
        QVERIFY(!store.recordAttempt(attempt(1, 6)));
        QVERIFY(!store.errorText().isEmpty());
        QVERIFY(store.attempts().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstProgressStore)
#include "tst_progressstore.moc"
