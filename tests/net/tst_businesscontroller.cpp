#include "BusinessController.h"
#include "Constants.h"
#include "ContestNameMessage.h"
#include "ExamServer.h"
#include "KeyExchange.h"
#include "PlayerManager.h"
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

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

const QString course = QStringLiteral("K1");
// A complete examination's scores, flags and situations; 25 points.
const QString detail = QStringLiteral("5;0;5;0;5;0;5;0;5;0|1;0;3;0;5;0;7;0;9;0|1;2;3;4;5;6;7;8;9;10");

// What the controller tells the user interface, received on this thread as
// the window would receive it.
class Recorder : public QObject
{
public:
    explicit Recorder(BusinessController *controller)
    {
        connect(controller, &BusinessController::receivedContestName, this,
                [this](const QString &code, const QString &name) { courseLists.append({code, name}); });
        connect(controller, &BusinessController::notifyPrepareReview, this, [this] { ++prepared; });
        connect(controller, &BusinessController::notifyReviewContestContent, this,
                [this](const ResultDetail &detail) { reviews.append(detail.text()); });
        connect(controller, &BusinessController::notifyNotSupportReview, this, [this] { ++notSupported; });
    }

    QList<QStringList> courseLists;
    QStringList reviews;
    int prepared = 0, notSupported = 0;
};

} // namespace

class TestBusinessController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
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
        for (const char *number : {"201", "204"})
            QVERIFY(ServerSeed::addCandidate(*m_store, QLatin1String(number)));
    }

    void init()
    {
        m_stationDir.reset(new QTemporaryDir);
        const QDir pack(QStringLiteral(DEMO_PACK_DIR));
        const QDir station(m_stationDir->path());
        QVERIFY(QFile::copy(pack.filePath(QStringLiteral("ksm.db")), station.filePath(QStringLiteral("ksm.db"))));
        QVERIFY(station.mkdir(QStringLiteral("videos")));
        for (const QString &name : QDir(pack.filePath(QStringLiteral("videos"))).entryList(QDir::Files))
            QVERIFY(QFile::copy(pack.filePath("videos/" + name), station.filePath("videos/" + name)));
        m_server.reset(new ExamServer(m_store.data()));
        m_server->setSecret(KeyExchange::secret());
        QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
    }

    void cleanup()
    {
        TcpClient::instance().close();
        m_server.reset();
    }

    // The station's end-to-end runs show what the window makes of the course
    // list, the admission and a review; here, what it must not hear.
    void resultDeliveredWithoutTheWindowHearingTheCheck()
    {
        auto controller = makeController();
        Recorder recorder(controller.get());
        connectLink();
        const int id = ServerSeed::idOf(*m_store, QStringLiteral("201"));
        controller->sendContestResult(25, Constants::passMark, 0, id, detail, course);

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

    // Texts the content can rebuild, and ids foreign to it, are played
    // through by tst_stationexam and tst_stationrefusals, which have content.
    void reviewTextParts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty middle part") << "5;4||11;12";
        QTest::newRow("two parts") << "5|0";
        QTest::newRow("four parts, the last empty") << "5|0|11|";
        QTest::newRow("lists of different lengths") << "5;4|0|11;12";
        QTest::newRow("not numbers") << "a|b|c";
    }

    void reviewTextParts()
    {
        QFETCH(QString, text);
        auto controller = makeController();
        Recorder recorder(controller.get());
        QTest::ignoreMessage(QtInfoMsg, qPrintable(QStringLiteral("Review text refused: ") + text));
        controller->onReview(text);
        controller->startReview();
        QTRY_COMPARE(recorder.notSupported, 1);
        QCOMPARE(recorder.prepared, 0);
        QVERIFY(recorder.reviews.isEmpty());
    }

    void contestNameEndsAtZeroByte()
    {
        auto controller = makeController();
        Recorder recorder(controller.get());
        const QByteArray codes("K1;K2\0junk", 10);
        const QByteArray names = QStringLiteral("Khóa 1;Khóa 2").toUtf8();
        controller->onContestName(codes.constData(), codes.size(), names.constData(), names.size());
        QTRY_COMPARE(recorder.courseLists.size(), 1);
        QCOMPARE(recorder.courseLists.first(), (QStringList{QStringLiteral("K1;K2"), QStringLiteral("Khóa 1;Khóa 2")}));
    }

    // A missing content database is tst_stationrefusals'.
    void contentCheck_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("invalid");
        QTest::newRow("demo pack") << "" << 0;
        QTest::newRow("chapter 3 holds one situation") << "chapter" << 1;
        QTest::newRow("a situation's video missing") << "videos/chapter5_003.mp4" << 1;
        QTest::newRow("count-down video missing") << "videos/count_down*" << 1;
    }

    void contentCheck()
    {
        QFETCH(QString, damage);
        QFETCH(int, invalid);
        const QDir station(m_stationDir->path());
        QString digest;
        if (damage == QLatin1String("chapter")) {
            const QString path = station.filePath(QStringLiteral("ksm.db"));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName), "edit");
                db.setDatabaseName(path);
                db.setPassword(Constants::dbPassword());
                QVERIFY(db.open());
                QSqlQuery query(db);
                QVERIFY(query.exec(QStringLiteral("delete from video where chapter = 3 and th > 1")));
                QVERIFY(query.numRowsAffected() > 0);
            }
            QSqlDatabase::removeDatabase(QStringLiteral("edit"));
            digest = SqliteConnection::saltedDigest(path, Constants::dbSalt().toLatin1());
        } else if (!damage.isEmpty()) {
            const QStringList clips = QDir(station.filePath(QStringLiteral("videos")))
                                          .entryList({damage.section('/', 1)}, QDir::Files);
            QCOMPARE(clips.size(), 1);
            QVERIFY(QFile::remove(station.filePath("videos/" + clips.first())));
        }
        QCOMPARE(makeController(digest)->isContentInvalid(), invalid);
    }

    void destroyedWhileAContestIsPrepared()
    {
        auto controller = makeController();
        const QString scratch = controller->playerManager()->scratchFolder();
        controller->resetContest(Examination);
        // The worker ends its preparation with a call into the GUI thread, by then in the destructor.
        controller.reset();
        QVERIFY(!QFileInfo::exists(scratch));
    }

private:
    std::unique_ptr<BusinessController> makeController(const QString &digest = QString())
    {
        BusinessController::Setup setup;
        setup.workingFolder = m_stationDir->path();
        setup.databaseDigest = digest;
        auto controller = std::make_unique<BusinessController>(setup);
        controller->loadContent();
        return controller;
    }

    void connectLink()
    {
        qint32 error = 0;
        QCOMPARE(TcpClient::instance().connectToServer("127.0.0.1", QString::number(m_server->port()), &error), 0);
        QTRY_COMPARE(m_server->authenticatedCount(), 1);
    }

    int storedResults(int candidateId)
    {
        QList<ResultRecord> results;
        m_store->results(course, &results);
        return int(std::count_if(results.cbegin(), results.cend(),
                                 [=](const ResultRecord &r) { return r.candidateId == candidateId; }));
    }

    ScriptedQuestion m_question;
    QTemporaryDir m_serverDir;
    QScopedPointer<QTemporaryDir> m_stationDir;
    QScopedPointer<ServerStore> m_store;
    QScopedPointer<ExamServer> m_server;
};

QTEST_MAIN(TestBusinessController)
#include "tst_businesscontroller.moc"
