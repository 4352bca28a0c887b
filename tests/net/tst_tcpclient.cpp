#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseMessage.h"
#include "ExamServer.h"
#include "FrameCodec.h"
#include "InputDispatcher.h"
#include "KeyExchange.h"
#include "ScriptedQuestion.h"
#include "ServerSeed.h"
#include "ServerStore.h"
#include "StartSyncVideoMessage.h"
#include "StdoutCapture.h"
#include "SyncVideoMessage.h"
#include "TcpClient.h"
#include "TestFiles.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>

#include <cerrno>
#include <csignal>

namespace {

// Answers the server's challenge the way the session controller does and
// records what reaches the station. Its calls come on the receiving thread.
class Listener : public ClientInputInterface
{
public:
    void onEnterResponse(qint32 code, qint32, qint32 id, const QString &, const QString &, const QString &) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_entries.append(code == EnterResponseMessage::Admitted ? id : -1);
    }
    void onAuthenStateOne(const QByteArray &nonce) override
    {
        TcpClient::instance().answerChallenge(nonce);
        ++challenges;
    }
    void onContestName(const char *, int, const char *, int) override { ++courseLists; }
    void onReview(const QString &) override {}

    // Candidate ids of the admissions in arrival order; -1 for a refusal.
    QList<int> entries() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_entries;
    }

    std::atomic<int> challenges{0};
    std::atomic<int> courseLists{0};

private:
    mutable std::mutex m_lock;
    QList<int> m_entries;
};

} // namespace

class TestTcpClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A send that raised SIGPIPE would end this test too.
        std::signal(SIGPIPE, SIG_DFL);
        TcpClient::instance().setRetryQuestion(&m_question);
        m_store.reset(new ServerStore);
        QVERIFY2(ServerSeed::open(*m_store, m_dir.filePath(QStringLiteral("server.db"))), qPrintable(m_store->lastError()));
        QVERIFY(ServerSeed::addCandidate(*m_store, QStringLiteral("102")));
    }

    void init()
    {
        m_server.reset(new ExamServer(m_store.data()));
        m_server->setSecret(KeyExchange::secret());
        QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
        m_port = m_server->port();
        m_question.answer = nullptr;
        m_question.asked = 0;
        m_listener.reset(new Listener);
        InputDispatcher::instance()->registerClient(m_listener.get());
    }

    void cleanup()
    {
        TcpClient::instance().close();
        InputDispatcher::instance()->unregisterClient(m_listener.get());
        m_server.reset();
    }

    // A refusal declined at once is tst_stationrefusals'.
    void connectOutcomes_data()
    {
        QTest::addColumn<QString>("host");
        // One letter per retry question: y(es), n(o), or l(isten again, then yes).
        QTest::addColumn<QString>("answers");
        QTest::addColumn<int>("code");
        QTest::newRow("refused, retried, declined") << "127.0.0.1" << "yn" << 3;
        QTest::newRow("refused, retried once the server is back") << "127.0.0.1" << "yl" << 0;
        QTest::newRow("host does not resolve") << "no-such-host.invalid" << "" << 2;
    }

    void connectOutcomes()
    {
        QFETCH(QString, host);
        QFETCH(QString, answers);
        QFETCH(int, code);
        m_server->close();
        m_question.answer = [&](int asked) {
            const QChar answer = answers.at(asked - 1);
            if (answer == QLatin1Char('l'))
                m_server->listen(QHostAddress::LocalHost, m_port);
            return answer != QLatin1Char('n');
        };
        qint32 error = 0;
        StdoutCapture capture;
        const int result = TcpClient::instance().connectToServer(host, QString::number(m_port), &error);
        const QByteArray output = capture.finish();

        QCOMPARE(result, code);
        QCOMPARE(m_question.asked, answers.size());
        QCOMPARE(output.count("Unable to connect to server!\n"), answers.size());
        if (code == TcpClient::Connected) {
            QCOMPARE(error, -2);
            QTRY_COMPARE(m_listener->challenges.load(), 1);
        } else if (code == TcpClient::Unreachable) {
            QCOMPARE(error, ECONNREFUSED);
            QVERIFY(!TcpClient::instance().isConnected());
        } else {
            const QByteArray e = QByteArray::number(error);
            QCOMPARE(output, "getaddrinfo failed with error: " + e + ". Try again now...\n"
                             "getaddrinfo failed with error: " + e + ". Stop now\n");
        }
    }

    void messagesOfALostLinkLeaveAfterTheNextChallenge()
    {
        TcpClient &client = TcpClient::instance();
        loseTheLink();
        const QByteArray firstKey = client.cipher().key();

        // The operator declines the reconnection: the entry stays pending.
        m_question.answer = [](int) { return false; };
        auto entry = std::make_unique<ContestEnterMessage>(true);
        entry->setContestCode(QByteArrayLiteral("K1"));
        entry->setCandidateNumber(QByteArrayLiteral("102"));
        QVERIFY(!client.sendWithDeliveryCheck(std::move(entry)));
        QCOMPARE(m_question.asked, 1);
        QVERIFY(!client.isConnected());

        // The next delivery check tries again and the server is back by then.
        m_question.answer = [this](int) { return m_server->listen(QHostAddress::LocalHost, m_port); };
        QVERIFY(!client.sendWithDeliveryCheck(std::make_unique<ContestNameMessage>()));
        QCOMPARE(m_question.asked, 2);
        QTRY_COMPARE(m_listener->challenges.load(), 2);
        QVERIFY(client.cipher().key() != firstKey);
        QTRY_COMPARE(m_listener->entries(), QList<int>{ServerSeed::idOf(*m_store, QStringLiteral("102"))});
        QTRY_COMPARE(m_listener->courseLists.load(), 1);
        // Each pending message left once.
        QVERIFY(client.sendWithDeliveryCheck(std::make_unique<ContestNameMessage>()));
        QTRY_COMPARE(m_listener->courseLists.load(), 2);
        QCOMPARE(m_listener->entries().size(), 1);
    }

    void laterDeliveryCheckReconnectsWithoutHoldingUpTheCaller()
    {
        TcpClient &client = TcpClient::instance();
        loseTheLink();
        // The caller gets on at once; the failed check asks for the reconnection
        // later, from the event loop, and the request leaves after the challenge.
        m_question.answer = [this](int) { return m_server->listen(QHostAddress::LocalHost, m_port); };
        QObject context;
        client.sendWithLaterDeliveryCheck(std::make_unique<ContestNameMessage>(), &context);
        QCOMPARE(m_question.asked, 0);
        QTRY_COMPARE(m_question.asked, 1);
        QTRY_COMPARE(m_listener->courseLists.load(), 1);

        // A check whose context is gone concludes nothing; frames sent meanwhile
        // find no link.
        m_server->close();
        QTRY_VERIFY(!client.isConnected());
        client.sendWithLaterDeliveryCheck(std::make_unique<ContestNameMessage>(), std::make_unique<QObject>().get());
        for (int i = 0; i < 3; ++i)
            QVERIFY(client.sendMessage(*std::make_unique<ContestNameMessage>()) > 0);
        // Nothing to wait on: the check's timer must pass without a question.
        QTest::qWait(2 * TcpClient::deliveryWaitMs);
        QVERIFY(!client.isSendOk());
        QCOMPARE(m_question.asked, 1);
    }

    // A server that loses the link in the middle of a push and sends the rest
    // on the next link must not get the two halves committed as one file.
    void pushCutShortByALostLinkIsDropped()
    {
        const QString startDir = QDir::currentPath();
        QTemporaryDir work;
        QVERIFY(QDir::setCurrent(work.path()));
        const auto back = qScopeGuard([&] { QDir::setCurrent(startDir); });
        QVERIFY(QDir().mkdir("videos"));
        const QByteArray clip = "videos/chapter1_1.mp4";
        QVERIFY(TestFiles::write(clip, "the clip in place"));

        // The push frames are plain: a bare socket can play the server.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TcpClient &client = TcpClient::instance();
        QCOMPARE(client.connectToServer("127.0.0.1", QString::number(server.serverPort()), nullptr), 0);
        QVERIFY(server.waitForNewConnection(10000));
        std::unique_ptr<QTcpSocket> link(server.nextPendingConnection());
        link->write(startFrame(clip) + chunkFrame(QByteArray(30000, 'a')) + courseListFrame());
        QTRY_COMPARE_WITH_TIMEOUT(m_listener->courseLists.load(), 1, 10000);
        link->abort();
        QTRY_VERIFY_WITH_TIMEOUT(!client.isConnected(), 10000);

        QCOMPARE(client.reinitSocket(), 0);
        QVERIFY(server.waitForNewConnection(10000));
        link.reset(server.nextPendingConnection());
        link->write(chunkFrame(QByteArray(36532, 'b')) + frameOf(EndSyncVideoMessage()) + courseListFrame());
        QTRY_COMPARE_WITH_TIMEOUT(m_listener->courseLists.load(), 2, 10000);
        QCOMPARE(TestFiles::read(clip), QByteArray("the clip in place"));

        // A whole push on the new link lands.
        link->write(startFrame(clip) + chunkFrame("new ") + chunkFrame("clip") + frameOf(EndSyncVideoMessage())
                    + courseListFrame());
        QTRY_COMPARE_WITH_TIMEOUT(m_listener->courseLists.load(), 3, 10000);
        QCOMPARE(TestFiles::read(clip), QByteArray("new clip"));
        QCOMPARE(QDir("videos").entryList(QDir::Files), QStringList{"chapter1_1.mp4"});
    }

private:
    static QByteArray frameOf(const BaseMessage &message)
    {
        AesCipher cipher;
        return FrameCodec::buildFrame(message, cipher);
    }
    static QByteArray startFrame(const QByteArray &name)
    {
        StartSyncVideoMessage start;
        start.setFileName(name);
        return frameOf(start);
    }
    static QByteArray chunkFrame(const QByteArray &bytes)
    {
        SyncVideoMessage chunk;
        chunk.setData(bytes);
        return frameOf(chunk);
    }
    // Handled after every frame before it, so its arrival tells they are done.
    static QByteArray courseListFrame()
    {
        ContestNameMessage names;
        names.setIsResponse(1);
        names.setContestCode(QByteArray("K1"));
        names.setContestName(QByteArray("K1"));
        return frameOf(names);
    }

    // Connected, then the server goes away: the station notices without
    // sending anything.
    void loseTheLink()
    {
        qint32 error = 0;
        QTest::ignoreMessage(QtInfoMsg, qPrintable(QStringLiteral("Link to the examination server 127.0.0.1:%1 up").arg(m_port)));
        QCOMPARE(TcpClient::instance().connectToServer("127.0.0.1", QString::number(m_port), &error), 0);
        QTRY_COMPARE(m_listener->challenges.load(), 1);
        m_server->close();
        QTRY_VERIFY(!TcpClient::instance().isConnected());
    }

    std::unique_ptr<Listener> m_listener;
    ScriptedQuestion m_question;
    QTemporaryDir m_dir;
    QScopedPointer<ServerStore> m_store;
    QScopedPointer<ExamServer> m_server;
    quint16 m_port = 0;
};

QTEST_GUILESS_MAIN(TestTcpClient)
#include "tst_tcpclient.moc"
