#include "BusinessController.h"
#include "Chapter.h"
#include "Constants.h"
#include "ContestNameMessage.h"
#include "ExamServer.h"
#include "Exercise.h"
#include "KeyExchange.h"
#include "Library.h"
#include "PlayerManager.h"
#include "ResultDetail.h"
#include "ResultOutbox.h"
#include "ScriptedQuestion.h"
#include "ServerSeed.h"
#include "ServerStore.h"
#include "SqlCipherDriver.h"
#include "SqliteConnection.h"
#include "TcpClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

const QString course = QStringLiteral("K1");

// What the controller tells the user interface, received on this thread as
// the window would receive it.
class Recorder : public QObject
{
public:
    explicit Recorder(BusinessController *controller)
    {
        connect(controller, &BusinessController::receivedContestName, this,
                [this](const QString &code, const QString &name) { courseLists.append({code, name}); });
        connect(controller, &BusinessController::notifyPrepareReview, this,
                [this](const QString &scores) { prepared.append(scores); });
        connect(controller, &BusinessController::notifyReviewContestContent, this,
                [this](const QString &scores, const QString &videos, const QString &flags) {
                    reviews.append({scores, videos, flags});
                });
        connect(controller, &BusinessController::notifyNotSupportReview, this, [this] { ++notSupported; });
    }

    QList<QStringList> courseLists;
    QStringList prepared;
    QList<QStringList> reviews;
    int notSupported = 0;
};

} // namespace

class TestBusinessController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void resultDeliveredWithoutTheWindowHearingTheCheck();
    void reviewTextParts_data();
    void reviewTextParts();
    void contestNameEndsAtZeroByte();
    void resultOfAnEarlierRunIsSentAfterTheKeyExchange_data();
    void resultOfAnEarlierRunIsSentAfterTheKeyExchange();
    void contentCheck_data();
    void contentCheck();
    void destroyedWhileAContestIsPrepared();

private:
    std::unique_ptr<BusinessController> makeController(const QString &digest = QString());
    void connectLink();
    int idOf(const QString &number);
    int storedResults(int candidateId);
    void storeOnServer(int candidateId, const ResultDetail &detail);
    // A whole examination drawn from the loaded content.
    ResultDetail examinationDetail(const Library *library, int flaggedScore);

    ScriptedQuestion m_question;
    QTemporaryDir m_serverDir;
    QScopedPointer<QTemporaryDir> m_stationDir;
    QScopedPointer<ServerStore> m_store;
    QScopedPointer<ExamServer> m_server;
    quint16 m_port = 0;
};

void TestBusinessController::initTestCase()
{
    std::signal(SIGPIPE, SIG_DFL);
    if (Constants::dbDigest() == QLatin1String("00000000000000000000000000000000"))
        QSKIP("this build folder was configured before the demo pack existed");
    TcpClient::instance().setRetryQuestion(&m_question);
    SqlCipherDriver::registerDriver();

    QVERIFY(m_serverDir.isValid());
    m_store.reset(new ServerStore);
    QVERIFY2(ServerSeed::open(*m_store, m_serverDir.filePath(QStringLiteral("server.db"))),
             qPrintable(m_store->lastError()));
    for (const char *number : {"201", "203", "204"})
        QVERIFY(ServerSeed::addCandidate(*m_store, QLatin1String(number)));
}

void TestBusinessController::init()
{
    m_stationDir.reset(new QTemporaryDir);
    QVERIFY(m_stationDir->isValid());
    const QDir pack(QStringLiteral(DEMO_PACK_DIR));
    const QDir station(m_stationDir->path());
    QVERIFY(QFile::copy(pack.filePath(QStringLiteral("ksm.db")), station.filePath(QStringLiteral("ksm.db"))));
    QVERIFY(station.mkdir(QStringLiteral("videos")));
    for (const QString &name : QDir(pack.filePath(QStringLiteral("videos"))).entryList(QDir::Files))
        QVERIFY(QFile::copy(pack.filePath(QStringLiteral("videos/") + name), station.filePath(QStringLiteral("videos/") + name)));

    m_server.reset(new ExamServer(m_store.data()));
    m_server->setSecret(KeyExchange::secret());
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
    m_port = m_server->port();
    m_question.answer = nullptr;
    m_question.asked = 0;
}

void TestBusinessController::cleanup()
{
    TcpClient::instance().close();
    m_server.reset();
}

std::unique_ptr<BusinessController> TestBusinessController::makeController(const QString &digest)
{
    BusinessController::Setup setup;
    setup.workingFolder = m_stationDir->path();
    setup.databaseDigest = digest;
    auto controller = std::make_unique<BusinessController>(setup);
    controller->loadContent();
    return controller;
}

void TestBusinessController::connectLink()
{
    qint32 error = 0;
    QCOMPARE(TcpClient::instance().connectToServer(nullptr, QStringLiteral("127.0.0.1"), QString::number(m_port), &error),
             0);
    QTRY_COMPARE(m_server->authenticatedCount(), 1);
}

int TestBusinessController::idOf(const QString &number)
{
    return ServerSeed::idOf(*m_store, number);
}

int TestBusinessController::storedResults(int candidateId)
{
    QList<ResultRecord> results;
    m_store->results(course, &results);
    int count = 0;
    for (const ResultRecord &r : results)
        count += r.candidateId == candidateId ? 1 : 0;
    return count;
}

void TestBusinessController::storeOnServer(int candidateId, const ResultDetail &detail)
{
    ResultRecord result;
    result.candidateId = candidateId;
    result.courseCode = course;
    result.total = detail.total();
    result.passScore = Constants::passMark;
    result.detail = detail.text();
    QCOMPARE(m_store->storeResult(result), ServerStore::Upload::Stored);
}

ResultDetail TestBusinessController::examinationDetail(const Library *library, int flaggedScore)
{
    QList<int> scores;
    QList<qint64> flags;
    QList<int> ids;
    const QList<int> structure = Constants::contestStructure();
    for (int chapter = 0; chapter < structure.size(); ++chapter) {
        for (int k = 0; k < structure.at(chapter); ++k) {
            const Exercise *situation = library->exercisesOfChapter(chapter).at(k);
            ids.append(situation->id());
            // Every other situation flagged.
            const bool flagged = ids.size() % 2 == 1;
            scores.append(flagged ? flaggedScore : 0);
            flags.append(flagged ? 1000 * ids.size() : 0);
        }
    }
    return ResultDetail(scores, flags, ids);
}

// The station's end-to-end runs show what the window makes of the course
// list, the admission and a review; here, what it must not hear.
void TestBusinessController::resultDeliveredWithoutTheWindowHearingTheCheck()
{
    auto controller = makeController();
    Recorder recorder(controller.get());
    connectLink();
    const int id = idOf(QStringLiteral("201"));
    const ResultDetail detail = examinationDetail(controller->library(), 5);
    controller->sendContestResult(detail.total(), Constants::passMark, 0, id, detail.text(), course);

    // Delivered: the server's answer to the course list sent behind the
    // result empties the outbox.
    QTRY_COMPARE(controller->resultOutbox()->undeliveredCount(), 0);
    QCOMPARE(storedResults(id), 1);
    QCOMPARE(QFileInfo(controller->resultOutbox()->path()).size(), 0);

    // The window hears nothing of that answer: the next list it asks for,
    // which a new course tells apart, is the first it receives.
    QVERIFY(m_store->addCourse({QStringLiteral("K2"), QStringLiteral("Khóa 2")}));
    QVERIFY(TcpClient::instance().sendMessage(ContestNameMessage()) > 0);
    QTRY_COMPARE(recorder.courseLists.size(), 1);
    QCOMPARE(recorder.courseLists.first(), (QStringList{QStringLiteral("K1;K2"), QStringLiteral("Khóa 1;Khóa 2")}));
}

void TestBusinessController::reviewTextParts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("supported");

    QTest::newRow("three parts") << "a|b|c" << true;
    QTest::newRow("empty middle part") << "a||c" << true;
    QTest::newRow("two parts") << "a|b" << false;
    QTest::newRow("four parts, the last empty") << "a|b|c|" << false;
    QTest::newRow("empty text") << "" << false;
}

void TestBusinessController::reviewTextParts()
{
    QFETCH(QString, text);
    QFETCH(bool, supported);

    auto controller = makeController();
    Recorder recorder(controller.get());
    controller->onReview(QStringLiteral("s|f|v"));
    controller->onReview(text);
    controller->startReview();
    QTRY_COMPARE(recorder.prepared.size() + recorder.notSupported, 2);

    const QStringList parts = text.split(QLatin1Char('|'));
    QCOMPARE(recorder.notSupported, supported ? 0 : 1);
    QCOMPARE(recorder.prepared.size(), supported ? 2 : 1);
    // A review plays the last text received, handing on score, video, flag.
    const QList<QStringList> played =
        supported ? QList<QStringList>{{parts.at(0), parts.at(2), parts.at(1)}} : QList<QStringList>{};
    QCOMPARE(recorder.reviews, played);
}

void TestBusinessController::contestNameEndsAtZeroByte()
{
    auto controller = makeController();
    Recorder recorder(controller.get());
    const QByteArray codes("K1;K2\0junk", 10);
    const QByteArray names = QStringLiteral("Khóa 1;Khóa 2").toUtf8();
    controller->onContestName(codes.constData(), codes.size(), names.constData(), names.size());
    QTRY_COMPARE(recorder.courseLists.size(), 1);
    QCOMPARE(recorder.courseLists.first(), (QStringList{QStringLiteral("K1;K2"), QStringLiteral("Khóa 1;Khóa 2")}));
}

void TestBusinessController::resultOfAnEarlierRunIsSentAfterTheKeyExchange_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("crashed");

    // Left in the link's queue and the outbox when the station went.
    QTest::newRow("station gone while the server was away") << "203" << false;
    // The server had stored it, but the station went before it learned so;
    // a write cut short and a damaged line are in the file too.
    QTest::newRow("station gone after the upload, file damaged") << "204" << true;
}

void TestBusinessController::resultOfAnEarlierRunIsSentAfterTheKeyExchange()
{
    QFETCH(QString, number);
    QFETCH(bool, crashed);

    const int id = idOf(number);
    const QString outboxPath = QDir(m_stationDir->path()).filePath(QLatin1String(ResultOutbox::fileName));
    if (crashed) {
        auto controller = makeController();
        const ResultDetail detail = examinationDetail(controller->library(), 5);
        controller.reset();
        storeOnServer(id, detail);
        {
            ResultOutbox outbox(outboxPath);
            ResultOutbox::Entry entry;
            entry.totalScore = detail.total();
            entry.passScore = Constants::passMark;
            entry.passed = 0;
            entry.candidateId = id;
            entry.contestCode = course.toUtf8();
            entry.detail = detail.text().toUtf8();
            outbox.append(entry);
        }
        QFile file(outboxPath);
        QVERIFY(file.open(QIODevice::Append));
        file.write("R 7 not a result\nR 8 20 35 0 ");
    } else {
        // The operator gives up on the server for now.
        auto controller = makeController();
        connectLink();
        m_server->close();
        QTRY_VERIFY(!TcpClient::instance().isConnected());
        m_question.answer = [](int) { return false; };
        const ResultDetail detail = examinationDetail(controller->library(), 4);
        controller->sendContestResult(detail.total(), Constants::passMark, 0, id, detail.text(), course);
        QCOMPARE(m_question.asked, 1);
        QCOMPARE(controller->resultOutbox()->undeliveredCount(), 1);
        TcpClient::instance().close();
        QVERIFY(m_server->listen(QHostAddress::LocalHost, m_port));
    }

    auto controller = makeController();
    QCOMPARE(controller->resultOutbox()->undeliveredCount(), 1);
    // Nothing written later may be glued to the end of a cut-off line.
    QFile file(outboxPath);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().endsWith('\n'));
    connectLink();
    QTRY_COMPARE(controller->resultOutbox()->undeliveredCount(), 0);
    QCOMPARE(storedResults(id), 1);
    QCOMPARE(QFileInfo(outboxPath).size(), 0);
}

void TestBusinessController::contentCheck_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("invalid");

    QTest::newRow("demo pack") << "" << 0;
    QTest::newRow("chapter 3 holds one situation") << "chapter" << 1;
    QTest::newRow("a situation's video missing") << "situation video" << 1;
    QTest::newRow("count-down video missing") << "count-down video" << 1;
    QTest::newRow("no content database") << "database" << 1;
}

void TestBusinessController::contentCheck()
{
    QFETCH(QString, damage);
    QFETCH(int, invalid);

    const QDir station(m_stationDir->path());
    QString digest;
    if (damage == QLatin1String("chapter")) {
        const QString path = station.filePath(QStringLiteral("ksm.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName), QStringLiteral("edit"));
            db.setDatabaseName(path);
            db.setPassword(Constants::dbPassword());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("delete from video where chapter = 3 and th > 1")));
            QVERIFY(query.numRowsAffected() > 0);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("edit"));
        digest = SqliteConnection::saltedDigest(path, Constants::dbSalt().toLatin1());
    } else if (damage == QLatin1String("situation video")) {
        QVERIFY(QFile::remove(station.filePath(QStringLiteral("videos/chapter5_003.mp4"))));
    } else if (damage == QLatin1String("count-down video")) {
        const QStringList clips = QDir(station.filePath(QStringLiteral("videos")))
                                      .entryList({QStringLiteral("count_down*")}, QDir::Files);
        QCOMPARE(clips.size(), 1);
        QVERIFY(QFile::remove(station.filePath(QStringLiteral("videos/") + clips.first())));
    } else if (damage == QLatin1String("database")) {
        QVERIFY(QFile::remove(station.filePath(QStringLiteral("ksm.db"))));
    }

    auto controller = makeController(digest);
    QCOMPARE(controller->isContentInvalid(), invalid);
}

void TestBusinessController::destroyedWhileAContestIsPrepared()
{
    auto controller = makeController();
    const QString scratch = controller->playerManager()->scratchFolder();
    controller->resetContest(Examination);
    // The worker ends its preparation with a call into the GUI thread, which
    // is in the destructor by then.
    controller.reset();
    QVERIFY(!QFileInfo::exists(scratch));
}

QTEST_MAIN(TestBusinessController)
#include "tst_businesscontroller.moc"
