#include "AddressList.h"
#include "StreamSocket.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <atomic>
#include <thread>

#include <cerrno>
#include <csignal>
#include <netdb.h>

class TestStreamSocket : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::signal(SIGPIPE, SIG_DFL); } // its default action would end this test
    void init()
    {
        m_server.reset(new QTcpServer);
        QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
        m_port = QByteArray::number(m_server->serverPort());
    }

    void resolvesAndRefuses();
    void peerThatClosesIsAnErrorNotASignal();
    void shutdownWakesABlockedReceive();

private:
    bool connectSocket(StreamSocket &socket, const char *host = "127.0.0.1");

    QScopedPointer<QTcpServer> m_server;
    QByteArray m_port;
};

bool TestStreamSocket::connectSocket(StreamSocket &socket, const char *host)
{
    AddressList addresses;
    if (addresses.resolve(host, m_port.constData()) != 0 || addresses.count() < 1)
        return false;
    return socket.open(addresses.family(0), addresses.socketType(0), addresses.protocol(0))
           && socket.connectTo(addresses.address(0), addresses.addressLength(0));
}

void TestStreamSocket::resolvesAndRefuses()
{
    AddressList addresses;
    QCOMPARE(addresses.resolve("no-such-host.invalid", "6886"), EAI_NONAME);
    QCOMPARE(addresses.count(), 0);

    m_server->close();
    StreamSocket socket;
    QVERIFY(!connectSocket(socket, "localhost"));
    QCOMPARE(StreamSocket::lastError(), ECONNREFUSED);
}

void TestStreamSocket::peerThatClosesIsAnErrorNotASignal()
{
    StreamSocket socket;
    QVERIFY(connectSocket(socket));
    QTRY_VERIFY(m_server->hasPendingConnections());
    m_server->nextPendingConnection()->abort();

    char byte = 0;
    QCOMPARE(socket.receive(&byte, 1), int64_t(0));
    // The first send may still be taken; once the peer has answered it with
    // a reset, sending reports the failure, and the process lives on.
    const QByteArray block(4096, 'x');
    int error = 0;
    QTRY_VERIFY([&] {
        if (socket.send(block.constData(), block.size()) >= 0)
            return false;
        error = StreamSocket::lastError();
        return true;
    }());
    QVERIFY2(error == EPIPE || error == ECONNRESET, qPrintable(QString::number(error)));
}

void TestStreamSocket::shutdownWakesABlockedReceive()
{
    StreamSocket socket;
    QVERIFY(connectSocket(socket));
    std::atomic<int64_t> received{1};
    std::thread receiver([&] {
        char byte = 0;
        received = socket.receive(&byte, 1);
    });
    socket.shutdown();
    receiver.join();
    QCOMPARE(received.load(), int64_t(0));
}

QTEST_GUILESS_MAIN(TestStreamSocket)
#include "tst_streamsocket.moc"
