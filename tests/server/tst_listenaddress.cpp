#include "ListenAddress.h"

#include <QtTest>

class TestListenAddress : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void readsBackWhatItShows();
};

void TestListenAddress::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::newRow("IPv4") << "127.0.0.1:6886" << "127.0.0.1" << 6886;
    QTest::newRow("every interface") << "*:6886" << QHostAddress(QHostAddress::Any).toString() << 6886;
    QTest::newRow("localhost") << "localhost:1" << "127.0.0.1" << 1;
    QTest::newRow("system's choice of port") << "0.0.0.0:0" << "0.0.0.0" << 0;
    QTest::newRow("highest port") << "10.0.0.5:65535" << "10.0.0.5" << 65535;
    QTest::newRow("IPv6 in brackets") << "[::1]:6886" << "::1" << 6886;
    QTest::newRow("IPv6 bare, the last colon parts") << "fe80::1:7000" << "fe80::1" << 7000;
    QTest::newRow("no port") << "127.0.0.1" << "" << 0;
    QTest::newRow("empty port") << "127.0.0.1:" << "" << 0;
    QTest::newRow("port too large") << "127.0.0.1:65536" << "" << 0;
    QTest::newRow("negative port") << "127.0.0.1:-1" << "" << 0;
    QTest::newRow("port not a number") << "127.0.0.1:http" << "" << 0;
    QTest::newRow("no host") << ":6886" << "" << 0;
    QTest::newRow("host name") << "exam.centre.lan:6886" << "" << 0;
    QTest::newRow("bad address") << "256.0.0.1:6886" << "" << 0;
    QTest::newRow("nothing") << "" << "" << 0;
}

void TestListenAddress::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    QHostAddress parsed(QStringLiteral("192.0.2.1"));
    quint16 parsedPort = 4242;
    QCOMPARE(ListenAddress::parse(text, &parsed, &parsedPort), !address.isEmpty());
    if (address.isEmpty()) {
        // Refused: nothing half-written.
        QCOMPARE(parsed, QHostAddress(QStringLiteral("192.0.2.1")));
        QCOMPARE(parsedPort, quint16(4242));
        return;
    }
    QCOMPARE(parsed.toString(), address);
    QCOMPARE(int(parsedPort), port);
}

void TestListenAddress::readsBackWhatItShows()
{
    for (const char *text : {"127.0.0.1:6886", "[::1]:0", "[fe80::1:2]:65535"}) {
        QHostAddress address;
        quint16 port = 0;
        QVERIFY2(ListenAddress::parse(QLatin1String(text), &address, &port), text);
        QCOMPARE(ListenAddress::toString(address, port), QLatin1String(text));
    }
}

QTEST_GUILESS_MAIN(TestListenAddress)
#include "tst_listenaddress.moc"
