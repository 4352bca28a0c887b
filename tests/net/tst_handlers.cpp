#include "AesCipher.h"
#include "AuthenStateOneMessage.h"
#include "BaseHandler.h"
#include "ContestNameMessage.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "HandlerFactory.h"
#include "InputDispatcher.h"
#include "MessageFactory.h"
#include "ReviewMessage.h"
#include "StartSyncVideoMessage.h"
#include "StdoutCapture.h"
#include "SyncVideoMessage.h"
#include "TestFiles.h"
#include "VideoObject.h"

#include <QtTest>

namespace {

// Records every call that reaches the station's side.
class RecordingClient : public ClientInputInterface
{
public:
    void onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid, const QString &fullName,
                         const QString &image) override
    {
        calls << QStringLiteral("enter %1 %2 %3 [%4] [%5] [%6]").arg(code).arg(cert).arg(id).arg(pid, fullName, image);
    }
    void onAuthenStateOne(const QByteArray &nonce) override { calls << "challenge " + nonce.toHex(); }
    void onContestName(const char *codes, int codeLength, const char *names, int nameLength) override
    {
        calls << QStringLiteral("courses [%1] [%2]").arg(QString::fromUtf8(codes, codeLength), QString::fromUtf8(names, nameLength));
    }
    void onReview(const QString &text) override { calls << QStringLiteral("review [%1]").arg(text); }

    QStringList calls;
};

QByteArray frameOf(const BaseMessage &message)
{
    AesCipher cipher;
    return FrameCodec::buildFrame(message, cipher);
}

// Runs framed messages through the station's receive path.
void receive(QByteArray frames)
{
    AesCipher cipher;
    FrameCodec::reassemble(frames, cipher, &HandlerFactory::dispatchToHandler);
}

void receive(const BaseMessage &message)
{
    receive(frameOf(message));
}

void push(const QByteArray &name, const QList<QByteArray> &chunks)
{
    StartSyncVideoMessage start;
    start.setFileName(name);
    receive(start);
    for (const QByteArray &chunk : chunks) {
        SyncVideoMessage data;
        data.setData(chunk);
        receive(data);
    }
    receive(EndSyncVideoMessage());
}

} // namespace

class TestHandlers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        InputDispatcher::instance()->registerClient(&m_client);
        m_startDir = QDir::currentPath();
    }

    void init()
    {
        m_client.calls.clear();
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        // No transfer may stay open into the next test's folder.
        InputDispatcher::instance()->videoSink()->abandon();
        QDir::setCurrent(m_startDir);
        m_dir.reset();
    }

    void rejectionLines_data()
    {
        QTest::addColumn<int>("handlerType");
        QTest::addColumn<int>("messageType");
        QTest::addColumn<QByteArray>("handler");
        QTest::newRow("start given 9") << 1 << 9 << QByteArray("StartSyncVideoHandler");
        QTest::newRow("chunk given 1") << 2 << 1 << QByteArray("SyncVideoHandler");
        QTest::newRow("end given 8") << 3 << 8 << QByteArray("EndSyncVideoHandler");
        QTest::newRow("response given 4") << 5 << 4 << QByteArray("EnterResponseHandler");
        QTest::newRow("response given 100") << 101 << 100 << QByteArray("EnterResponseHandler");
        QTest::newRow("courses given 9") << 8 << 9 << QByteArray("ContestNameHandler");
        QTest::newRow("review given 8") << 9 << 8 << QByteArray("ReviewContestHandler");
        QTest::newRow("challenge given 11") << 10 << 11 << QByteArray("AuthenStateOneHandler");
    }

    // The line ends with the refused type as a raw byte.
    void rejectionLines()
    {
        QFETCH(int, handlerType);
        QFETCH(int, messageType);
        QFETCH(QByteArray, handler);
        std::unique_ptr<BaseMessage> message = MessageFactory::instance()->createMessage(messageType);
        StdoutCapture capture;
        HandlerFactory::instance()->createHandler(handlerType)->process(*message);
        QCOMPARE(capture.finish(), handler + ": can not process message with type: " + char(messageType) + '\n');
        QVERIFY(m_client.calls.isEmpty());
    }

    void deliveredToClient_data()
    {
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<QStringList>("calls");
        for (bool encrypted : {false, true}) {
            EnterResponseMessage response(encrypted);
            response.setCode(2);
            response.setCert(6);
            response.setId(1234);
            response.setPid(QByteArray("0123", 4));
            response.setFullName(QByteArray("L\xc3\xaa V\xc4\x83n\0junk", 12));
            response.setImage(QByteArray("QUJD"));
            QTest::addRow("entry answer, type %d", int(response.type()))
                << frameOf(response) << QStringList{QStringLiteral("enter 2 6 1234 [0123] [Lê Văn] [QUJD]")};
        }
        // Only an answer, never the station's own request, fills the course list.
        for (int isResponse : {0, 1, 2}) {
            ContestNameMessage names;
            names.setIsResponse(quint8(isResponse));
            names.setContestCode(QByteArray("B2;C"));
            names.setContestName(QByteArray("Hạng B2;Hạng C"));
            QTest::addRow("course list, isResponse %d", isResponse)
                << frameOf(names)
                << (isResponse == 1 ? QStringList{QStringLiteral("courses [B2;C] [Hạng B2;Hạng C]")} : QStringList());
        }
        const QList<QPair<QByteArray, QString>> reviews = {{QByteArray(), QString()},
                                                           {QByteArray("5;4|1;2|7;8"), QStringLiteral("5;4|1;2|7;8")},
                                                           {QByteArray("5;4\0|x", 6), QStringLiteral("5;4")}};
        for (const auto &review : reviews) {
            ReviewMessage message;
            message.setText(review.first);
            QTest::addRow("review of %d bytes", review.first.size())
                << frameOf(message) << QStringList{QStringLiteral("review [%1]").arg(review.second)};
        }
        AuthenStateOneMessage challenge;
        challenge.setNonce(QByteArray::fromHex("00112233445566778899aabbccddeeff"));
        QTest::newRow("challenge") << frameOf(challenge)
                                   << QStringList{QStringLiteral("challenge 00112233445566778899aabbccddeeff")};
        // What only the station sends needs no action when it comes back.
        for (int type : {4, 6, 7, 11, 100, 102, 103})
            QTest::addRow("own request %d", type) << frameOf(*MessageFactory::instance()->createMessage(type))
                                                  << QStringList();
    }

    void deliveredToClient()
    {
        QFETCH(QByteArray, frames);
        QFETCH(QStringList, calls);
        StdoutCapture capture;
        receive(frames);
        QCOMPARE(capture.finish(), QByteArray());
        QCOMPARE(m_client.calls, calls);
    }

    void pushWritesFile()
    {
        QVERIFY(QDir().mkdir("videos"));
        push("videos/clip.mp4", {QByteArray("first "), QByteArray(35000, 'x'), QByteArray("end")});
        QCOMPARE(TestFiles::read("videos/clip.mp4"), QByteArray("first ") + QByteArray(35000, 'x') + "end");

        // A name is read up to its first zero byte, which leaves none here; the
        // transfer after the refused one works again.
        push(QByteArray("\0escaped.mp4", 12), {QByteArray("new bytes")});
        QCOMPARE(QDir::current().entryList(QDir::Files), QStringList());
        push("ok.mp4", {QByteArray("fine")});
        QCOMPARE(TestFiles::read("ok.mp4"), QByteArray("fine"));

        // Chunks and an end with no transfer open (its start went with an
        // earlier link) touch nothing, and a run of them costs two lines.
        QTest::ignoreMessage(QtInfoMsg, "Pushed chunk with no open transfer; ignored");
        QTest::ignoreMessage(QtInfoMsg, "End of a push with no open transfer; ignored (2 chunk(s) ignored before it)");
        for (const char *bytes : {"stray", "bytes"}) {
            SyncVideoMessage data;
            data.setData(QByteArray(bytes));
            receive(data);
        }
        receive(EndSyncVideoMessage());
        QCOMPARE(TestFiles::read("ok.mp4"), QByteArray("fine"));
    }

private:
    RecordingClient m_client;
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_startDir;
};

QTEST_GUILESS_MAIN(TestHandlers)
#include "tst_handlers.moc"
