#include "StudentInfo.h"

#include <QtTest>

class TestStudentInfo : public QObject
{
    Q_OBJECT
private slots:
    void licenceClassAndSummary_data()
    {
        QTest::addColumn<int>("cert");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << 0 << "B11";
        QTest::newRow("6") << 6 << "FB2";
        QTest::newRow("9") << 9 << "FE";
        QTest::newRow("10") << 10 << "";
        QTest::newRow("-1") << -1 << "";
    }

    // The summary always has its four lines; an unknown class leaves its name empty.
    void licenceClassAndSummary()
    {
        QFETCH(int, cert);
        QFETCH(QString, expected);
        StudentInfo info;
        info.setFullName(QStringLiteral("Nguyễn Văn An"));
        info.setCert(cert);
        QCOMPARE(info.licenceClassText(), expected);
        QCOMPARE(info.summaryText(),
                 QStringLiteral("Họ và tên: Nguyễn Văn An<br>Số CMT: <br>Loại GPLX: %1<br>Địa chỉ: ").arg(expected));
    }
};

QTEST_GUILESS_MAIN(TestStudentInfo)
#include "tst_studentinfo.moc"
