#include "StationLook.h"

#include <QtTest>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QPixmap>
#include <QRawFont>

class TestStationLook : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void artworkLoads_data();
    void artworkLoads();
    void formFontsShowVietnamese_data();
    void formFontsShowVietnamese();
};

void TestStationLook::initTestCase()
{
    StationLook::install();
}

void TestStationLook::artworkLoads_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path : {":/images/resources/images/administrator.png",
                             ":/images/resources/images/RoadDepartment.png",
                             ":/icon/resources/icon/app_icon.svg",
                             ":/icon/resources/icon/warning_icon.svg",
                             ":/icon/resources/icon/refresh.ico",
                             ":/icon/resources/icon/vorn.png",
                             ":/icon/resources/icon/student.svg",
                             ":/icon/resources/icon/exam.svg"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void TestStationLook::artworkLoads()
{
    QFETCH(QString, path);
    const QPixmap pixmap(path);
    QVERIFY(!pixmap.isNull());
    QVERIFY(pixmap.width() >= 16 && pixmap.height() >= 16);
    const QIcon icon(path);
    QVERIFY(!icon.pixmap(32, 32).isNull());
}

void TestStationLook::formFontsShowVietnamese_data()
{
    QTest::addColumn<QString>("family");
    QTest::newRow("Tahoma") << QStringLiteral("Tahoma");
    QTest::newRow("Arial") << QStringLiteral("Arial");
}

void TestStationLook::formFontsShowVietnamese()
{
    QFETCH(QString, family);
    QVERIFY2(!StationLook::fallbackFamily().isEmpty(), "no installed font covers Vietnamese");
    const QFont font(family);
    if (!QFontDatabase().hasFamily(family))
        QCOMPARE(QFontInfo(font).family(), StationLook::fallbackFamily());

    const QString letters = QStringLiteral(
        "aăâbcdđeêghiklmnoôơpqrstuưvxy"
        "àảãáạằẳẵắặầẩẫấậèẻẽéẹềểễếệìỉĩíịòỏõóọồổỗốộờởỡớợùủũúụừửữứựỳỷỹýỵ");
    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.isValid());
    for (const QChar c : letters + letters.toUpper())
        QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
}

QTEST_MAIN(TestStationLook)
#include "tst_stationlook.moc"
