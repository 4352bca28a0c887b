#include "ControlChannel.h"
#include "CsvTable.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseMessage.h"
#include "ServerStore.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoMessage.h"
#include "ServerCommand.h"
#include "TestFiles.h"
#include "TestStation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

class TestServerCli : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void help();
    void badUsage_data();
    void badUsage();
    void initCreatesOnceRefusesAForeignDatabase();
    void addCourseAndCandidate();
    void importIsAllOrNothing();
    void resultsInADayRange_data();
    void resultsInADayRange();
    void addResultStoresAReviewableResultOnce();
    void serveAnswersAndPushReachesStations();
    void settingsFileStandsInForTheOptions();

private:
    // Runs a command on the test's database; run() without that --db.
    int onDb(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return m_command->run(args, out, err);
    }
    static int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return ServerCommand::execute(QStringLiteral(HAZARD_SERVER_BIN), args, out, err);
    }
    // An initialised database with course K1.
    void initWithCourse();
    QString db() const { return m_dir->filePath(QStringLiteral("server.db")); }
    QString write(const QString &name, const QByteArray &content);

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<ServerCommand> m_command;
};

void TestServerCli::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_command.reset(new ServerCommand(db(), m_dir->path()));
}

void TestServerCli::cleanup()
{
    m_command.reset();
    m_dir.reset();
}

void TestServerCli::initWithCourse()
{
    QCOMPARE(onDb({"init"}), 0);
    QCOMPARE(onDb({"add-course", "K1", "Khóa 1"}), 0);
}

QString TestServerCli::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    return TestFiles::write(path, content) ? path : QString();
}

void TestServerCli::help()
{
    QString out;
    QCOMPARE(run({"--help"}, &out), 0);
    for (const char *word : {"init", "add-course", "add-candidate", "set-state", "import", "add-result", "results",
                             "serve", "push", "--db", "ready", "examined", "theory-not-passed", "not-required"})
        QVERIFY2(out.contains(QLatin1String(word)), word);
    for (const char *c : {"init", "add-course", "add-candidate", "set-state", "import", "add-result", "candidates",
                          "results", "serve", "push", "status", "sheet"}) {
        QCOMPARE(run({QLatin1String(c), "--help"}, &out), 0);
        QVERIFY2(out.startsWith(QStringLiteral("Usage: hazard-server ") + QLatin1String(c)) && out.contains("--db"), c);
    }
    // Help never touches the database.
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("hazard-server.db"))));
}

void TestServerCli::badUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("database not initialised") << QStringList{"add-course", "K1", "Khóa 1"} << 1
                                              << "hazard-server init";
    QTest::newRow("missing argument") << QStringList{"add-course", "K1"} << 2 << "";
    QTest::newRow("bad secret") << QStringList{"serve", "--secret", "ABC"} << 2 << "";
    QTest::newRow("unknown licence class") << QStringList{"add-candidate", "--course", "K1", "--number", "1",
                                                          "--class", "Z9", "--pid", "1", "--name", "A"} << 2 << "";
}

void TestServerCli::badUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QString err;
    QCOMPARE(onDb(args, nullptr, &err), exitCode);
    QVERIFY2(!err.isEmpty() && err.contains(message), qPrintable(err));
    QVERIFY(!QFile::exists(db()));
}

void TestServerCli::initCreatesOnceRefusesAForeignDatabase()
{
    QString out;
    QCOMPARE(run({"init", "--db", db()}, &out), 0);
    QVERIFY(out.contains(QLatin1String("created")));
    QCOMPARE(QFile::permissions(db()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                                         | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    QCOMPARE(onDb({"add-course", "K1", "Khóa 1"}), 0);
    QCOMPARE(run({"init", "--db", db()}, &out), 0);
    QVERIFY(out.contains(QLatin1String("ready")));
    // A second init kept what was there.
    QCOMPARE(onDb({"add-course", "K1", "Khóa 1"}), 1);

    const QString foreign = m_dir->filePath(QStringLiteral("foreign.db"));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(foreign);
        QVERIFY(other.open() && QSqlQuery(other).exec(QStringLiteral("CREATE TABLE video (id INTEGER)")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QString err;
    QCOMPARE(run({"init", "--db", foreign}, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("another kind of database")), qPrintable(err));
}

void TestServerCli::addCourseAndCandidate()
{
    initWithCourse();
    QString err;
    const QByteArray photo = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'p');
    const QStringList candidate{"add-candidate", "--course", "K1", "--number", "0042", "--class", "fe",
                                "--pid", "079123456789", "--name", "Trần Thị Bích", "--photo",
                                write(QStringLiteral("face.png"), photo), "--state", "theory-not-passed"};
    QCOMPARE(onDb(candidate), 0);
    QCOMPARE(onDb(candidate, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("already registered")), qPrintable(err));
    QCOMPARE(onDb({"set-state", "K1", "0042", "ready"}), 0);
    QCOMPARE(onDb({"set-state", "K1", "0043", "ready"}), 1);

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("0042"), &c), ServerStore::Lookup::Found);
    QCOMPARE((QStringList{QString::number(c.licenceClass), c.pid, c.fullName, c.photoBase64}),
             (QStringList{"9", "079123456789", "Trần Thị Bích", QString::fromLatin1(photo.toBase64())}));
    QCOMPARE(c.state, CandidateState::Ready);
}

void TestServerCli::importIsAllOrNothing()
{
    initWithCourse();
    QCOMPARE(onDb({"add-course", "K2", "Khóa 2"}), 0);
    QCOMPARE(onDb({"add-candidate", "--course", "K1", "--number", "900", "--class", "B2", "--pid", "1", "--name",
                   "A"}),
             0);
    const QString csv = write(QStringLiteral("bad.csv"),
                              "number,course,class,pid,name,state\n"
                              "101,K1,B2,0791,Good Row,\n"        // 2: fine
                              "102,K9,B2,0792,No Course,\n"       // 3: unknown course
                              "103,K1,Z,0793,Bad Class,\n"        // 4: licence class
                              "104,K1,B2,0794,,\n"                // 5: empty name
                              "105,K1,B2,0795,Bad State,asleep\n" // 6: state
                              "101,K1,B2,0796,Twice,\n"           // 7: repeated in the file
                              "900,K1,B2,0797,Registered,\n"      // 8: already in the database
                              "106,K1,B2\n");                     // 9: short row
    QString err;
    QCOMPARE(onDb({"import", csv}, nullptr, &err), 1);
    for (int line = 3; line <= 9; ++line)
        QVERIFY2(err.contains(QStringLiteral("line %1:").arg(line)), qPrintable(err));
    QVERIFY(!err.contains(QLatin1String("line 2:")));
    QVERIFY(err.contains(QLatin1String("nothing imported")));

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    QList<CandidateRecord> list;
    QVERIFY(store.candidatesOfCourse(QStringLiteral("K1"), &list));
    QCOMPARE(list.size(), 1);

    QDir(m_dir->path()).mkdir(QStringLiteral("photos"));
    write(QStringLiteral("photos/a.jpg"), "\xff\xd8\xff jpeg");
    const QString good = write(QStringLiteral("good.csv"),
                              "\xEF\xBB\xBF" "Name,Number,Course,Class,PID,Photo,State,Id\r\n"
                              "\"Lê, Văn \"\"Cu\"\"\",201,K1,B1,0791,photos/a.jpg,,\r\n"
                              "\r\n"
                              "Phạm Thị D,202,K2,3,0792,,examined,77\r\n");
    QString out;
    QCOMPARE(onDb({"import", good}, &out, &err), 0);
    QVERIFY2(out.contains(QLatin1String("imported 2")), qPrintable(out + err));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("201"), &c), ServerStore::Lookup::Found);
    QCOMPARE((QStringList{c.fullName, QString::number(c.licenceClass), c.photoBase64}),
             (QStringList{"Lê, Văn \"Cu\"", "1", QString::fromLatin1(QByteArray("\xff\xd8\xff jpeg").toBase64())}));
    QCOMPARE(c.state, CandidateState::Ready);
    QCOMPARE(store.candidate(QStringLiteral("K2"), QStringLiteral("202"), &c), ServerStore::Lookup::Found);
    QCOMPARE((QList<int>{c.id, c.licenceClass, c.state}), (QList<int>{77, 3, CandidateState::Examined}));
}

void TestServerCli::resultsInADayRange_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("numbers"); // listed, oldest first
    QTest::newRow("one day") << QStringList{"--from", "2024-03-05", "--to", "2024-03-05"} << 0 << "602 603";
    QTest::newRow("from a day on") << QStringList{"--from", "2024-03-05"} << 0 << "602 603 604";
    QTest::newRow("up to a day") << QStringList{"--to", "2024-03-05", "--course", "K1"} << 0 << "601 602 603";
    QTest::newRow("another course") << QStringList{"--course", "K2"} << 0 << "";
    QTest::newRow("from after to") << QStringList{"--from", "2024-03-06", "--to", "2024-03-05"} << 2 << "";
    QTest::newRow("not a day") << QStringList{"--from", "2024-02-30"} << 2 << "";
}

void TestServerCli::resultsInADayRange()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, numbers);
    initWithCourse();
    QString out;
    QString err;
    QCOMPARE(onDb({"results"}, &out), 0);
    QVERIFY(out.contains(QLatin1String("no results")));
    // Days are the operator's local days; a zone far from UTC tells the two apart.
    const QTimeZone zone("Asia/Ho_Chi_Minh");
    QVERIFY(zone.isValid());
    const QByteArray oldTz = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", zone.id());
    const auto restoreTz = qScopeGuard([&] { hadTz ? qputenv("TZ", oldTz) : qunsetenv("TZ"); });
    // Both edges of 5 March, local time.
    const QDateTime times[] = {
        QDateTime(QDate(2024, 3, 4), QTime(23, 59, 59, 999), zone), QDateTime(QDate(2024, 3, 5), QTime(0, 0), zone),
        QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59, 999), zone), QDateTime(QDate(2024, 3, 6), QTime(0, 0), zone)};
    const QString detail = QStringLiteral("5;5;5;5;5;5;5;5;5;5|1;2;3;4;5;6;7;8;9;10|1;2;3;4;5;6;7;8;9;10");
    {
        ServerStore store;
        QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
        for (int i = 0; i < 4; ++i) {
            // A registration can carry anything; a spreadsheet must not run it.
            CandidateRecord c{0, QString::number(601 + i), QStringLiteral("K1"), 2, QStringLiteral("0791"),
                              QStringLiteral("=HYPERLINK(\"http://x\", \"%1\")").arg(601 + i), QString(),
                              CandidateState::Ready};
            QVERIFY(store.addCandidate(&c));
            const ResultRecord r{0, c.id, c.courseCode, 50, 35, true, detail, times[i], {}, {}, {}, {}, 0, {}};
            QCOMPARE(store.storeResult(r), ServerStore::Upload::Stored);
        }
    }
    QCOMPARE(onDb(QStringList{"results", "--csv"} + args, &out, &err), exitCode);
    if (exitCode != 0) {
        QVERIFY2(err.contains(QLatin1String("--from")), qPrintable(err));
        return;
    }
    QList<CsvTable::Row> rows;
    QString why;
    QVERIFY2(CsvTable::parse(out, &rows, &why), qPrintable(why));
    QVERIFY(!rows.isEmpty());
    const QStringList header = rows.takeFirst().fields;
    QCOMPARE(header.last(), QStringLiteral("centre"));
    QStringList listed;
    for (const CsvTable::Row &row : rows) {
        QCOMPARE(row.fields.size(), header.size());
        auto field = [&](const char *name) { return row.fields.value(header.indexOf(QLatin1String(name))); };
        listed << field("number");
        QCOMPARE(field("name"), QStringLiteral("'=HYPERLINK(\"http://x\", \"%1\")").arg(field("number")));
        QCOMPARE((QStringList{field("course"), field("class"), field("pid"), field("total"), field("pass_score"),
                              field("passed"), field("detail")}),
                 (QStringList{"K1", "B2", "0791", "50", "35", "1", detail}));
        QVERIFY(QDateTime::fromString(field("received_at"), Qt::ISODate).isValid());
    }
    QCOMPARE(listed.join(QLatin1Char(' ')), numbers);
}

void TestServerCli::addResultStoresAReviewableResultOnce()
{
    initWithCourse();
    const QString csv = write(QStringLiteral("c.csv"),
                              "number,course,class,pid,name,state\n"
                              "401,K1,D,0791,Đỗ Văn H,ready\n"
                              "402,K1,B2,0792,Ngô Thị I,theory-not-passed\n");
    QCOMPARE(onDb({"import", csv}), 0);
    QString out;
    QString err;
    auto addResult = [&](const char *number, const char *detail) {
        return onDb({"add-result", "K1", number, detail}, &out, &err);
    };
    const char passing[] = "5;4;3;5;5;1;0;5;4;3|4100;27300;44800;68000;90500;112900;0;160200;181700;205100|"
                           "2;5;9;14;15;18;21;22;23;24";

    // Refused before anything is stored: the detail, the candidate, the
    // candidate's state.
    const QList<QPair<QStringList, QString>> refusals{{{"401", "5;4;3|1;2;3|1;2;3"}, "refused"},
                                                      {{"401", "5;x|1|1"}, "bad detail"},
                                                      {{"499", passing}, "no candidate 499"},
                                                      {{"402", passing}, "not ready"}};
    for (const auto &refusal : refusals) {
        QCOMPARE(onDb(QStringList{"add-result", "K1"} + refusal.first, &out, &err), 1);
        QVERIFY2(err.contains(refusal.second), qPrintable(err));
    }

    QCOMPARE(addResult("401", passing), 0);
    QVERIFY2(out.contains(QLatin1String("35/50, passed (pass mark 35)")), qPrintable(out + err));
    // Entered twice, stored once; another result of an examined candidate is refused.
    QCOMPARE(addResult("401", passing), 0);
    QVERIFY2(out.contains(QLatin1String("stored already")), qPrintable(out + err));
    QCOMPARE(addResult("401", "0;4;3;5;5;1;0;5;4;3|0;27300;44800;68000;90500;112900;0;160200;181700;205100|"
                              "2;5;9;14;15;18;21;22;23;24"),
             1);

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("401"), &c), ServerStore::Lookup::Found);
    QCOMPARE(c.state, CandidateState::Examined);
    // What the output above told is what was stored, once.
    QList<ResultRecord> all;
    QVERIFY(store.results(QString(), &all));
    QCOMPARE(all.size(), 1);
    QCOMPARE((QList<int>{all.first().total, all.first().passScore, all.first().passed}), (QList<int>{35, 35, 1}));
    QCOMPARE(all.first().detail, QLatin1String(passing));
}

void TestServerCli::serveAnswersAndPushReachesStations()
{
    initWithCourse();
    const QByteArray secret(57, 'c');
    const quint16 port = m_command->serve({"--listen", "127.0.0.1:0", "--secret", QString::fromLatin1(secret)});
    const QString controlSocket = ControlChannel::socketPathFor(*ServerStore::controlKey(db(), 0));
    QVERIFY(port != 0 && QFile::exists(controlSocket));
    // A database file has its socket next to it.
    QCOMPARE(controlSocket, QFileInfo(db()).absoluteFilePath() + QStringLiteral(".ctl"));
    // Without a settings file the control socket is its owner's alone.
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFileInfo(controlSocket).permissions() & others, QFileDevice::Permissions());

    TestStation station;
    QVERIFY(station.connectTo(port) && station.authenticate(secret) && station.roundTrip());

    // The operator registers a candidate while the server runs; the next
    // entry finds it.
    QCOMPARE(onDb({"add-candidate", "--course", "K1", "--number", "501", "--class", "C", "--pid", "0795", "--name",
                   "Hồ Văn G"}),
             0);
    station.enter("K1", "501");
    TestStation::Received entry;
    QVERIFY(station.waitFor(EnterResponseMessage::encryptedType, &entry));
    QCOMPARE(QPoint(entry.code, entry.cert), QPoint(0, 3));
    station.clearReceived();

    QString out;
    QCOMPARE(onDb({"status"}, &out), 0);
    QVERIFY2(out.contains(QLatin1String("1 station(s) connected, 1 past the challenge")), qPrintable(out));

    // One server per database.
    QString err;
    QCOMPARE(onDb({"serve", "--listen", "127.0.0.1:0"}, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("already serves")), qPrintable(err));

    const QByteArray content(200000, 'v');
    const QString file = write(QStringLiteral("clip.mp4"), content);
    QCOMPARE(onDb({"push", file, "videos/clip.mp4"}, &out, &err), 0);
    QVERIFY2(out.contains(QLatin1String("1 station(s)")), qPrintable(out + err));
    TestStation::Received end;
    QVERIFY(station.waitFor(EndSyncVideoMessage::messageType, &end, 60000));
    QByteArray received;
    QByteArray name;
    for (const TestStation::Received &r : station.received()) {
        if (r.wireType == StartSyncVideoMessage::messageType)
            name = r.text;
        else if (r.wireType == SyncVideoMessage::messageType)
            received += r.text;
    }
    QCOMPARE(name, QByteArray("videos/clip.mp4"));
    QVERIFY(received == content);

    QProcess &server = m_command->server(0);
    server.terminate();
    QVERIFY(server.waitForFinished(30000));
    QCOMPARE(server.exitStatus() == QProcess::NormalExit ? server.exitCode() : -1, 0);
    QVERIFY(station.waitForDisconnected());
    QVERIFY(!QFile::exists(controlSocket));
    QCOMPARE(onDb({"push", file, "videos/clip.mp4"}, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("no hazard-server")), qPrintable(err));
    QCOMPARE(onDb({"status"}, nullptr, &err), 1);
}

void TestServerCli::settingsFileStandsInForTheOptions()
{
    // Where an installed server keeps its database, named only in the file.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("state")));
    const QString serviceDb = m_dir->filePath(QStringLiteral("state/service.db"));
    const QString settings = write(QStringLiteral("hazard-server.conf"),
                                   "# the centre's server\n"
                                   "DB = \"" + serviceDb.toUtf8() + "\"\n"
                                   "\n"
                                   "LISTEN=127.0.0.1:0\n"
                                   "CENTRE=Trung tâm sát hạch\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HAZARD_SERVER_SETTINGS"), settings);
    const ServerCommand operatorShell(db(), m_dir->path(), environment);
    auto command = [&](const QStringList &args, QString *out = nullptr, QString *err = nullptr) {
        return ServerCommand::execute(QStringLiteral(HAZARD_SERVER_BIN), args, out, err, &operatorShell);
    };

    QCOMPARE(command({"init"}), 0);
    QVERIFY(QFile::exists(serviceDb));
    QVERIFY(!QFile::exists(db()));
    QCOMPARE(command({"add-course", "K1", "Khóa 1"}), 0);
    // The command line still wins.
    QCOMPARE(command({"--db", db(), "init"}), 0);
    QVERIFY(QFile::exists(db()));

    QProcess server;
    server.setProcessEnvironment(environment);
    server.setWorkingDirectory(m_dir->path());
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(HAZARD_SERVER_BIN), {QStringLiteral("serve")});
    auto stop = qScopeGuard([&server] {
        server.terminate();
        server.waitForFinished(30000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine() || server.state() == QProcess::NotRunning, 60000);
    const QString listening = QString::fromUtf8(server.readLine());
    QVERIFY2(QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:\\d+\\n$")).match(listening).hasMatch()
                 && !listening.contains(QLatin1String(":6886")),
             qPrintable(listening));

    // An installed server's operators reach it through its group.
    const QFileInfo socket(ControlChannel::socketPathFor(*ServerStore::controlKey(serviceDb, 0)));
    QVERIFY(socket.exists());
    QCOMPARE(socket.permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup),
             QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    QCOMPARE(socket.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther), QFileDevice::Permissions());
    QString out;
    QCOMPARE(command({"status"}, &out), 0);
    QVERIFY2(out.contains(serviceDb + QStringLiteral(": 0 station(s) connected")), qPrintable(out));

    // A file that does not read as settings stops every command.
    QVERIFY(!write(QStringLiteral("hazard-server.conf"), "DB=x.db\nLISEN=127.0.0.1:1\n").isEmpty());
    QString err;
    QCOMPARE(command({"results"}, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("line 2")), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestServerCli)
#include "tst_servercli.moc"
