#include "AuthenStateOneMessage.h"
#include "ContestNameMessage.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseMessage.h"
#include "ExamServer.h"
#include "FrameCodec.h"
#include "ReviewMessage.h"
#include "ServerSeed.h"
#include "ServerStore.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoMessage.h"
#include "TestFiles.h"
#include "TestStation.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList capturedLog;
QtMessageHandler previousHandler = nullptr;

void captureLog(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtInfoMsg)
        capturedLog.append(text);
    previousHandler(type, context, text);
}

// Collects the informational log lines for as long as it lives.
struct LogCapture
{
    LogCapture() { capturedLog.clear(), previousHandler = qInstallMessageHandler(captureLog); }
    ~LogCapture() { qInstallMessageHandler(previousHandler); }
};

const QByteArray detail25 = "5;0;3;1;4;0;2;5;5;0|10400;30000;52000;71000;90500;0;131000;150200;171000;190000|"
                            "3;17;25;41;44;58;63;71;80;92";
using R = TestStation::Received;

} // namespace

class TestExamServer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void challengeOnEveryConnectionSilenceDrops();
    void entryAnswers_data();
    void entryAnswers();
    void resultUploadStoredOnceAndLogged();
    void inconsistentResultKeepsTheCandidateHeld();
    void reviewOnlyAfterReviewEntry();
    void filePushInChunks_data();
    void filePushInChunks();
    void filePushRefusesUnsafeNames_data();
    void filePushRefusesUnsafeNames();
    void filePushOfAChangingFileIsAbandoned();
    void garbageLosesOnlyItsOwnConnection_data();
    void garbageLosesOnlyItsOwnConnection();
    void floodingStationDoesNotStallOthers();

private:
    TestStation *connected();
    TestStation *authenticated();
    int idOf(const QString &number);

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<ServerStore> m_store;
    QScopedPointer<ExamServer> m_server;
    QScopedPointer<QObject> m_stations;
    QByteArray m_secret;
};

void TestExamServer::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_store.reset(new ServerStore);
    QVERIFY2(ServerSeed::open(*m_store, m_dir->filePath(QStringLiteral("server.db"))), qPrintable(m_store->lastError()));
    QVERIFY(m_store->addCourse({QStringLiteral("K2"), QStringLiteral("Khóa 2")}));
    const QList<CandidateState::Value> states{CandidateState::Ready, CandidateState::Ready,
                                              CandidateState::Examined, CandidateState::TheoryNotPassed,
                                              CandidateState::NotRequired, CandidateState::Ready};
    for (int i = 0; i < states.size(); ++i)
        QVERIFY(ServerSeed::addCandidate(*m_store, QString::number(101 + i), states.at(i)));
    CandidateRecord largest{0, QStringLiteral("107"), QStringLiteral("K1"), 0, QStringLiteral("1"), QStringLiteral("A"),
                            QString((ServerStore::maxIdentityBytes - 2) / 4 * 4, QLatin1Char('Q')),
                            CandidateState::Ready};
    QVERIFY2(m_store->addCandidate(&largest), qPrintable(m_store->lastError()));
    const ResultRecord stored{0, idOf(QStringLiteral("102")), QStringLiteral("K1"), 25, 35, false,
                              QString::fromLatin1(detail25), {}, {}, {}, {}, {}, 0, {}};
    QCOMPARE(m_store->storeResult(stored), ServerStore::Upload::Stored);

    // Not the built-in secret: the server must use what it is given.
    m_secret = QByteArray(57, 'a');
    m_server.reset(new ExamServer(m_store.data()));
    m_server->setSecret(m_secret);
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
    m_stations.reset(new QObject);
}

void TestExamServer::cleanup()
{
    m_stations.reset();
    m_server.reset();
    m_store.reset();
    m_dir.reset();
}

int TestExamServer::idOf(const QString &number)
{
    return ServerSeed::idOf(*m_store, number);
}

TestStation *TestExamServer::connected()
{
    auto *station = new TestStation(m_stations.data());
    return station->connectTo(m_server->port()) ? station : nullptr;
}

TestStation *TestExamServer::authenticated()
{
    TestStation *station = connected();
    return station && station->authenticate(m_secret) && station->roundTrip() ? station : nullptr;
}

void TestExamServer::challengeOnEveryConnectionSilenceDrops()
{
    m_server->setAuthTimeout(300);
    TestStation *a = connected();
    TestStation *b = connected();
    QVERIFY(a && b);
    R first;
    R second;
    QVERIFY(a->waitFor(AuthenStateOneMessage::messageType, &first)
            && b->waitFor(AuthenStateOneMessage::messageType, &second));
    QCOMPARE(first.nonce.size() + second.nonce.size(), 32);
    QVERIFY(first.nonce != second.nonce && first.nonce != QByteArray(16, '\0'));
    // Neither answers.
    QVERIFY(a->waitForDisconnected(20000) && b->waitForDisconnected(20000));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->stationCount(), 0, 10000);
}

void TestExamServer::entryAnswers_data()
{
    QTest::addColumn<QByteArray>("course");
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<int>("code");
    // Which code each candidate gets is the admission's, tested on its own;
    // here what each kind of answer carries on the wire.
    QTest::newRow("ready: admitted") << QByteArray("K1") << QByteArray("101") << 0;
    QTest::newRow("largest photo fits one answer") << QByteArray("K1") << QByteArray("107") << 0;
    QTest::newRow("examined with a result: review") << QByteArray("K1") << QByteArray("102") << 2;
    QTest::newRow("registered, refused") << QByteArray("K1") << QByteArray("104") << 5;
    // The station's padding is the session's to strip.
    QTest::newRow("number padded with spaces") << QByteArray("K1") << QByteArray(" 105 ") << 6;
}

void TestExamServer::entryAnswers()
{
    QFETCH(QByteArray, course);
    QFETCH(QByteArray, number);
    QFETCH(int, code);
    TestStation *station = authenticated();
    QVERIFY(station);
    station->enter(course, number);
    R answer;
    QVERIFY(station->waitFor(EnterResponseMessage::encryptedType, &answer));
    QCOMPARE(answer.code, code);
    if (code == 0 || code == 2) {
        CandidateRecord c;
        QCOMPARE(m_store->candidate(QStringLiteral("K1"), QString::fromLatin1(number), &c), ServerStore::Lookup::Found);
        QCOMPARE((QList<QByteArray>{QByteArray::number(answer.id), QByteArray::number(answer.cert), answer.pid,
                                    answer.fullName, answer.image}),
                 (QList<QByteArray>{QByteArray::number(c.id), QByteArray::number(c.licenceClass), c.pid.toUtf8(),
                                    c.fullName.toUtf8(), c.photoBase64.toLatin1()}));
    } else {
        // A refusal tells nothing about the candidate.
        QCOMPARE(answer.id, 0);
        QVERIFY(answer.pid.isEmpty() && answer.fullName.isEmpty() && answer.image.isEmpty());
    }
}

void TestExamServer::resultUploadStoredOnceAndLogged()
{
    LogCapture capture;
    TestStation *station = authenticated();
    QVERIFY(station);
    int id = 0;
    QCOMPARE(station->entryCode("K1", "101", &id), 0);
    station->confirm(id, 0);
    QCOMPARE(station->entryCode("K1", "999"), 1);
    QSignalSpy stored(m_server.data(), &ExamServer::resultStored);
    const QByteArray detail = "5;5;5;5;5;5;5;0;0;0|1;2;3;4;5;6;7;0;0;0|1;2;3;4;5;6;7;8;9;10";
    station->uploadResult(id, "K1", 35, 35, true, detail);
    QVERIFY(stored.wait(10000));
    QCOMPARE(stored.first().first().toInt(), id);
    // The station repeats an upload it could not confirm.
    station->uploadResult(id, "K1", 35, 35, true, detail);
    QVERIFY(station->roundTrip());

    QList<ResultRecord> results;
    QVERIFY(m_store->results(QStringLiteral("K1"), &results));
    QCOMPARE(results.size(), 2); // the fixture's result and this one
    QCOMPARE((QStringList{QString::number(results.last().candidateId), results.last().detail}),
             (QStringList{QString::number(id), QString::fromLatin1(detail)}));

    delete station;
    QTRY_COMPARE_WITH_TIMEOUT(m_server->stationCount(), 0, 10000);
    const QStringList expected = {"connected; challenge sent", "challenge answered", "course list: 2 course(s) sent",
                                  "entry course K1 number 101 -> 0", "examination started: candidate",
                                  "entry course K1 number 999 -> 1", "total 35: stored", "disconnected"};
    const QRegularExpression peer(QStringLiteral("^127\\.0\\.0\\.1:\\d+ "));
    for (const QString &text : expected) {
        bool found = false;
        for (const QString &line : qAsConst(capturedLog))
            found = found || (line.contains(text) && peer.match(line).hasMatch());
        QVERIFY2(found, qPrintable(text + QStringLiteral(" in:\n") + capturedLog.join(QLatin1Char('\n'))));
    }
}

// The store's own checks of a result are tested with the store; here what
// a refusal means for the station's session.
void TestExamServer::inconsistentResultKeepsTheCandidateHeld()
{
    TestStation *station = authenticated();
    QVERIFY(station);
    int id = 0;
    QCOMPARE(station->entryCode("K1", "101", &id), 0);
    LogCapture capture;
    station->uploadResult(id, "K1", 50, 35, false, detail25); // the scores add up to 25
    QVERIFY(station->roundTrip());
    // What was refused stays recoverable from the log.
    QVERIFY2(!capturedLog.filter(QStringLiteral("rejected")).filter(QString::fromLatin1(detail25)).isEmpty(),
             qPrintable(capturedLog.join(QLatin1Char('\n'))));
    QList<ResultRecord> results;
    QVERIFY(m_store->results(QString(), &results));
    QCOMPARE(results.size(), 1);
    // The examination is not over: the candidate stays with this station,
    // which may enter it again, until it moves on to another.
    TestStation *other = authenticated();
    QVERIFY(other);
    QCOMPARE(other->entryCode("K1", "101"), 3);
    QCOMPARE(station->entryCode("K1", "101"), 0);
    QCOMPARE(station->entryCode("K1", "106"), 0);
    QCOMPARE(other->entryCode("K1", "101"), 0);
}

void TestExamServer::reviewOnlyAfterReviewEntry()
{
    TestStation *station = authenticated();
    QVERIFY(station);
    // Knowing an id is not enough to read someone's result, nor is an
    // admission to an examination.
    R review;
    int id = 0;
    station->confirm(idOf(QStringLiteral("102")), 1);
    QVERIFY(station->waitFor(ReviewMessage::messageType, &review) && review.text.isEmpty());
    QCOMPARE(station->entryCode("K1", "101", &id), 0);
    station->confirm(id, 1);
    QVERIFY(station->waitFor(ReviewMessage::messageType, &review) && review.text.isEmpty());

    // Entered for review, the review comes only once it is confirmed.
    QCOMPARE(station->entryCode("K1", "102", &id), 2);
    // Everything the server sends before the course list answer is on the
    // station once the round trip is back.
    QVERIFY(station->roundTrip());
    for (const R &r : station->received())
        QVERIFY(r.wireType != ReviewMessage::messageType);
    station->confirm(id, 1);
    QVERIFY(station->waitFor(ReviewMessage::messageType, &review));
    QCOMPARE(review.text, detail25);
}

void TestExamServer::filePushInChunks_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("exactly one chunk") << 65532;
    QTest::newRow("one chunk and one byte") << 65533;
    QTest::newRow("several chunks") << 1000000;
}

void TestExamServer::filePushInChunks()
{
    QFETCH(int, size);
    QByteArray content(size, '\0');
    for (int i = 0; i < size; ++i)
        content[i] = char((quint32(i) * 7919u) >> 3);
    const QString path = m_dir->filePath(QStringLiteral("clip.mp4"));
    QVERIFY(TestFiles::write(path, content));

    TestStation *a = authenticated(), *b = authenticated(), *waiting = connected(); // waiting: has not answered
    QVERIFY(a && b && waiting);
    QSignalSpy done(m_server.data(), &ExamServer::transferDone);
    QString why;
    QCOMPARE(m_server->pushFile(path, QStringLiteral("videos/12.mp4"), &why), 2);

    for (TestStation *station : {a, b}) {
        R end;
        QVERIFY(station->waitFor(EndSyncVideoMessage::messageType, &end, 30000));
        const QList<R> frames = station->received();
        QVERIFY(!frames.isEmpty() && frames.first().wireType == StartSyncVideoMessage::messageType);
        QCOMPARE(frames.first().text, QByteArray("videos/12.mp4"));
        QByteArray received;
        for (int i = 1; i < frames.size(); ++i) {
            QCOMPARE(frames.at(i).wireType, int(SyncVideoMessage::messageType));
            // An empty chunk would not parse at the station.
            QVERIFY(!frames.at(i).text.isEmpty() && frames.at(i).text.size() <= 65532);
            received += frames.at(i).text;
        }
        QCOMPARE(frames.size() - 1, (size + 65531) / 65532);
        QVERIFY(received == content);
    }
    for (const R &r : waiting->received())
        QVERIFY(r.wireType == AuthenStateOneMessage::messageType);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);
}

void TestExamServer::filePushRefusesUnsafeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd");
    QTest::newRow("drive") << QStringLiteral("C:\\x.mp4");
    QTest::newRow("climbs up") << QStringLiteral("videos/../../x.mp4");
    QTest::newRow("climbs up, backslash") << QStringLiteral("..\\x.mp4");
    QTest::newRow("folder only") << QStringLiteral("videos/");
    QTest::newRow("control character") << QStringLiteral("a\nb.mp4");
}

void TestExamServer::filePushRefusesUnsafeNames()
{
    QFETCH(QString, name);
    const QString path = m_dir->filePath(QStringLiteral("clip.mp4"));
    QVERIFY(TestFiles::write(path, "data"));
    TestStation *station = authenticated();
    QVERIFY(station);
    QString why;
    QCOMPARE(m_server->pushFile(path, name, &why), -1);
    QVERIFY(!why.isEmpty());
    QVERIFY(station->roundTrip());
    for (const R &r : station->received())
        QVERIFY(r.wireType != StartSyncVideoMessage::messageType);
}

void TestExamServer::filePushOfAChangingFileIsAbandoned()
{
    const QString bigPath = m_dir->filePath(QStringLiteral("big.mp4"));
    QVERIFY(TestFiles::write(bigPath, QByteArray(2 * 1024 * 1024, 'b')));
    const QString smallPath = m_dir->filePath(QStringLiteral("small.mp4"));
    QVERIFY(TestFiles::write(smallPath, "small"));

    TestStation *station = authenticated();
    QVERIFY(station);
    QSignalSpy done(m_server.data(), &ExamServer::transferDone);
    QString why;
    QCOMPARE(m_server->pushFile(bigPath, QStringLiteral("big.mp4"), &why), 1);
    QCOMPARE(m_server->pushFile(smallPath, QStringLiteral("small.mp4"), &why), 1);
    // Cut short while the first transfer waits for the socket to drain.
    QVERIFY(QFile::resize(bigPath, 1000));

    R end;
    QVERIFY(station->waitFor(EndSyncVideoMessage::messageType, &end, 30000));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.first().first().toByteArray(), QByteArray("small.mp4"));
    // The only end message closes the second transfer, so the station never
    // replaces its file with the truncated first one.
    QList<int> starts;
    const QList<R> frames = station->received();
    for (int i = 0; i < frames.size(); ++i) {
        QVERIFY(frames.at(i).wireType != EndSyncVideoMessage::messageType);
        if (frames.at(i).wireType == StartSyncVideoMessage::messageType)
            starts.append(i);
    }
    QCOMPARE(starts.size(), 2);
    QCOMPARE(frames.at(starts.at(0)).text + frames.at(starts.at(1)).text, QByteArray("big.mp4small.mp4"));
    QCOMPARE(starts.at(1), frames.size() - 2);
    QCOMPARE(frames.last().text, QByteArray("small"));
}

void TestExamServer::garbageLosesOnlyItsOwnConnection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("beforeAnswer");
    QTest::newRow("length below 3") << QByteArray::fromHex("0001ff") << false;
    QTest::newRow("unknown type") << QByteArray::fromHex("00040c00") << false;
    QTest::newRow("encrypted frame that does not decrypt")
        << (QByteArray::fromHex("003c64") + QByteArray(57, '\x11')) << false;
    QTest::newRow("payload shorter than the type needs") << QByteArray::fromHex("0005070000") << false;
    QTest::newRow("plain entry request") << QByteArray::fromHex("000b040000000000000000") << false;
    QTest::newRow("a server's message") << QByteArray::fromHex("0003ff") << false;
    QTest::newRow("request before the answer") << QByteArray::fromHex("000309") << true;
    QTest::newRow("file push to the server") << QByteArray::fromHex("000401" "41") << false;
    // The right procedure with the wrong secret.
    QTest::newRow("wrong answer to the challenge") << QByteArray() << true;
}

void TestExamServer::garbageLosesOnlyItsOwnConnection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, beforeAnswer);
    TestStation *good = authenticated(), *bad = beforeAnswer ? connected() : authenticated();
    QVERIFY(good && bad);
    int id = 0;
    QCOMPARE(good->entryCode("K1", "101", &id), 0);

    if (bytes.isEmpty())
        QVERIFY(bad->authenticate(QByteArray(57, 'b')));
    bad->sendRaw(bytes);
    QVERIFY(bad->waitForDisconnected());
    // The other station's session, key and admitted candidate are intact.
    good->confirm(id, 0);
    QCOMPARE(good->entryCode("K1", "101"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->stationCount(), 1, 10000);
}

void TestExamServer::floodingStationDoesNotStallOthers()
{
    TestStation *flooder = authenticated();
    TestStation *other = authenticated();
    QVERIFY(flooder && other);
    flooder->setReading(false);
    LogCapture capture;
    const QString answered = flooder->peerName() + QStringLiteral(" course list:");
    auto floodAnswered = [&] { return capturedLog.filter(answered).size(); };

    // Thousands of requests, all waiting at the server before it runs again,
    // and then one station's ordinary request behind them.
    const int requests = 3000;
    AesCipher unused; // the request travels in plain form
    const QByteArray request = FrameCodec::buildFrame(ContestNameMessage(), unused);
    flooder->sendRaw(request.repeated(requests));
    QCOMPARE(flooder->flush(), 0);
    other->enter("K1", "101");
    QCOMPARE(other->flush(), 0);

    R answer;
    QVERIFY(other->waitFor(EnterResponseMessage::encryptedType, &answer));
    QCOMPARE(answer.code, 0);
    // Served while most of the flood still waits, and the flooder has read
    // nothing.
    QVERIFY2(floodAnswered() < requests / 2, qPrintable(QString::number(floodAnswered())));
    QVERIFY(flooder->received().isEmpty());

    // Held back, not lost: a flooder that reads at last gets every answer.
    flooder->setReading(true);
    QTRY_COMPARE_WITH_TIMEOUT(flooder->received().size(), requests, 30000);
    for (const R &r : flooder->received())
        QCOMPARE(r.isResponse, 1);
}

QTEST_GUILESS_MAIN(TestExamServer)
#include "tst_examserver.moc"
