#include "TimeCode.h"

#include <QtTest>

class TestTimeCode : public QObject
{
    Q_OBJECT

private slots:
    void fromMilliseconds_data();
    void fromMilliseconds();
    void everyMillisecondLandsOnOrJustAfter();
    void isValid_data();
    void isValid();
};

void TestTimeCode::fromMilliseconds_data()
{
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("stationReads");

    QTest::newRow("zero") << qint64(0) << QStringLiteral("00:00:00") << qint64(0);
    QTest::newRow("just past a sixtieth") << qint64(17) << QStringLiteral("00:00:02") << qint64(33);
    QTest::newRow("rounded up") << qint64(3251) << QStringLiteral("00:03:16") << qint64(3266);
    QTest::newRow("one minute") << qint64(60000) << QStringLiteral("01:00:00") << qint64(60000);
    QTest::newRow("largest") << qint64(1439983) << QStringLiteral("23:59:59") << qint64(1439983);
    QTest::newRow("beyond largest") << qint64(1439984) << QString() << qint64(0);
    QTest::newRow("negative") << qint64(-1) << QString() << qint64(0);
}

void TestTimeCode::fromMilliseconds()
{
    QFETCH(qint64, milliseconds);
    QFETCH(QString, code);
    QFETCH(qint64, stationReads);
    QCOMPARE(TimeCode::fromMilliseconds(milliseconds), code);
    QCOMPARE(TimeCode::toMilliseconds(code), stationReads);
}

void TestTimeCode::everyMillisecondLandsOnOrJustAfter()
{
    // The chosen code must never fall short of the wanted time, and no
    // earlier code may reach it: otherwise a hazard window would open early
    // or later than needed.
    QString previous;
    for (qint64 ms = 0; ms <= 30000; ++ms) {
        const QString code = TimeCode::fromMilliseconds(ms);
        const qint64 read = TimeCode::toMilliseconds(code);
        QVERIFY2(read >= ms && read <= ms + 16, qPrintable(QStringLiteral("%1 ms -> %2").arg(ms).arg(code)));
        if (code != previous && !previous.isEmpty())
            QVERIFY2(TimeCode::toMilliseconds(previous) < ms, qPrintable(previous));
        previous = code;
    }
}

void TestTimeCode::isValid_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");

    QTest::newRow("largest") << QStringLiteral("23:59:59") << true;
    QTest::newRow("one digit") << QStringLiteral("0:05:30") << false;
    QTest::newRow("sixty sixtieths") << QStringLiteral("00:00:60") << false;
    QTest::newRow("sixty seconds") << QStringLiteral("00:60:00") << false;
    QTest::newRow("24 minutes") << QStringLiteral("24:00:00") << false;
    QTest::newRow("milliseconds") << QStringLiteral("5500") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestTimeCode::isValid()
{
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QCOMPARE(TimeCode::isValid(code), valid);
}

QTEST_GUILESS_MAIN(TestTimeCode)
#include "tst_timecode.moc"
