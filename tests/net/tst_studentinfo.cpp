#include "StudentInfo.h"

#include <QtTest>

class TestStudentInfo : public QObject
{
    Q_OBJECT
private slots:
    void licenceClassText_data();
    void licenceClassText();
    void summaryHasFourLines();
    void summaryWithUnknownClassHasEmptyName();
    void fieldsAreOverwrittenNotCleared();
};

void TestStudentInfo::licenceClassText_data()
{
    QTest::addColumn<int>("cert");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "B11";
    QTest::newRow("2") << 2 << "B2";
    QTest::newRow("6") << 6 << "FB2";
    QTest::newRow("9") << 9 << "FE";
    QTest::newRow("10") << 10 << "";
    QTest::newRow("-1") << -1 << "";
}

void TestStudentInfo::licenceClassText()
{
    QFETCH(int, cert);
    QFETCH(QString, expected);
    StudentInfo info;
    info.setCert(cert);
    QCOMPARE(info.licenceClassText(), expected);
}

void TestStudentInfo::summaryHasFourLines()
{
    StudentInfo info;
    info.setFullName(QStringLiteral("Nguyễn Văn An"));
    info.setCert(2);
    QCOMPARE(info.summaryText(),
             QStringLiteral("Họ và tên: Nguyễn Văn An<br>Số CMT: <br>Loại GPLX: B2<br>Địa chỉ: "));
}

void TestStudentInfo::summaryWithUnknownClassHasEmptyName()
{
    StudentInfo info;
    info.setFullName(QStringLiteral("Trần Thị B"));
    info.setCert(12);
    QCOMPARE(info.summaryText(),
             QStringLiteral("Họ và tên: Trần Thị B<br>Số CMT: <br>Loại GPLX: <br>Địa chỉ: "));
}

void TestStudentInfo::fieldsAreOverwrittenNotCleared()
{
    StudentInfo info;
    info.setId(41);
    info.setFullName(QStringLiteral("Lê C"));
    info.setImage(QStringLiteral("aW1n"));
    info.setOrderNumber(QStringLiteral("0042"));
    info.setOrderNumber(QStringLiteral("0043"));
    QCOMPARE(info.orderNumber(), QStringLiteral("0043"));
    QCOMPARE(info.fullName(), QStringLiteral("Lê C"));
    QCOMPARE(info.image(), QStringLiteral("aW1n"));
    QCOMPARE(info.id(), 41);
}

QTEST_GUILESS_MAIN(TestStudentInfo)
#include "tst_studentinfo.moc"
