#include "RecordChecks.h"

#include <QtTest>

namespace {

const QString goodDetail = QStringLiteral("5;0;3;1;4;0;2;5;5;0|10400;3;5;7;9;0;13;15;17;19|3;17;25;41;44;58;63;71;80;92");
const QString zeros = QStringLiteral("0;0;0;0;0;0;0;0;0;0");
const QString ids = QStringLiteral("1;2;3;4;5;6;7;8;9;10");

CandidateRecord candidate()
{
    CandidateRecord c;
    c.id = 7;
    c.number = QStringLiteral("77");
    c.courseCode = QStringLiteral("K1");
    c.licenceClass = 2; // B2, pass mark 35
    c.pid = QStringLiteral("0790");
    c.fullName = QStringLiteral("Đỗ Thị E");
    return c;
}

ResultRecord result()
{
    ResultRecord r;
    r.candidateId = 7;
    r.courseCode = QStringLiteral("K1");
    r.total = 25;
    r.passScore = 35;
    r.passed = false;
    r.detail = goodDetail;
    return r;
}

} // namespace

// The rules records meet before the store takes them; the store's own tests
// show that it applies them, on both databases.
class TestRecordChecks : public QObject
{
    Q_OBJECT
private slots:
    void course_data();
    void course();
    void candidateFields_data();
    void candidateFields();
    void resultFields_data();
    void resultFields();
    void upload_data();
    void upload();
};

void TestRecordChecks::course_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("plain") << "K2" << "Khóa 2" << "";
    QTest::newRow("empty code") << "" << "x" << "course code is empty";
    QTest::newRow("blank code") << "  " << "x" << "course code is empty";
    QTest::newRow("blank name") << "K3" << " " << "course name is empty";
    QTest::newRow("separator in code") << "K;3" << "x" << "';'";
    QTest::newRow("separator in name") << "K3" << "a;b" << "';'";
    QTest::newRow("line break") << "K3" << "a\nb" << "control characters";
    QTest::newRow("tab in code") << "K\t3" << "x" << "control characters";
}

void TestRecordChecks::course()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QString why;
    QCOMPARE(RecordChecks::checkCourse({code, name}, &why), reason.isEmpty());
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestRecordChecks::candidateFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("as is") << "" << "" << "";
    QTest::newRow("class 0") << "class" << "0" << "";
    QTest::newRow("class 9") << "class" << "9" << "";
    QTest::newRow("class 10") << "class" << "10" << "licence class must be 0..9";
    QTest::newRow("class -1") << "class" << "-1" << "licence class must be 0..9";
    QTest::newRow("negative id") << "id" << "-1" << "positive number";
    QTest::newRow("empty number") << "number" << "" << "number is empty";
    QTest::newRow("blank before number") << "number" << " 7" << "surrounding blanks";
    QTest::newRow("control in number") << "number" << "7\x01" << "control characters";
    QTest::newRow("empty course") << "course" << " " << "course code is empty";
    QTest::newRow("empty name") << "name" << "" << "full name is empty";
    QTest::newRow("empty pid") << "pid" << " " << "identity number is empty";
    QTest::newRow("photo not base64") << "photo" << "not base64!" << "not Base64";
    QTest::newRow("photo not latin-1") << "photo" << "QUJD\u00e9" << "not Base64";
    // The fixture's identity number and name take 17 bytes; the photo may
    // have the rest of one answer.
    const int largest = (RecordChecks::maxIdentityBytes - 17) / 4 * 4;
    QTest::newRow("largest photo") << "photo" << QString(largest, QLatin1Char('A')) << "";
    QTest::newRow("photo too large by one block")
        << "photo" << QString(largest + 4, QLatin1Char('A')) << QStringLiteral("take %1 bytes").arg(largest + 4 + 17);
    QTest::newRow("long name, the same bound")
        << "name" << QString(RecordChecks::maxIdentityBytes - 3, QLatin1Char('n')) << "one answer carries at most";
}

void TestRecordChecks::candidateFields()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    CandidateRecord c = candidate();
    QCOMPARE(c.pid.toUtf8().size() + c.fullName.toUtf8().size(), 17);
    if (field == QLatin1String("class"))
        c.licenceClass = value.toInt();
    else if (field == QLatin1String("id"))
        c.id = value.toInt();
    else if (field == QLatin1String("number"))
        c.number = value;
    else if (field == QLatin1String("course"))
        c.courseCode = value;
    else if (field == QLatin1String("name"))
        c.fullName = value;
    else if (field == QLatin1String("pid"))
        c.pid = value;
    else if (field == QLatin1String("photo"))
        c.photoBase64 = value;
    QString why;
    QCOMPARE(RecordChecks::checkCandidate(c, &why), reason.isEmpty());
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestRecordChecks::resultFields_data()
{
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("passScore");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("sound") << goodDetail << 25 << 35 << false << "";
    QTest::newRow("all zero") << zeros + '|' + zeros + '|' + ids << 0 << 35 << false << "";
    QTest::newRow("passed at the mark")
        << QStringLiteral("5;5;5;5;5;5;5;0;0;0|1;2;3;4;5;6;7;0;0;0|") + ids << 35 << 35 << true << "";
    QTest::newRow("total disagrees") << goodDetail << 26 << 35 << false << "add up to 25, the total says 26";
    QTest::newRow("passed disagrees") << goodDetail << 25 << 35 << true << "contradicts";
    QTest::newRow("failed at the mark")
        << QStringLiteral("5;5;5;5;5;5;5;0;0;0|1;2;3;4;5;6;7;0;0;0|") + ids << 35 << 35 << false << "contradicts";
    // The detail's own checks are ResultDetail's; here that they are made,
    // with ten situations.
    QTest::newRow("nine situations")
        << QStringLiteral("0;0;0;0;0;0;0;0;0|0;0;0;0;0;0;0;0;0|1;2;3;4;5;6;7;8;9") << 0 << 35 << false << "situation";
    QTest::newRow("empty") << QString() << 0 << 35 << false << " ";
}

void TestRecordChecks::resultFields()
{
    QFETCH(QString, detail);
    QFETCH(int, total);
    QFETCH(int, passScore);
    QFETCH(bool, passed);
    QFETCH(QString, reason);
    ResultRecord r = result();
    r.detail = detail;
    r.total = total;
    r.passScore = passScore;
    r.passed = passed;
    QString why;
    QCOMPARE(RecordChecks::checkResult(r, &why), reason.isEmpty());
    QVERIFY2(why.contains(reason.trimmed()), qPrintable(why));
    QCOMPARE(why.isEmpty(), reason.isEmpty());
}

void TestRecordChecks::upload_data()
{
    QTest::addColumn<QString>("course");
    QTest::addColumn<int>("passScore");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("uploadReason");
    QTest::addColumn<QString>("newReason");
    QTest::newRow("ready, its course, its pass mark") << "K1" << 35 << int(CandidateState::Ready) << "" << "";
    QTest::newRow("another course") << "K2" << 35 << int(CandidateState::Ready) << "belongs to course K1, not K2" << "";
    // A station cannot pick its own pass mark.
    QTest::newRow("pass mark 0") << "K1" << 0 << int(CandidateState::Ready)
                                 << "pass mark 0 is not the pass mark 35 of licence class B2" << "";
    QTest::newRow("pass mark 20") << "K1" << 20 << int(CandidateState::Ready) << "pass mark 20" << "";
    // A repetition of a stored result is told apart before readiness counts.
    QTest::newRow("examined") << "K1" << 35 << int(CandidateState::Examined) << ""
                              << "candidate id 7 is examined, not ready";
    QTest::newRow("theory not passed") << "K1" << 35 << int(CandidateState::TheoryNotPassed) << ""
                                       << "not ready";
}

void TestRecordChecks::upload()
{
    QFETCH(QString, course);
    QFETCH(int, passScore);
    QFETCH(int, state);
    QFETCH(QString, uploadReason);
    QFETCH(QString, newReason);
    CandidateRecord c = candidate();
    c.state = CandidateState::Value(state);
    ResultRecord r = result();
    r.courseCode = course;
    r.passScore = passScore;
    QString why;
    QCOMPARE(RecordChecks::checkUpload(c, r, &why), uploadReason.isEmpty());
    QVERIFY2(why.contains(uploadReason), qPrintable(why));
    why.clear();
    QCOMPARE(RecordChecks::checkNewResult(c, r, &why), newReason.isEmpty());
    QVERIFY2(why.contains(newReason), qPrintable(why));
}

QTEST_GUILESS_MAIN(TestRecordChecks)
#include "tst_recordchecks.moc"
