// Several hazard-server processes on one PostgreSQL database, as the centres
// of one authority run them, behave as one server whatever befalls one of them.
#include "Constants.h"
#include "ContestNameMessage.h"
#include "EnterResponseMessage.h"
#include "PgScratch.h"
#include "ServerCommand.h"
#include "TestFiles.h"
#include "TestStation.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

const QByteArray secret(57, 'c');
const QByteArray course("K1");
constexpr int licenceClass = 2;
// A whole examination: ten scores adding up to the total, the flag times,
// the situations.
const QByteArray detail = "5;4;3;5;5;1;0;5;4;3|4100;27300;44800;68000;90500;112900;0;160200;181700;205100|"
                          "2;5;9;14;15;18;21;22;23;24";
constexpr int total = 35;
// Candidates 101 to 199 of course K1, each with its number as its id.
constexpr int firstNumber = 101;
constexpr int candidateCount = 99;

void upload(TestStation &station, int id)
{
    const int passScore = Constants::passScores().value(licenceClass);
    station.uploadResult(id, course, total, passScore, total >= passScore, detail);
}

// A station past the challenge, or null.
std::unique_ptr<TestStation> station(quint16 port)
{
    auto station = std::make_unique<TestStation>();
    return station->connectTo(port) && station->authenticate(secret) ? std::move(station) : nullptr;
}

// Examines its candidates one after another as a station does, each
// followed by a round trip; a link the server closed is opened again and
// the candidate sent again.
struct Examiner
{
    bool done() const { return next == numbers.size(); }

    // Moves on without waiting for the server; candidates from `held` on
    // wait until `release` is true.
    void advance(int held, bool release)
    {
        if (done())
            return;
        if (link && !link->isConnected())
            link.reset(), ++reopened;
        if (!link && (link = station(port)))
            sent = false;
        if (!link)
            return;
        TestStation::Received answer;
        if (sent && link->waitFor(ContestNameMessage::messageType, &answer, 0)) {
            link->clearReceived();
            sent = false;
            ++next;
        }
        if (!sent && !done() && (next < held || release)) {
            const int number = numbers.at(next);
            link->enter(course, QByteArray::number(number));
            link->confirm(number, 0);
            upload(*link, number);
            link->requestCourses();
            sent = true;
        }
    }

    quint16 port;
    QList<int> numbers;
    int next = 0;
    bool sent = false;
    int reopened = 0;
    std::unique_ptr<TestStation> link;
};

} // namespace

Q_DECLARE_METATYPE(PgScratch::StopMode)

class TestSharedStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void holdAndResultAcrossServers();
    void databaseRestartUnderTraffic_data();
    void databaseRestartUnderTraffic();
    void outageAsTheOperatorSeesIt();

private:
    // How many results each candidate id has.
    QMap<int, int> storedResults();

    PgScratch m_pg;
    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<ServerCommand> m_command;
    QString m_database;
    quint16 m_ports[2] = {};
    int m_databases = 0;
};

void TestSharedStore::initTestCase()
{
    if (!m_pg.start()) {
        const QString why = QStringLiteral("cannot start a scratch PostgreSQL server: ") + m_pg.why();
        // Where PostgreSQL is installed on purpose, a skip would hide the
        // fault.
        QVERIFY2(!PgScratch::required(), qPrintable(why));
        QSKIP(qPrintable(why));
    }
}

// Two servers, centres A and B, on a fresh database.
void TestSharedStore::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_database = QStringLiteral("centres%1").arg(++m_databases);
    const QString url = m_pg.createDatabase(m_database);
    QVERIFY2(!url.isEmpty(), qPrintable(m_pg.why()));
    // The password; a killed server's control socket stays in the test's folder.
    QProcessEnvironment environment = m_pg.environment();
    environment.insert(QStringLiteral("TMPDIR"), m_dir->path());
    m_command.reset(new ServerCommand(url, m_dir->path(), environment));
    QByteArray csv = "number,course,class,pid,name,id\n";
    for (int n = firstNumber; n < firstNumber + candidateCount; ++n)
        csv += QStringLiteral("%1,K1,%2,0790%1,Nguyễn Văn %1,%1\n").arg(n).arg(licenceClass).toUtf8();
    QVERIFY(TestFiles::write(m_dir->filePath(QStringLiteral("candidates.csv")), csv));
    QString err;
    for (const QStringList &command : {QStringList{"init"}, QStringList{"add-course", "K1", "Khóa 1"},
                                       QStringList{"import", "candidates.csv"}})
        QVERIFY2(m_command->run(command, nullptr, &err) == 0, qPrintable(err));
    for (int i = 0; i < 2; ++i)
        QVERIFY((m_ports[i] = m_command->serve({"--listen", "127.0.0.1:0", "--secret", QString::fromLatin1(secret),
                                                "--centre", QStringLiteral("AB").mid(i, 1)}))
                != 0);
}

void TestSharedStore::cleanup()
{
    if (!m_pg.isRunning())
        m_pg.start();
    m_command.reset();
    m_dir.reset();
}

QMap<int, int> TestSharedStore::storedResults()
{
    bool ok = false;
    const QString rows =
        m_pg.query(m_database, QStringLiteral("SELECT candidate_id, count(*) FROM result GROUP BY candidate_id"), &ok);
    QMap<int, int> counts;
    if (!ok)
        counts.insert(-1, 1);
    for (const QString &row : rows.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        counts.insert(row.section(QLatin1Char('|'), 0, 0).toInt(), row.section(QLatin1Char('|'), 1).toInt());
    return counts;
}

void TestSharedStore::holdAndResultAcrossServers()
{
    const auto atA = station(m_ports[0]);
    const auto atB = station(m_ports[1]);
    QVERIFY(atA && atB);
    QCOMPARE(atA->entryCode(course, "101"), int(EnterResponseMessage::Admitted));
    QCOMPARE(atB->entryCode(course, "101"), int(EnterResponseMessage::AlreadyExamining));
    // Another candidate is free on B all the same.
    QCOMPARE(atB->entryCode(course, "102"), int(EnterResponseMessage::Admitted));

    // A station that lost its server sends the same result to the other
    // one: both arrive at once, one is stored.
    atA->confirm(101, 0);
    upload(*atA, 101);
    upload(*atB, 101);
    QVERIFY(atA->roundTrip() && atB->roundTrip());
    QCOMPARE(storedResults(), (QMap<int, int>{{101, 1}}));
    // The result stored through A is there for review through B.
    QCOMPARE(atB->entryCode(course, "101"), int(EnterResponseMessage::ReviewAvailable));

    // A server that dies lets go of its candidates: the database notices
    // the dead server's connection on its own.
    QCOMPARE(atA->entryCode(course, "103"), int(EnterResponseMessage::Admitted));
    QCOMPARE(atB->entryCode(course, "103"), int(EnterResponseMessage::AlreadyExamining));
    m_command->server(0).kill();
    QVERIFY(m_command->server(0).waitForFinished(30000));
    QVERIFY(atA->waitForDisconnected());
    QTRY_COMPARE_WITH_TIMEOUT(atB->entryCode(course, "103"), int(EnterResponseMessage::Admitted), 60000);
}
void TestSharedStore::databaseRestartUnderTraffic_data()
{
    QTest::addColumn<PgScratch::StopMode>("mode");
    QTest::newRow("fast shutdown") << PgScratch::StopMode::Fast;
    QTest::newRow("crash") << PgScratch::StopMode::Immediate;
}

void TestSharedStore::databaseRestartUnderTraffic()
{
    QFETCH(PgScratch::StopMode, mode);
    // Four stations on each server, six candidates each; the last three
    // of each go out only once the database is down.
    constexpr int stations = 8;
    constexpr int perStation = 6;
    constexpr int held = 3;
    std::vector<Examiner> examiners(stations);
    for (int i = 0; i < stations; ++i) {
        examiners[size_t(i)].port = m_ports[i % 2];
        for (int k = 0; k < perStation; ++k)
            examiners[size_t(i)].numbers.append(firstNumber + i * perStation + k);
    }
    std::atomic<bool> down{false}, stopped{false}, started{false};
    for (Examiner &e : examiners)
        e.advance(held, false);
    // The stations' traffic is in flight when the database goes.
    std::thread restart([&] {
        stopped = m_pg.stop(mode);
        down = true;
        started = m_pg.start();
    });
    const auto allDone = [&] {
        bool done = true;
        for (Examiner &e : examiners) {
            e.advance(held, down);
            done = done && e.done();
        }
        return done;
    };
    const bool finished = QTest::qWaitFor(allDone, 180000);
    restart.join();
    QVERIFY2(stopped && started, qPrintable(m_pg.why()));
    QVERIFY(finished);

    // Every result stored once.
    QMap<int, int> once;
    int reopened = 0;
    for (int n = firstNumber; n < firstNumber + stations * perStation; ++n)
        once.insert(n, 1);
    QCOMPARE(storedResults(), once);
    // Uploads went out while the database was down: their links were
    // closed, and the stations had to send them again.
    for (const Examiner &e : examiners)
        reopened += e.reopened;
    QVERIFY(reopened > 0);

    // Both servers serve on, neither restarted.
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(m_command->server(i).state(), QProcess::Running);
        const auto check = station(m_ports[i]);
        QVERIFY(check);
        QCOMPARE(check->entryCode(course, QByteArray::number(firstNumber)),
                 int(EnterResponseMessage::ReviewAvailable));
    }
}

void TestSharedStore::outageAsTheOperatorSeesIt()
{
    const QString logFile = m_dir->filePath(QStringLiteral("c.log"));
    const quint16 port = m_command->serve({"--listen", "127.0.0.1:0", "--secret", QString::fromLatin1(secret)}, logFile);
    QVERIFY(port != 0);
    const auto log = [&] {
        QFile file(logFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QVERIFY2(m_pg.stop(), qPrintable(m_pg.why()));
    // No course list rather than an empty one: the station asks again on
    // a new link.
    const auto asking = station(port);
    QVERIFY(asking);
    asking->requestCourses();
    QVERIFY(asking->waitForDisconnected());
    QVERIFY(asking->received().isEmpty());
    // The reason, the database's own, is told once however often the
    // server tries, and given for what fails meanwhile.
    const QString retrying = QStringLiteral("trying again until it answers");
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(retrying), 30000);
    const auto entering = station(port);
    QVERIFY(entering);
    QCOMPARE(entering->entryCode(course, "101"), int(EnterResponseMessage::Error));
    QVERIFY2(m_pg.start(), qPrintable(m_pg.why()));
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("restored")), 30000);
    TestStation::Received list;
    entering->requestCourses();
    QVERIFY(entering->waitFor(ContestNameMessage::messageType, &list));
    QCOMPARE(list.codes, course);
    const QString text = log();
    QCOMPARE(text.count(retrying), 1);
    QCOMPARE(text.count(QLatin1String("restored")), 1);
    QVERIFY2(text.contains(QLatin1String("Connection refused")) && !text.contains(QLatin1String("Driver not loaded")),
             qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("number 101 -> -1: .*Connection refused"))), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestSharedStore)
#include "tst_sharedstore.moc"
