#include "ResultDetail.h"

#include <QtTest>

class TestResultDetail : public QObject
{
    Q_OBJECT
private slots:
    void buildsWhatTheScoringAndTheUploadSend();
    void parse_data();
    void parse();
    void wholeExamination_data();
    void wholeExamination();
};

void TestResultDetail::buildsWhatTheScoringAndTheUploadSend()
{
    ResultDetail detail({5, 0, 3}, {10400, 0, 52000});
    QCOMPARE(detail.scoringText(), QStringLiteral("5;0;3|10400;0;52000"));
    detail.setIds({3, 17, 25});
    QCOMPARE(detail.text(), QStringLiteral("5;0;3|10400;0;52000|3;17;25"));
    QCOMPARE(detail.total(), 8);
    // No situations: empty lists, the separators stay.
    QCOMPARE(ResultDetail().scoringText(), QStringLiteral("|"));
    QCOMPARE(ResultDetail().text(), QStringLiteral("||"));
}

void TestResultDetail::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("three lists") << QStringLiteral("5;0;3|10400;0;52000|3;17;25") << true;
    QTest::newRow("empty lists") << QStringLiteral("||") << true;
    QTest::newRow("flag time past 32 bits") << QStringLiteral("1|4294967296|7") << true;
    QTest::newRow("two parts") << QStringLiteral("5;0|1;2") << false;
    QTest::newRow("empty text") << QString() << false;
    QTest::newRow("not a number") << QStringLiteral("5;x|1;2|3;4") << false;
    QTest::newRow("empty item") << QStringLiteral("5;;0|1;2;3|3;4;5") << false;
    QTest::newRow("sign") << QStringLiteral("5|-1|3") << false;
    QTest::newRow("blank") << QStringLiteral("5| 1|3") << false;
    QTest::newRow("leading zero") << QStringLiteral("5|01|3") << false;
    QTest::newRow("id past 32 bits") << QStringLiteral("5|1|4294967296") << false;
}

void TestResultDetail::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    ResultDetail detail({9}, {9}, {9});
    QString why;
    QCOMPARE(ResultDetail::parse(text, &detail, &why), ok);
    if (ok) {
        // What was read is built back to the same text.
        QCOMPARE(detail.scoreText() + '|' + detail.flagText() + '|' + detail.idText(), text);
    } else {
        QVERIFY(!why.isEmpty());
        QCOMPARE(detail.text(), QStringLiteral("9|9|9"));
    }
}

void TestResultDetail::wholeExamination_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("complete");
    const QString ids = QStringLiteral("|1;2;3;4;5;6;7;8;9;10");
    const QString ten = QStringLiteral("5;0;3;1;4;0;2;5;5;0|10400;3;5;7;9;0;13;15;17;19");
    QTest::newRow("ten of each") << ten + ids << true;
    QTest::newRow("nine of each") << QStringLiteral("5;0;3;1;4;0;2;5;5|10400;3;5;7;9;0;13;15;17|1;2;3;4;5;6;7;8;9") << false;
    QTest::newRow("nine ids") << ten + QStringLiteral("|1;2;3;4;5;6;7;8;9") << false;
    QTest::newRow("eleven of each") << QStringLiteral("5;0;3;1;4;0;2;5;5;0;0|10400;3;5;7;9;0;13;15;17;19;0") + ids + ";11" << false;
    QTest::newRow("nine flag times") << QStringLiteral("5;0;3;1;4;0;2;5;5;0|3;5;7;9;0;13;15;17;19") + ids << false;
    QTest::newRow("score 6") << QStringLiteral("6;0;3;1;4;0;2;5;5;0|10400;3;5;7;9;0;13;15;17;19") + ids << false;
    QTest::newRow("id 0") << ten + QStringLiteral("|0;2;3;4;5;6;7;8;9;10") << false;
}

void TestResultDetail::wholeExamination()
{
    QFETCH(QString, text);
    QFETCH(bool, complete);
    ResultDetail detail;
    QVERIFY(ResultDetail::parse(text, &detail));
    QString why;
    QCOMPARE(detail.isComplete(10, &why), complete);
    QCOMPARE(why.isEmpty(), complete);
}

QTEST_GUILESS_MAIN(TestResultDetail)
#include "tst_resultdetail.moc"
