#include "CandidateFlow.h"

#include "DangerItem.h"
#include "EnterResponseMessage.h"
#include "ResultDetail.h"

#include <QtTest>

using Stage = CandidateFlow::Stage;
using Playback = CandidateFlow::Playback;
Q_DECLARE_METATYPE(Stage)
Q_DECLARE_METATYPE(Playback)

namespace {

// Controls written as the letters of what is on: S/s start shown/enabled,
// P/p play, U/u pause, X/x exit, l login, v speed, k seek, g guide, z zones.
QString letters(const CandidateFlow::Controls &c)
{
    QString out;
    const QList<QPair<bool, char>> flags{{c.startShown, 'S'},   {c.startEnabled, 's'}, {c.playShown, 'P'},
                                         {c.playEnabled, 'p'},  {c.pauseShown, 'U'},   {c.pauseEnabled, 'u'},
                                         {c.exitShown, 'X'},    {c.exitEnabled, 'x'},  {c.loginEnabled, 'l'},
                                         {c.speedEnabled, 'v'}, {c.seekEnabled, 'k'},  {c.guideShown, 'g'},
                                         {c.dangerZonesShown, 'z'}};
    for (const auto &flag : flags) {
        if (flag.first)
            out += QLatin1Char(flag.second);
    }
    return out;
}

QList<DangerItem> items(const QList<int> &scores)
{
    QList<DangerItem> out;
    for (int i = 0; i < scores.size(); ++i) {
        DangerItem item;
        item.score = scores.at(i);
        item.flagTime = scores.at(i) ? 1000 * (i + 1) : 0;
        out.append(item);
    }
    return out;
}

CandidateFlow admitted(qint32 code)
{
    CandidateFlow flow;
    flow.answer(code);
    flow.confirm();
    return flow;
}

} // namespace

class TestCandidateFlow : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void controls_data();
    void controls();
    void examinationRoad();
    void outcome_data();
    void outcome();
    void review_data();
    void review();
    void lateEventsAreIgnored();
};

void TestCandidateFlow::answers_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<QString>("message");
    QTest::newRow("admitted") << int(EnterResponseMessage::Admitted) << Stage::Confirming << QString();
    QTest::newRow("review") << int(EnterResponseMessage::ReviewAvailable) << Stage::ReviewConfirming << QString();
    QTest::newRow("unknown") << int(EnterResponseMessage::UnknownCandidate) << Stage::Entry
                             << QStringLiteral("Số báo danh không đúng");
    QTest::newRow("error") << int(EnterResponseMessage::Error) << Stage::Entry
                           << QStringLiteral("Có lỗi xin vui lòng thử lại");
    QTest::newRow("examining") << int(EnterResponseMessage::AlreadyExamining) << Stage::Entry
                               << QStringLiteral("Thí sinh đang thi");
    QTest::newRow("theory") << int(EnterResponseMessage::TheoryNotPassed) << Stage::Entry
                            << QStringLiteral("Thí sinh chưa thi đỗ sát hạch lý thuyết");
    QTest::newRow("not required") << int(EnterResponseMessage::NotRequired) << Stage::Entry
                                  << QStringLiteral("Thí sinh không phải thi mô phỏng");
    QTest::newRow("4, nothing to say") << 4 << Stage::Entry << QString();
    QTest::newRow("unknown code") << 77 << Stage::Entry << QString();
}

void TestCandidateFlow::answers()
{
    QFETCH(int, code);
    QFETCH(Stage, stage);
    QFETCH(QString, message);
    CandidateFlow flow;
    QCOMPARE(flow.answer(code), message);
    QCOMPARE(flow.stage(), stage);
    QCOMPARE(flow.isReview(), stage == Stage::ReviewConfirming);
    QCOMPARE(flow.takesFlags(), false);
}

void TestCandidateFlow::controls_data()
{
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<Playback>("playback");
    QTest::addColumn<QString>("shown");
    QTest::newRow("entry") << Stage::Entry << Playback::Stopped << "Slg";
    QTest::newRow("confirming") << Stage::Confirming << Playback::Stopped << "Slg";
    QTest::newRow("ready") << Stage::Ready << Playback::Stopped << "Sslg";
    QTest::newRow("preparing") << Stage::Preparing << Playback::Stopped << "Sg";
    QTest::newRow("examining") << Stage::Examining << Playback::Playing << "Sg";
    QTest::newRow("review confirming") << Stage::ReviewConfirming << Playback::Stopped << "PUXl";
    QTest::newRow("review awaiting") << Stage::ReviewAwaiting << Playback::Stopped << "PUXl";
    QTest::newRow("review ready") << Stage::ReviewReady << Playback::Stopped << "PpUXl";
    QTest::newRow("reviewing, loading") << Stage::Reviewing << Playback::Stopped << "PpUXvkz";
    QTest::newRow("reviewing, playing") << Stage::Reviewing << Playback::Playing << "PUuXxvkz";
    QTest::newRow("reviewing, paused") << Stage::Reviewing << Playback::Paused << "PpUXxvkz";
    QTest::newRow("result") << Stage::Result << Playback::Stopped << "Sgz";
}

void TestCandidateFlow::controls()
{
    QFETCH(Stage, stage);
    QFETCH(Playback, playback);
    QFETCH(QString, shown);
    QCOMPARE(letters(CandidateFlow::controlsOf(stage, playback)), shown);
}

void TestCandidateFlow::examinationRoad()
{
    CandidateFlow flow;
    QVERIFY(!flow.start() && !flow.confirm());
    flow.answer(EnterResponseMessage::ReviewAvailable);
    // A refusal of another number typed meanwhile leaves the identity shown;
    // an admission replaces it.
    QVERIFY(!flow.answer(EnterResponseMessage::UnknownCandidate).isEmpty());
    QCOMPARE(flow.stage(), Stage::ReviewConfirming);
    flow.answer(EnterResponseMessage::Admitted);
    QVERIFY(flow.stage() == Stage::Confirming && !flow.isReview());
    QVERIFY(flow.cancel());
    QCOMPARE(flow.stage(), Stage::Entry);
    flow.answer(EnterResponseMessage::Admitted);
    QVERIFY(flow.confirm() && !flow.contestLoaded());
    QCOMPARE(flow.stage(), Stage::Ready);
    QVERIFY(flow.start() && !flow.start());
    QVERIFY(!flow.endsExamination());
    QVERIFY(flow.contestLoaded() && flow.takesFlags() && flow.endsExamination() && !flow.endsReview());
    // A candidate number typed again mid-examination changes nothing.
    QVERIFY(flow.answer(EnterResponseMessage::UnknownCandidate).isEmpty());
    QCOMPARE(flow.stage(), Stage::Examining);
    flow.finishExamination(items({5, 5, 5, 5, 5, 5, 5, 0, 0, 0}), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 3, {});
    QVERIFY(flow.stage() == Stage::Result && !flow.takesFlags() && !flow.endsExamination());
    flow.reset();
    QCOMPARE(flow.stage(), Stage::Entry);
}

void TestCandidateFlow::outcome_data()
{
    QTest::addColumn<QList<int>>("scores");
    QTest::addColumn<int>("licenceClass");
    QTest::addColumn<QList<int>>("unplayed");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<QString>("message");

    const QList<int> pass{5, 5, 5, 5, 5, 5, 5, 0, 0, 0};
    const QList<int> fail{5, 5, 5, 5, 5, 5, 4, 0, 0, 0};
    QTest::newRow("35 passes") << pass << 0 << QList<int>{} << "Đạt" << true << true << QString();
    QTest::newRow("34 fails") << fail << 0 << QList<int>{} << "Không đạt" << false << true << QString();
    // Every class has the same mark; the class, not the first row, is asked.
    QTest::newRow("35 passes in class 9") << pass << 9 << QList<int>{} << "Đạt" << true << true << QString();
    QTest::newRow("unknown class") << fail << 42 << QList<int>{} << "Không đạt" << false << true << QString();
    QTest::newRow("a situation not played")
        << pass << 0 << QList<int>{3} << "Lỗi video tình huống 4" << true << false
        << "Không phát được video tình huống 4 (mã 14). Bài thi không được chấm và không gửi về máy chủ, thí sinh "
           "được thi lại";
    QTest::newRow("two not played") << fail << 0 << QList<int>{0, 9} << "Lỗi video tình huống 1, 10" << false << false
                                    << "Không phát được video tình huống 1 (mã 11), 10 (mã 20). Bài thi không được "
                                       "chấm và không gửi về máy chủ, thí sinh được thi lại";
}

void TestCandidateFlow::outcome()
{
    QFETCH(QList<int>, scores);
    QFETCH(int, licenceClass);
    QFETCH(QList<int>, unplayed);
    QFETCH(QString, verdict);
    QFETCH(bool, passed);
    QFETCH(bool, upload);
    QFETCH(QString, message);

    const QList<int> ids{11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    const QList<DangerItem> contest = items(scores);
    CandidateFlow flow;
    const CandidateFlow::Outcome out = flow.finishExamination(contest, ids, licenceClass, unplayed);
    QCOMPARE(out.passMark, 35);
    QCOMPARE(out.passed, passed);
    QCOMPARE(out.upload, upload);
    QCOMPARE(out.record.verdict, verdict);
    QCOMPARE(out.record.unplayedSituations, unplayed);
    QCOMPARE(out.operatorMessage, message);

    // What is uploaded reads back as the examination it came from.
    ResultDetail detail;
    QString why;
    QVERIFY2(ResultDetail::parse(out.record.detail, &detail, &why), qPrintable(why));
    QVERIFY2(detail.isComplete(10, &why), qPrintable(why));
    QCOMPARE(detail.scores(), scores);
    QCOMPARE(detail.ids(), ids);
    QCOMPARE(detail.flags().at(0), qint64(1000));
    QCOMPARE(detail.flags().at(9), qint64(0));
    QCOMPARE(out.record.total, detail.total());
}

void TestCandidateFlow::review_data()
{
    QTest::addColumn<QString>("scores");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("passed") << "5;5;5;5;5;5;5;0;0;0" << true << 35 << "Đạt";
    QTest::newRow("failed") << "5;5;5;5;5;5;4;0;0;0" << true << 34 << "Không đạt";
    QTest::newRow("empty") << "" << false << 0 << "";
    QTest::newRow("above the maximum") << "5;6;5" << false << 0 << "";
}

void TestCandidateFlow::review()
{
    QFETCH(QString, scores);
    QFETCH(bool, accepted);
    QFETCH(int, total);
    QFETCH(QString, verdict);

    CandidateFlow flow = admitted(EnterResponseMessage::ReviewAvailable);
    QCOMPARE(flow.stage(), Stage::ReviewAwaiting);
    ResultDetail stored;
    QVERIFY(ResultDetail::parse(scores + QStringLiteral("||"), &stored));
    QCOMPARE(flow.acceptReview(stored, 2), accepted);
    if (!accepted) {
        QCOMPARE(flow.stage(), Stage::Entry);
        return;
    }
    QCOMPARE(flow.stage(), Stage::ReviewReady);
    QCOMPARE(flow.reviewTotal(), total);
    QCOMPARE(flow.reviewScores().size(), 10);
    QCOMPARE(flow.reviewVerdict(), verdict);
    // The first play loads the replay, the next ones resume it.
    QVERIFY(flow.play() && !flow.play());
    QVERIFY(flow.endsReview() && !flow.endsExamination() && !flow.takesFlags());
    ContestResultRecord replayed;
    replayed.total = total;
    QCOMPARE(flow.finishReview(replayed).verdict, verdict);
    QCOMPARE(flow.stage(), Stage::Result);
}

void TestCandidateFlow::lateEventsAreIgnored()
{
    // A review text for a candidate who came to be examined, or after the
    // candidate has left, shows nothing.
    CandidateFlow exam = admitted(EnterResponseMessage::Admitted);
    QVERIFY(!exam.acceptReview(ResultDetail({5, 5}, {}), 0) && exam.stage() == Stage::Ready);
    CandidateFlow left;
    QVERIFY(!left.acceptReview(ResultDetail({5, 5}, {}), 0) && !left.play() && left.stage() == Stage::Entry);
    QVERIFY(!left.endsReview() && !left.endsExamination() && !left.cancel());
}

QTEST_GUILESS_MAIN(TestCandidateFlow)
#include "tst_candidateflow.moc"
