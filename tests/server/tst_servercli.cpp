#include "ControlChannel.h"
#include "CsvTable.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseMessage.h"
#include "ServerStore.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoMessage.h"
#include "TestStation.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestServerCli : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void helpNamesCommandsAndStates();
    void commandHelp_data();
    void commandHelp();
    void badUsage_data();
    void badUsage();
    void commandsNeedAnInitialisedDatabase();
    void initCreatesWalDatabaseOnce();
    void initRefusesAForeignDatabase();
    void addCourseAndCandidate();
    void photoTooLargeForOneAnswer();
    void importRejectsBadRowsAndStoresNothing();
    void importStoresEveryRow();
    void resultsAsCsv();
    void addResultStoresAReviewableResultOnce();
    void serveAnswersAndPushReachesStations();

private:
    int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr);
    QString db() const { return m_dir->filePath(QStringLiteral("server.db")); }
    QString write(const QString &name, const QByteArray &content);

    QScopedPointer<QTemporaryDir> m_dir;
};

void TestServerCli::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestServerCli::cleanup()
{
    m_dir.reset();
}

int TestServerCli::run(const QStringList &args, QString *out, QString *err)
{
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(HAZARD_SERVER_BIN), args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -100;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

QString TestServerCli::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

void TestServerCli::helpNamesCommandsAndStates()
{
    QString out;
    QCOMPARE(run({QStringLiteral("--help")}, &out), 0);
    for (const char *word : {"init", "add-course", "add-candidate", "set-state", "import", "add-result", "results",
                             "serve", "push", "--db", "ready", "examined", "theory-not-passed", "not-required"})
        QVERIFY2(out.contains(QLatin1String(word)), word);
}

void TestServerCli::commandHelp_data()
{
    QTest::addColumn<QString>("command");
    for (const char *c : {"init", "add-course", "add-candidate", "set-state", "import", "add-result", "candidates",
                          "results", "serve", "push", "status"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

void TestServerCli::commandHelp()
{
    QFETCH(QString, command);
    QString out;
    QCOMPARE(run({command, QStringLiteral("--help")}, &out), 0);
    QVERIFY2(out.startsWith(QStringLiteral("Usage: hazard-server ") + command), qPrintable(out));
    QVERIFY(out.contains(QLatin1String("--db")));
    // Help never touches the database.
    QVERIFY(!QFile::exists(QStringLiteral("hazard-server.db")));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("hazard-server.db"))));
}

void TestServerCli::badUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("missing argument") << QStringList{QStringLiteral("add-course"), QStringLiteral("K1")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("results"), QStringLiteral("--nope")};
    QTest::newRow("bad listen address") << QStringList{QStringLiteral("serve"), QStringLiteral("--listen"),
                                                       QStringLiteral("nowhere")};
    QTest::newRow("bad secret") << QStringList{QStringLiteral("serve"), QStringLiteral("--secret"),
                                               QStringLiteral("ABC")};
    QTest::newRow("unknown licence class")
        << QStringList{QStringLiteral("add-candidate"), QStringLiteral("--course"), QStringLiteral("K1"),
                       QStringLiteral("--number"), QStringLiteral("1"), QStringLiteral("--class"),
                       QStringLiteral("Z9"), QStringLiteral("--pid"), QStringLiteral("1"),
                       QStringLiteral("--name"), QStringLiteral("A")};
}

void TestServerCli::badUsage()
{
    QFETCH(QStringList, args);
    QString err;
    QCOMPARE(run(QStringList{QStringLiteral("--db"), db()} + args, nullptr, &err), 2);
    QVERIFY(!err.isEmpty());
    QVERIFY(!QFile::exists(db()));
}

void TestServerCli::commandsNeedAnInitialisedDatabase()
{
    QString err;
    QCOMPARE(run({QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1"), QStringLiteral("--db"),
                  db()},
                 nullptr, &err),
             1);
    QVERIFY2(err.contains(QLatin1String("hazard-server init")), qPrintable(err));
    QVERIFY(!QFile::exists(db()));
}

void TestServerCli::initCreatesWalDatabaseOnce()
{
    QString out;
    QCOMPARE(run({QStringLiteral("init"), QStringLiteral("--db"), db()}, &out), 0);
    QVERIFY(out.contains(QLatin1String("created")));
    QCOMPARE(QFile::permissions(db()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                                         | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    QCOMPARE(run({QStringLiteral("--db"), db(), QStringLiteral("add-course"), QStringLiteral("K1"),
                  QStringLiteral("Khóa 1")}),
             0);
    QCOMPARE(run({QStringLiteral("init"), QStringLiteral("--db"), db()}, &out), 0);
    QVERIFY(out.contains(QLatin1String("ready")));
    {
        QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        check.setDatabaseName(db());
        QVERIFY(check.open());
        QSqlQuery query(check);
        QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("wal"));
        // A second init kept what was there.
        QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM course")) && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void TestServerCli::initRefusesAForeignDatabase()
{
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(db());
        QVERIFY(other.open());
        QSqlQuery query(other);
        QVERIFY(query.exec(QStringLiteral("CREATE TABLE video (id INTEGER)")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QString err;
    QCOMPARE(run({QStringLiteral("init"), QStringLiteral("--db"), db()}, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("another kind of database")), qPrintable(err));
}

void TestServerCli::addCourseAndCandidate()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1")}), 0);
    QString err;
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K;2"), QStringLiteral("x")}, nullptr,
                 &err),
             1);
    QVERIFY(err.contains(QLatin1String("';'")));
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("again")},
                 nullptr, &err),
             1);

    const QByteArray photo = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'p');
    const QString photoPath = write(QStringLiteral("face.png"), photo);
    const QStringList candidate = base
        + QStringList{QStringLiteral("add-candidate"), QStringLiteral("--course"), QStringLiteral("K1"),
                      QStringLiteral("--number"), QStringLiteral("0042"), QStringLiteral("--class"),
                      QStringLiteral("fe"), QStringLiteral("--pid"), QStringLiteral("079123456789"),
                      QStringLiteral("--name"), QStringLiteral("Trần Thị Bích"), QStringLiteral("--photo"),
                      photoPath, QStringLiteral("--state"), QStringLiteral("theory-not-passed")};
    QCOMPARE(run(candidate), 0);
    QCOMPARE(run(candidate, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("already registered")), qPrintable(err));
    QCOMPARE(run(base + QStringList{QStringLiteral("set-state"), QStringLiteral("K1"), QStringLiteral("0042"),
                                    QStringLiteral("ready")}),
             0);
    QCOMPARE(run(base + QStringList{QStringLiteral("set-state"), QStringLiteral("K1"), QStringLiteral("0043"),
                                    QStringLiteral("ready")}),
             1);

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("0042"), &c), ServerStore::Lookup::Found);
    QCOMPARE(c.licenceClass, 9);
    QCOMPARE(c.pid, QStringLiteral("079123456789"));
    QCOMPARE(c.fullName, QStringLiteral("Trần Thị Bích"));
    QCOMPARE(c.photoBase64, QString::fromLatin1(photo.toBase64()));
    QCOMPARE(c.state, CandidateState::Ready);
    QVERIFY(c.id > 0);
}

void TestServerCli::photoTooLargeForOneAnswer()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1")}), 0);
    // Base64 of 60,000 bytes is 80,000 bytes: more than one frame holds.
    const QString photoPath = write(QStringLiteral("big.jpg"), QByteArray(60000, 'j'));
    QString err;
    QCOMPARE(run(base
                     + QStringList{QStringLiteral("add-candidate"), QStringLiteral("--course"), QStringLiteral("K1"),
                                   QStringLiteral("--number"), QStringLiteral("1"), QStringLiteral("--class"),
                                   QStringLiteral("B2"), QStringLiteral("--pid"), QStringLiteral("1"),
                                   QStringLiteral("--name"), QStringLiteral("A"), QStringLiteral("--photo"), photoPath},
                 nullptr, &err),
             1);
    QVERIFY2(err.contains(QLatin1String("too large")), qPrintable(err));
    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("1"), &c), ServerStore::Lookup::Missing);
}

void TestServerCli::importRejectsBadRowsAndStoresNothing()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1")}), 0);
    QCOMPARE(run(base
                 + QStringList{QStringLiteral("add-candidate"), QStringLiteral("--course"), QStringLiteral("K1"),
                               QStringLiteral("--number"), QStringLiteral("900"), QStringLiteral("--class"),
                               QStringLiteral("B2"), QStringLiteral("--pid"), QStringLiteral("1"),
                               QStringLiteral("--name"), QStringLiteral("A")}),
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
    QCOMPARE(run(base + QStringList{QStringLiteral("import"), csv}, nullptr, &err), 1);
    for (int line = 3; line <= 9; ++line)
        QVERIFY2(err.contains(QStringLiteral("line %1:").arg(line)), qPrintable(err));
    QVERIFY(!err.contains(QLatin1String("line 2:")));
    QVERIFY(err.contains(QLatin1String("nothing imported")));

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    QList<CandidateRecord> list;
    QVERIFY(store.candidatesOfCourse(QStringLiteral("K1"), &list));
    QCOMPARE(list.size(), 1);
}

void TestServerCli::importStoresEveryRow()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K2"), QStringLiteral("Khóa 2")}), 0);
    QDir(m_dir->path()).mkdir(QStringLiteral("photos"));
    write(QStringLiteral("photos/a.jpg"), "\xff\xd8\xff jpeg");
    const QString csv = write(QStringLiteral("good.csv"),
                              "\xEF\xBB\xBF" "Name,Number,Course,Class,PID,Photo,State,Id\r\n"
                              "\"Lê, Văn \"\"Cu\"\"\",201,K1,B1,0791,photos/a.jpg,,\r\n"
                              "\r\n"
                              "Phạm Thị D,202,K2,3,0792,,examined,77\r\n");
    QString out;
    QString err;
    QCOMPARE(run(base + QStringList{QStringLiteral("import"), csv}, &out, &err), 0);
    QVERIFY2(out.contains(QLatin1String("imported 2")), qPrintable(out + err));

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("201"), &c), ServerStore::Lookup::Found);
    QCOMPARE(c.fullName, QStringLiteral("Lê, Văn \"Cu\""));
    QCOMPARE(c.licenceClass, 1);
    QCOMPARE(c.photoBase64, QString::fromLatin1(QByteArray("\xff\xd8\xff jpeg").toBase64()));
    QCOMPARE(c.state, CandidateState::Ready);
    QCOMPARE(store.candidate(QStringLiteral("K2"), QStringLiteral("202"), &c), ServerStore::Lookup::Found);
    QCOMPARE(c.id, 77);
    QCOMPARE(c.licenceClass, 3);
    QCOMPARE(c.state, CandidateState::Examined);
}

void TestServerCli::resultsAsCsv()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QString out;
    QCOMPARE(run(base + QStringList{QStringLiteral("results")}, &out), 0);
    QVERIFY(out.contains(QLatin1String("no results")));
    {
        ServerStore store;
        QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
        QVERIFY(store.addCourse({QStringLiteral("K1"), QStringLiteral("Khóa 1")}));
        CandidateRecord c;
        c.number = QStringLiteral("301");
        c.courseCode = QStringLiteral("K1");
        c.licenceClass = 2;
        c.pid = QStringLiteral("0793");
        c.fullName = QStringLiteral("Võ, \"Em\"");
        QVERIFY(store.addCandidate(&c));
        ResultRecord r;
        r.candidateId = c.id;
        r.courseCode = QStringLiteral("K1");
        r.total = 40;
        r.passScore = 35;
        r.passed = true;
        r.detail = QStringLiteral("5;5;5;5;5;5;5;5;0;0|1;2;3;4;5;6;7;8;9;10|1;2;3;4;5;6;7;8;9;10");
        r.station = QStringLiteral("127.0.0.1:5000");
        QCOMPARE(store.storeResult(r), ServerStore::Upload::Stored);
    }
    QCOMPARE(run(base + QStringList{QStringLiteral("results"), QStringLiteral("--csv")}, &out), 0);
    QList<CsvTable::Row> rows;
    QString why;
    QVERIFY2(CsvTable::parse(out, &rows, &why), qPrintable(why));
    QCOMPARE(rows.size(), 2);
    const QStringList header = rows.at(0).fields;
    const QStringList row = rows.at(1).fields;
    QCOMPARE(row.size(), header.size());
    auto field = [&](const char *name) { return row.value(header.indexOf(QLatin1String(name))); };
    QCOMPARE(field("number"), QStringLiteral("301"));
    QCOMPARE(field("name"), QStringLiteral("Võ, \"Em\""));
    QCOMPARE(field("class"), QStringLiteral("B2"));
    QCOMPARE(field("total"), QStringLiteral("40"));
    QCOMPARE(field("passed"), QStringLiteral("1"));
    QCOMPARE(field("detail"), QStringLiteral("5;5;5;5;5;5;5;5;0;0|1;2;3;4;5;6;7;8;9;10|1;2;3;4;5;6;7;8;9;10"));
    QCOMPARE(field("course"), QStringLiteral("K1"));
    QVERIFY(!field("received_at").isEmpty());

    QCOMPARE(run(base + QStringList{QStringLiteral("results"), QStringLiteral("--course"), QStringLiteral("K2"),
                                    QStringLiteral("--csv")},
                 &out),
             0);
    QCOMPARE(out.count(QLatin1Char('\n')), 1); // the header only
}

void TestServerCli::addResultStoresAReviewableResultOnce()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1")}), 0);
    const QString csv = write(QStringLiteral("c.csv"),
                              "number,course,class,pid,name,state\n"
                              "401,K1,D,0791,Đỗ Văn H,ready\n"
                              "402,K1,B2,0792,Ngô Thị I,theory-not-passed\n");
    QCOMPARE(run(base + QStringList{QStringLiteral("import"), csv}), 0);
    auto addResult = [&](const char *number, const char *detail, QString *out, QString *err) {
        return run(base + QStringList{QStringLiteral("add-result"), QStringLiteral("K1"), QLatin1String(number),
                                      QLatin1String(detail)},
                   out, err);
    };
    const char passing[] = "5;4;3;5;5;1;0;5;4;3|4100;27300;44800;68000;90500;112900;0;160200;181700;205100|"
                           "2;5;9;14;15;18;21;22;23;24";
    QString out;
    QString err;

    // Refused before anything is stored: the detail, the candidate, the
    // candidate's state.
    QCOMPARE(addResult("401", "5;4;3|1;2;3|1;2;3", &out, &err), 1);
    QVERIFY2(err.contains(QLatin1String("refused")), qPrintable(err));
    QCOMPARE(addResult("401", "5;x|1|1", &out, &err), 1);
    QVERIFY2(err.contains(QLatin1String("bad detail")), qPrintable(err));
    QCOMPARE(addResult("499", passing, &out, &err), 1);
    QVERIFY2(err.contains(QLatin1String("no candidate 499")), qPrintable(err));
    QCOMPARE(addResult("402", passing, &out, &err), 1);
    QVERIFY2(err.contains(QLatin1String("not ready")), qPrintable(err));

    QCOMPARE(addResult("401", passing, &out, &err), 0);
    QVERIFY2(out.contains(QLatin1String("35/50, passed (pass mark 35)")), qPrintable(out + err));
    // Entered twice, stored once; another result of an examined candidate is refused.
    QCOMPARE(addResult("401", passing, &out, &err), 0);
    QVERIFY2(out.contains(QLatin1String("stored already")), qPrintable(out + err));
    QCOMPARE(addResult("401", "0;4;3;5;5;1;0;5;4;3|0;27300;44800;68000;90500;112900;0;160200;181700;205100|"
                              "2;5;9;14;15;18;21;22;23;24",
                       &out, &err),
             1);

    ServerStore store;
    QVERIFY(store.open(db(), ServerStore::OpenMode::MustExist));
    CandidateRecord c;
    QCOMPARE(store.candidate(QStringLiteral("K1"), QStringLiteral("401"), &c), ServerStore::Lookup::Found);
    QCOMPARE(c.state, CandidateState::Examined);
    ResultRecord r;
    QCOMPARE(store.latestResult(c.id, QStringLiteral("K1"), &r), ServerStore::Lookup::Found);
    QCOMPARE(r.total, 35);
    QCOMPARE(r.passScore, 35);
    QVERIFY(r.passed);
    QCOMPARE(r.detail, QLatin1String(passing));
    QList<ResultRecord> all;
    QVERIFY(store.results(QString(), &all));
    QCOMPARE(all.size(), 1);
}

void TestServerCli::serveAnswersAndPushReachesStations()
{
    const QStringList base{QStringLiteral("--db"), db()};
    QCOMPARE(run(base + QStringList{QStringLiteral("init")}), 0);
    QCOMPARE(run(base + QStringList{QStringLiteral("add-course"), QStringLiteral("K1"), QStringLiteral("Khóa 1")}), 0);
    const QByteArray secret(57, 'c');

    QProcess server;
    server.setWorkingDirectory(m_dir->path());
    server.start(QStringLiteral(HAZARD_SERVER_BIN),
                 base + QStringList{QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                    QStringLiteral("--secret"), QString::fromLatin1(secret)});
    QVERIFY(server.waitForStarted(30000));
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine() || server.state() != QProcess::Running, 60000);
    const QString line = QString::fromUtf8(server.readLine()).trimmed();
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$")).match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line + QString::fromUtf8(server.readAllStandardError())));
    const quint16 port = quint16(match.captured(1).toUInt());
    QVERIFY(QFile::exists(ControlChannel::socketPathFor(db())));

    TestStation station;
    QVERIFY(station.connectTo(port));
    QVERIFY(station.authenticate(secret));
    QVERIFY(station.roundTrip());

    // The operator registers a candidate while the server runs; the next
    // entry finds it.
    QCOMPARE(run(base
                 + QStringList{QStringLiteral("add-candidate"), QStringLiteral("--course"), QStringLiteral("K1"),
                               QStringLiteral("--number"), QStringLiteral("501"), QStringLiteral("--class"),
                               QStringLiteral("C"), QStringLiteral("--pid"), QStringLiteral("0795"),
                               QStringLiteral("--name"), QStringLiteral("Hồ Văn G")}),
             0);
    station.enter("K1", "501");
    TestStation::Received entry;
    QVERIFY(station.waitFor(EnterResponseMessage::encryptedType, &entry));
    QCOMPARE(entry.code, 0);
    QCOMPARE(entry.cert, 3);
    station.clearReceived();

    QString out;
    QCOMPARE(run(base + QStringList{QStringLiteral("status")}, &out), 0);
    QVERIFY2(out.contains(QLatin1String("1 station(s) connected, 1 past the challenge")), qPrintable(out));

    // One server per database.
    QString err;
    QCOMPARE(run(base + QStringList{QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")},
                 nullptr, &err),
             1);
    QVERIFY2(err.contains(QLatin1String("already serves")), qPrintable(err));

    QByteArray content;
    for (int i = 0; i < 200000; ++i)
        content.append(char(i % 251));
    const QString file = write(QStringLiteral("clip.mp4"), content);
    QCOMPARE(run(base + QStringList{QStringLiteral("push"), file, QStringLiteral("videos/clip.mp4")}, &out, &err), 0);
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
    QCOMPARE(run(base + QStringList{QStringLiteral("push"), file, QStringLiteral("../clip.mp4")}, nullptr, &err), 1);

    server.terminate();
    QVERIFY(server.waitForFinished(30000));
    QCOMPARE(server.exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.exitCode(), 0);
    QVERIFY(station.waitForDisconnected());
    QVERIFY(!QFile::exists(ControlChannel::socketPathFor(db())));
    QCOMPARE(run(base + QStringList{QStringLiteral("push"), file, QStringLiteral("videos/clip.mp4")}, nullptr, &err), 1);
    QVERIFY2(err.contains(QLatin1String("no hazard-server")), qPrintable(err));
    QCOMPARE(run(base + QStringList{QStringLiteral("status")}, nullptr, &err), 1);
}

QTEST_GUILESS_MAIN(TestServerCli)
#include "tst_servercli.moc"
