#include "AuthenStateOneHandler.h"
#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "ContestEnterMessage.h"
#include "ContestNameHandler.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EndSyncVideoHandler.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseHandler.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "AesCipher.h"
#include "HandlerFactory.h"
#include "InfoConfirmMessage.h"
#include "InputDispatcher.h"
#include "MessageFactory.h"
#include "ReviewContestHandler.h"
#include "ReviewMessage.h"
#include "StartSyncVideoHandler.h"
#include "StartSyncVideoMessage.h"
#include "StdoutCapture.h"
#include "SyncVideoHandler.h"
#include "SyncVideoMessage.h"
#include "VideoObject.h"

#include <QtTest>

namespace {

// Records every call that reaches the station's side.
class RecordingClient : public ClientInputInterface
{
public:
    void onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                         const QString &fullName, const QString &image) override
    {
        calls << QStringLiteral("enter %1 %2 %3 [%4] [%5] [%6]")
                     .arg(code).arg(cert).arg(id).arg(pid, fullName, image);
    }
    void onAuthenStateOne(const QByteArray &nonce) override
    {
        calls << QStringLiteral("challenge ") + QString::fromLatin1(nonce.toHex());
    }
    void onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                       int nameLength) override
    {
        calls << QStringLiteral("courses [%1] [%2]")
                     .arg(QString::fromUtf8(codeBytes, codeLength),
                          QString::fromUtf8(nameBytes, nameLength));
    }
    void onReview(const QString &text) override { calls << QStringLiteral("review [%1]").arg(text); }

    QStringList calls;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Qt Test prints the log to standard output as well; keep only our lines.
QByteArray withoutLog(const QByteArray &output)
{
    QByteArray kept;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("QINFO") && !line.startsWith("QDEBUG"))
            kept += line + '\n';
    }
    return kept;
}

// Runs one framed message through the station's receive path.
void receive(const BaseMessage &message)
{
    AesCipher cipher;
    QByteArray frame = FrameCodec::buildFrame(message, cipher);
    FrameCodec::reassemble(frame, cipher, &HandlerFactory::dispatchToHandler);
}

void push(const QByteArray &name, const QList<QByteArray> &chunks, bool finish)
{
    StartSyncVideoMessage start;
    start.setFileName(name);
    receive(start);
    for (const QByteArray &chunk : chunks) {
        SyncVideoMessage data;
        data.setData(chunk);
        receive(data);
    }
    if (finish)
        receive(EndSyncVideoMessage());
}

} // namespace

class TestHandlers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rejectionLines_data();
    void rejectionLines();
    void enterResponseReachesClient_data();
    void enterResponseReachesClient();
    void courseListsOnlyFromAnswers_data();
    void courseListsOnlyFromAnswers();
    void reviewText_data();
    void reviewText();
    void challengeReachesClient();
    void ownRequestsNeedNoAction_data();
    void ownRequestsNeedNoAction();
    void everyListenerInOrder();

    void pushWritesFile();
    void secondPushReplacesFile();
    void refusedNames_data();
    void refusedNames();
    void symlinkEscapeIsRefused();
    void interruptedPushKeepsOldFile();
    void abandonedPushKeepsOldFile();

private:
    RecordingClient m_client;
    QTemporaryDir *m_dir = nullptr;
    QString m_startDir;
};

void TestHandlers::initTestCase()
{
    InputDispatcher::instance()->registerClient(&m_client);
    m_startDir = QDir::currentPath();
}

void TestHandlers::init()
{
    m_client.calls.clear();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestHandlers::cleanup()
{
    // No transfer may stay open into the next test's folder.
    InputDispatcher::instance()->videoSink()->closeFile();
    QDir::setCurrent(m_startDir);
    delete m_dir;
    m_dir = nullptr;
}

void TestHandlers::rejectionLines_data()
{
    QTest::addColumn<int>("handlerType");
    QTest::addColumn<int>("messageType");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("start given 9") << 1 << 9
        << QByteArray("StartSyncVideoHandler: can not process message with type: \t\n");
    QTest::newRow("chunk given 1") << 2 << 1
        << QByteArray("SyncVideoHandler: can not process message with type: \x01\n");
    QTest::newRow("end given 8") << 3 << 8
        << QByteArray("EndSyncVideoHandler: can not process message with type: \b\n");
    QTest::newRow("response given 4") << 5 << 4
        << QByteArray("EnterResponseHandler: can not process message with type: \x04\n");
    QTest::newRow("response given 100") << 101 << 100
        << QByteArray("EnterResponseHandler: can not process message with type: d\n");
    QTest::newRow("courses given 9") << 8 << 9
        << QByteArray("ContestNameHandler: can not process message with type: \t\n");
    QTest::newRow("review given 8") << 9 << 8
        << QByteArray("ReviewContestHandler: can not process message with type: \b\n");
    QTest::newRow("challenge given 11") << 10 << 11
        << QByteArray("AuthenStateOneHandler: can not process message with type: \x0b\n");
}

void TestHandlers::rejectionLines()
{
    QFETCH(int, handlerType);
    QFETCH(int, messageType);
    QFETCH(QByteArray, line);

    std::unique_ptr<BaseHandler> handler = HandlerFactory::instance()->createHandler(handlerType);
    std::unique_ptr<BaseMessage> message = MessageFactory::instance()->createMessage(messageType);
    QVERIFY(handler && message);
    StdoutCapture capture;
    handler->process(*message);
    QCOMPARE(capture.finish(), line);
    QVERIFY(m_client.calls.isEmpty());
}

void TestHandlers::enterResponseReachesClient_data()
{
    QTest::addColumn<bool>("encrypted");
    QTest::newRow("type 5") << false;
    QTest::newRow("type 101") << true;
}

void TestHandlers::enterResponseReachesClient()
{
    QFETCH(bool, encrypted);
    EnterResponseMessage response(encrypted);
    response.setCode(2);
    response.setCert(6);
    response.setId(1234);
    response.setPid(QByteArray("0123", 4));
    response.setFullName(QByteArray("L\xc3\xaa V\xc4\x83n\0junk", 12));
    response.setImage(QByteArray("QUJD"));
    StdoutCapture capture;
    receive(response);
    QCOMPARE(capture.finish(), QByteArray());
    QCOMPARE(m_client.calls,
             QStringList{QStringLiteral("enter 2 6 1234 [0123] [Lê Văn] [QUJD]")});

    // A handler given the encrypted type number directly acts the same.
    m_client.calls.clear();
    response.setType(encrypted ? 101 : 5);
    EnterResponseHandler().process(response);
    QCOMPARE(m_client.calls.size(), 1);
}

void TestHandlers::courseListsOnlyFromAnswers_data()
{
    QTest::addColumn<int>("isResponse");
    QTest::addColumn<int>("calls");
    QTest::newRow("request 0") << 0 << 0;
    QTest::newRow("answer 1") << 1 << 1;
    QTest::newRow("odd 2") << 2 << 0;
}

void TestHandlers::courseListsOnlyFromAnswers()
{
    QFETCH(int, isResponse);
    QFETCH(int, calls);
    ContestNameMessage names;
    names.setIsResponse(quint8(isResponse));
    names.setContestCode(QByteArray("B2;C"));
    names.setContestName(QByteArray("Hạng B2;Hạng C"));
    StdoutCapture capture;
    receive(names);
    QCOMPARE(capture.finish(), QByteArray());
    QCOMPARE(m_client.calls.size(), calls);
    if (calls)
        QCOMPARE(m_client.calls.first(), QStringLiteral("courses [B2;C] [Hạng B2;Hạng C]"));
}

void TestHandlers::reviewText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("three parts") << QByteArray("5;4|1;2|7;8") << QStringLiteral("5;4|1;2|7;8");
    QTest::newRow("cut at zero") << QByteArray("5;4\0|x", 6) << QStringLiteral("5;4");
}

void TestHandlers::reviewText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    ReviewMessage review;
    review.setText(text);
    receive(review);
    QCOMPARE(m_client.calls, QStringList{QStringLiteral("review [%1]").arg(expected)});
}

void TestHandlers::challengeReachesClient()
{
    AuthenStateOneMessage challenge;
    challenge.setNonce(QByteArray::fromHex("00112233445566778899aabbccddeeff"));
    receive(challenge);
    QCOMPARE(m_client.calls,
             QStringList{QStringLiteral("challenge 00112233445566778899aabbccddeeff")});
}

void TestHandlers::ownRequestsNeedNoAction_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("4") << 4;
    QTest::newRow("6") << 6;
    QTest::newRow("7") << 7;
    QTest::newRow("11") << 11;
    QTest::newRow("100") << 100;
    QTest::newRow("102") << 102;
    QTest::newRow("103") << 103;
}

void TestHandlers::ownRequestsNeedNoAction()
{
    QFETCH(int, type);
    std::unique_ptr<BaseMessage> message = MessageFactory::instance()->createMessage(type);
    QVERIFY(message);
    StdoutCapture capture;
    receive(*message);
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY(m_client.calls.isEmpty());
}

void TestHandlers::everyListenerInOrder()
{
    QStringList order;
    struct Listener : RecordingClient
    {
        Listener(QStringList &order, const QString &name) : order(order), name(name) {}
        void onReview(const QString &text) override { order << name + ':' + text; }
        QStringList &order;
        QString name;
    };
    Listener first(order, "first");
    Listener second(order, "second");
    InputDispatcher dispatcher;
    dispatcher.registerClient(&first);
    dispatcher.registerClient(&second);
    dispatcher.registerClient(nullptr);
    QCOMPARE(dispatcher.clientCount(), 2);

    ReviewMessage review;
    review.setText(QByteArray("x|y|z"));
    ReviewContestHandler(&dispatcher).process(review);
    QCOMPARE(order, (QStringList{"first:x|y|z", "second:x|y|z"}));
    QVERIFY(m_client.calls.isEmpty());
}

void TestHandlers::pushWritesFile()
{
    QVERIFY(QDir().mkdir("videos"));
    StdoutCapture capture;
    push("videos/clip.mp4", {QByteArray("first "), QByteArray(70000 / 2, 'x'), QByteArray("end")},
         true);
    QCOMPARE(withoutLog(capture.finish()), QByteArray("StartSyncvideomessage \x01\n"
                                          "Syncvideomessage:\x02\n"
                                          "Syncvideomessage:\x02\n"
                                          "Syncvideomessage:\x02\n"
                                          "EndSyncvideomessage\x03\n"));
    QCOMPARE(readFile("videos/clip.mp4"), QByteArray("first ") + QByteArray(35000, 'x') + "end");
}

void TestHandlers::secondPushReplacesFile()
{
    push("clip.mp4", {QByteArray("a long first version")}, true);
    push("clip.mp4", {QByteArray("short")}, true);
    QCOMPARE(readFile("clip.mp4"), QByteArray("short"));
}

void TestHandlers::refusedNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("absolute") << QByteArray("ABSOLUTE");
    QTest::newRow("parent") << QByteArray("../escaped.mp4");
    QTest::newRow("inner parent") << QByteArray("videos/../../escaped.mp4");
    QTest::newRow("empty before zero") << QByteArray("\0escaped.mp4", 12);
}

void TestHandlers::refusedNames()
{
    QFETCH(QByteArray, name);
    QTemporaryDir outside;
    QVERIFY(QDir().mkpath("inner/videos"));
    QVERIFY(QDir::setCurrent(QDir::current().absoluteFilePath("inner")));
    const QString target = outside.filePath("escaped.mp4");
    if (name == "ABSOLUTE")
        name = QFile::encodeName(target);
    // Files the refused push could reach if it were accepted.
    writeFile(target, "old");
    writeFile("../escaped.mp4", "old");

    push(name, {QByteArray("new bytes")}, true);
    QCOMPARE(readFile(target), QByteArray("old"));
    QCOMPARE(readFile("../escaped.mp4"), QByteArray("old"));
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList());

    // The next transfer works again.
    push("ok.mp4", {QByteArray("fine")}, true);
    QCOMPARE(readFile("ok.mp4"), QByteArray("fine"));
}

void TestHandlers::symlinkEscapeIsRefused()
{
    QTemporaryDir outside;
    writeFile(outside.filePath("victim.mp4"), "old");
    QVERIFY(QFile::link(outside.path(), "linkdir"));
    QVERIFY(QFile::link(outside.filePath("victim.mp4"), "linkfile.mp4"));

    push("linkdir/victim.mp4", {QByteArray("new")}, true);
    push("linkfile.mp4", {QByteArray("new")}, true);
    QCOMPARE(readFile(outside.filePath("victim.mp4")), QByteArray("old"));
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{"victim.mp4"});
}

void TestHandlers::interruptedPushKeepsOldFile()
{
    writeFile("clip.mp4", "old content");
    push("clip.mp4", {QByteArray("half of the new")}, false);
    QCOMPARE(readFile("clip.mp4"), QByteArray("old content"));

    // A new transfer abandons the unfinished one.
    push("other.mp4", {QByteArray("other")}, true);
    QCOMPARE(readFile("clip.mp4"), QByteArray("old content"));
    QCOMPARE(readFile("other.mp4"), QByteArray("other"));
    QCOMPARE(QDir::current().entryList(QDir::Files), (QStringList{"clip.mp4", "other.mp4"}));
}

void TestHandlers::abandonedPushKeepsOldFile()
{
    writeFile("clip.mp4", "old content");
    {
        InputDispatcher dispatcher;
        StartSyncVideoMessage start;
        start.setFileName(QByteArray("clip.mp4"));
        SyncVideoMessage data;
        data.setData(QByteArray("half of the new"));
        StdoutCapture capture;
        StartSyncVideoHandler(&dispatcher).process(start);
        SyncVideoHandler(&dispatcher).process(data);
        capture.finish();
        QVERIFY(dispatcher.videoSink()->isOpen());
    }
    QCOMPARE(readFile("clip.mp4"), QByteArray("old content"));
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList{"clip.mp4"});
}

QTEST_GUILESS_MAIN(TestHandlers)
#include "tst_handlers.moc"
