#include "FileUtility.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestFileUtility : public QObject
{
    Q_OBJECT
private slots:
    void readsAddress_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::newRow("spaces and line end trimmed") << QByteArray("SERVER: 10.0.0.5 : 7000\r\n") << "10.0.0.5" << "7000";
        QTest::newRow("last line wins") << QByteArray("SERVER:10.0.0.1:1\nSERVER:10.0.0.2:2\n") << "10.0.0.2" << "2";
        QTest::newRow("fourth field ignored") << QByteArray("SERVER:10.1.1.1:81:extra\n") << "10.1.1.1" << "81";
        QTest::newRow("short lines ignored") << QByteArray("SERVER:10.1.1.1:81\nhost only\nA:B\n") << "10.1.1.1" << "81";
        QTest::newRow("no qualifying line") << QByteArray("nothing here\n") << "127.0.0.1" << "6886";
        QTest::newRow("IPv6 literal split at colons") << QByteArray("SERVER:::1:6886\n") << "" << "";
        QTest::newRow("no final line feed") << QByteArray("SERVER:192.168.1.9:6886") << "192.168.1.9" << "6886";
        QTest::newRow("utf-8 host name") << QByteArray("SERVER:máy-chủ:6886\n") << QString::fromUtf8("máy-chủ") << "6886";
    }

    void readsAddress()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, host);
        QFETCH(QString, port);
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("connection_tcp.csv"));
        QVERIFY(TestFiles::write(path, content));
        QCOMPARE(FileUtility().readServerAddress(path), qMakePair(host, port));
    }

    void missingFileGivesDefaults_data()
    {
        QTest::addColumn<QString>("name");
        // The default file is written when its folder exists; the content it gets.
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("file missing, written") << "connection_tcp.csv" << QByteArray("SERVER:127.0.0.1:6886");
        QTest::newRow("folder missing") << "config/connection_tcp.csv" << QByteArray("<missing>");
    }

    void missingFileGivesDefaults()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, written);
        const QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Open file is error: ")));
        QCOMPARE(FileUtility().readServerAddress(path), qMakePair(QStringLiteral("127.0.0.1"), QStringLiteral("6886")));
        QCOMPARE(TestFiles::read(path), written);
    }

};

QTEST_GUILESS_MAIN(TestFileUtility)
#include "tst_fileutility.moc"
