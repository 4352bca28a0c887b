// Several hazard-server processes on one PostgreSQL database, as the
// examination centres of one authority run them: they must behave as one
// server towards the stations, whatever happens to one of them or to the
// database.
#include "Constants.h"
#include "ContestNameMessage.h"
#include "CsvTable.h"
#include "EnterResponseMessage.h"
#include "PgScratch.h"
#include "TestStation.h"

#include <QProcess>
#include <QRegularExpression>
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

struct Server
{
    ~Server()
    {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            process->waitForFinished(30000);
        }
    }

    std::unique_ptr<QProcess> process;
    quint16 port = 0;
};

void upload(TestStation &station, int id)
{
    const int passScore = Constants::passScores().value(licenceClass);
    station.uploadResult(id, course, total, passScore, total >= passScore, detail);
}

// Examines its candidates one after another, each as a station does (entry,
// start, upload) followed by a course list round trip, which comes back only
// once the result is stored. A link the server closed is opened again and
// the candidate sent again.
class Examiner
{
public:
    Examiner(quint16 port, QList<int> numbers)
        : m_port(port)
        , m_numbers(std::move(numbers))
    {
    }

    bool done() const { return m_next == m_numbers.size(); }
    int reopened() const { return m_reopened; }

    // Moves on without waiting for the server; candidates from `held` on
    // wait until `release` is true.
    void advance(int held, bool release)
    {
        if (done())
            return;
        if (m_station && !m_station->isConnected()) {
            m_station.reset();
            ++m_reopened;
        }
        if (!m_station) {
            auto station = std::make_unique<TestStation>();
            if (!station->connectTo(m_port) || !station->authenticate(secret))
                return;
            m_station = std::move(station);
            m_sent = false;
        }
        TestStation::Received answer;
        if (m_sent && m_station->waitFor(ContestNameMessage::messageType, &answer, 0)) {
            m_station->clearReceived();
            m_sent = false;
            ++m_next;
        }
        if (!m_sent && !done() && (m_next < held || release)) {
            const int number = m_numbers.at(m_next);
            m_station->enter(course, QByteArray::number(number));
            m_station->confirm(number, 0);
            upload(*m_station, number);
            m_station->requestCourses();
            m_sent = true;
        }
    }

private:
    quint16 m_port;
    QList<int> m_numbers;
    int m_next = 0;
    bool m_sent = false;
    int m_reopened = 0;
    std::unique_ptr<TestStation> m_station;
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
    void killedServerReleasesItsHolds();
    void databaseRestartUnderTraffic_data();
    void databaseRestartUnderTraffic();
    void refusesANewerDatabase();

private:
    // The password, and the test's folder for the servers' control sockets,
    // which a killed server leaves behind.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment e = m_pg.environment();
        e.insert(QStringLiteral("TMPDIR"), m_dir->path());
        return e;
    }
    int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr);
    bool serve(const QString &centre, Server *server);
    // A station past the challenge.
    std::unique_ptr<TestStation> station(const Server &server);
    // How many results each candidate number has.
    QMap<int, int> storedResults();

    PgScratch m_pg;
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_url;
    QString m_database;
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

void TestSharedStore::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_database = QStringLiteral("centres%1").arg(++m_databases);
    m_url = m_pg.createDatabase(m_database);
    QVERIFY2(!m_url.isEmpty(), qPrintable(m_pg.why()));
    QString err;
    QVERIFY2(run({"init"}, nullptr, &err) == 0, qPrintable(err));
    QVERIFY2(run({"add-course", "K1", "Khóa 1"}, nullptr, &err) == 0, qPrintable(err));
    QByteArray csv = "number,course,class,pid,name,id\n";
    for (int n = firstNumber; n < firstNumber + candidateCount; ++n)
        csv += QStringLiteral("%1,K1,%2,0790%1,Nguyễn Văn %1,%1\n").arg(n).arg(licenceClass).toUtf8();
    QFile file(m_dir->filePath(QStringLiteral("candidates.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size());
    file.close();
    QVERIFY2(run({"import", file.fileName()}, nullptr, &err) == 0, qPrintable(err));
}

void TestSharedStore::cleanup()
{
    m_dir.reset();
}

int TestSharedStore::run(const QStringList &args, QString *out, QString *err)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(HAZARD_SERVER_BIN), QStringList{"--db", m_url} + args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -100;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

bool TestSharedStore::serve(const QString &centre, Server *server)
{
    server->process = std::make_unique<QProcess>();
    QProcess &process = *server->process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_dir->path());
    // The server's log shows with a failing test's output.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(HAZARD_SERVER_BIN),
                  {"--db", m_url, "serve", "--listen", "127.0.0.1:0", "--secret", QString::fromLatin1(secret),
                   "--centre", centre});
    if (!QTest::qWaitFor([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 60000))
        return false;
    const QString line = QString::fromUtf8(process.readLine()).trimmed();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$")).match(line);
    if (!match.hasMatch()) {
        qWarning().noquote() << "serve" << centre << "printed:" << line;
        return false;
    }
    server->port = quint16(match.captured(1).toUInt());
    return true;
}

std::unique_ptr<TestStation> TestSharedStore::station(const Server &server)
{
    auto station = std::make_unique<TestStation>();
    if (!station->connectTo(server.port) || !station->authenticate(secret))
        return nullptr;
    return station;
}

QMap<int, int> TestSharedStore::storedResults()
{
    QMap<int, int> counts;
    QString out;
    QString err;
    if (run({"results", "--csv"}, &out, &err) != 0) {
        qWarning().noquote() << err;
        counts.insert(-1, 1);
        return counts;
    }
    QList<CsvTable::Row> rows;
    QString why;
    if (!CsvTable::parse(out, &rows, &why) || rows.isEmpty()) {
        counts.insert(-1, 1);
        return counts;
    }
    const int number = rows.first().fields.indexOf(QStringLiteral("number"));
    for (const CsvTable::Row &row : rows.mid(1))
        ++counts[row.fields.value(number).toInt()];
    return counts;
}

void TestSharedStore::holdAndResultAcrossServers()
{
    Server a;
    Server b;
    QVERIFY(serve(QStringLiteral("A"), &a));
    QVERIFY(serve(QStringLiteral("B"), &b));
    const auto atA = station(a);
    const auto atB = station(b);
    QVERIFY(atA && atB);

    int id = 0;
    QCOMPARE(atA->entryCode(course, "101", &id), int(EnterResponseMessage::Admitted));
    QCOMPARE(id, 101);
    QCOMPARE(atB->entryCode(course, "101"), int(EnterResponseMessage::AlreadyExamining));
    // Another candidate is free on B all the same.
    QCOMPARE(atB->entryCode(course, "102"), int(EnterResponseMessage::Admitted));

    // A station that lost its server sends the same result to the other
    // one: both arrive at once, one is stored.
    atA->confirm(101, 0);
    upload(*atA, 101);
    upload(*atB, 101);
    QVERIFY(atA->roundTrip());
    QVERIFY(atB->roundTrip());
    QCOMPARE(storedResults(), (QMap<int, int>{{101, 1}}));
    bool ok = false;
    QCOMPARE(m_pg.query(m_database, QStringLiteral("SELECT count(*) FROM result"), &ok), QStringLiteral("1"));
    QVERIFY2(ok, qPrintable(m_pg.why()));

    // The result stored through A is there for review through B.
    QCOMPARE(atB->entryCode(course, "101"), int(EnterResponseMessage::ReviewAvailable));
}

void TestSharedStore::killedServerReleasesItsHolds()
{
    Server a;
    Server b;
    QVERIFY(serve(QStringLiteral("A"), &a));
    QVERIFY(serve(QStringLiteral("B"), &b));
    const auto atA = station(a);
    const auto atB = station(b);
    QVERIFY(atA && atB);
    QCOMPARE(atA->entryCode(course, "103"), int(EnterResponseMessage::Admitted));
    QCOMPARE(atB->entryCode(course, "103"), int(EnterResponseMessage::AlreadyExamining));

    a.process->kill();
    QVERIFY(a.process->waitForFinished(30000));
    QVERIFY(atA->waitForDisconnected());
    // The database notices the dead server's connection on its own.
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
    Server servers[2];
    QVERIFY(serve(QStringLiteral("A"), &servers[0]));
    QVERIFY(serve(QStringLiteral("B"), &servers[1]));

    // Four stations on each server, six candidates each; the last three
    // of each go out only once the database is down.
    constexpr int stations = 8;
    constexpr int perStation = 6;
    constexpr int held = 3;
    std::vector<std::unique_ptr<Examiner>> examiners;
    for (int i = 0; i < stations; ++i) {
        QList<int> numbers;
        for (int k = 0; k < perStation; ++k)
            numbers.append(firstNumber + i * perStation + k);
        examiners.push_back(std::make_unique<Examiner>(servers[i % 2].port, numbers));
    }
    std::atomic<bool> down{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> started{false};
    for (auto &e : examiners)
        e->advance(held, false);
    // The stations' traffic is in flight when the database goes.
    std::thread restart([&] {
        stopped = m_pg.stop(mode);
        down = true;
        started = m_pg.start();
    });
    const auto allDone = [&] {
        bool done = true;
        for (auto &e : examiners) {
            e->advance(held, down);
            done = done && e->done();
        }
        return done;
    };
    const bool finished = QTest::qWaitFor(allDone, 180000);
    restart.join();
    QVERIFY2(stopped && started, qPrintable(m_pg.why()));
    QVERIFY(finished);

    // Every result stored once: listed as number x count where not.
    const QMap<int, int> stored = storedResults();
    QStringList wrong;
    for (int n = firstNumber; n < firstNumber + stations * perStation; ++n) {
        if (stored.value(n) != 1)
            wrong.append(QStringLiteral("%1 x %2").arg(n).arg(stored.value(n)));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral(", "))));
    QCOMPARE(stored.size(), stations * perStation);
    int reopened = 0;
    for (auto &e : examiners)
        reopened += e->reopened();
    // Uploads went out while the database was down: their links were
    // closed, and the stations had to send them again.
    QVERIFY(reopened > 0);

    // Both servers serve on, neither restarted.
    for (const Server &s : servers) {
        QCOMPARE(s.process->state(), QProcess::Running);
        const auto check = station(s);
        QVERIFY(check);
        QCOMPARE(check->entryCode(course, QByteArray::number(firstNumber)),
                 int(EnterResponseMessage::ReviewAvailable));
    }
}

void TestSharedStore::refusesANewerDatabase()
{
    bool ok = false;
    const QString version = m_pg.query(m_database, QStringLiteral("SELECT version FROM schema_version"), &ok);
    QVERIFY2(ok, qPrintable(m_pg.why()));
    m_pg.query(m_database, QStringLiteral("UPDATE schema_version SET version = 999"), &ok);
    QVERIFY2(ok, qPrintable(m_pg.why()));
    for (const QStringList &command : {QStringList{"init"}, QStringList{"serve", "--listen", "127.0.0.1:0"}}) {
        QString err;
        QCOMPARE(run(command, nullptr, &err), 1);
        // Both versions named, so that the operator knows which server to run.
        const QRegularExpression both(
            QStringLiteral("\\b999\\b.*\\b%1\\b|\\b%1\\b.*\\b999\\b").arg(version));
        QVERIFY2(err.contains(both), qPrintable(err));
    }
    QCOMPARE(m_pg.query(m_database, QStringLiteral("SELECT version FROM schema_version"), &ok), QStringLiteral("999"));
}

QTEST_GUILESS_MAIN(TestSharedStore)
#include "tst_sharedstore.moc"
