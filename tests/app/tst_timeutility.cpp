#include "TimeUtility.h"

#include <QtTest>

class TestTimeUtility : public QObject
{
    Q_OBJECT
private slots:
    // How a time code reads is checked code by code in tst_timecode, whose
    // conversion is this one.
    void progressText_data()
    {
        QTest::addColumn<qint64>("current");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short") << qint64(0) << qint64(83500) << "00:00 / 01:23";
        QTest::newRow("long form above an hour") << qint64(0) << qint64(3601000) << "00:00:00 / 01:00:01";
        QTest::newRow("exactly an hour stays short") << qint64(1000) << qint64(3600999) << "00:01 / 00:00";
        QTest::newRow("both below a second") << qint64(0) << qint64(500) << "";
    }

    void progressText()
    {
        QFETCH(qint64, current);
        QFETCH(qint64, total);
        QFETCH(QString, expected);
        QCOMPARE(TimeUtility::instance()->progressText(current, total), expected);
    }

    void positionText_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<QString>("expected");
        QTest::newRow("83.5 s") << qint64(83500) << "01:23:30";
        QTest::newRow("1.05 s") << qint64(1050) << "00:01:03";
        QTest::newRow("zero") << qint64(0) << "";
        QTest::newRow("single digit sixtieth") << qint64(100) << "00:00:06";
        QTest::newRow("long form") << qint64(3601000) << "01:00:01:00";
    }

    void positionText()
    {
        QFETCH(qint64, position);
        QFETCH(QString, expected);
        QCOMPARE(TimeUtility::positionText(position), expected);
    }
};

QTEST_GUILESS_MAIN(TestTimeUtility)
#include "tst_timeutility.moc"
