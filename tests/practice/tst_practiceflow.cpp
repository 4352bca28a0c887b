#include "PracticeFlow.h"

#include <QSignalSpy>
#include <QtTest>

class TstPracticeFlow : public QObject
{
    Q_OBJECT

private slots:
    void playbackControlsOnlyInReplay()
    {
        const PracticeFlow::Controls playback =
            PracticeFlow::Controls(PracticeFlow::PauseButton) | PracticeFlow::SeekSlider | PracticeFlow::HalfSpeedButton;
        for (PracticeFlow::Stage stage : {PracticeFlow::Choose, PracticeFlow::Counting, PracticeFlow::Attempt,
                                          PracticeFlow::Scored, PracticeFlow::MockResult})
            QVERIFY2(!(PracticeFlow::controlsFor(stage) & playback), qPrintable(QString::number(stage)));
        QCOMPARE(PracticeFlow::controlsFor(PracticeFlow::Replay) & playback, playback);
        // Zones would give the answer away while the attempt is scored.
        QVERIFY(!(PracticeFlow::controlsFor(PracticeFlow::Attempt) & PracticeFlow::DangerZones));
        QVERIFY(!(PracticeFlow::controlsFor(PracticeFlow::Counting) & PracticeFlow::DangerZones));
        QVERIFY(PracticeFlow::controlsFor(PracticeFlow::Scored) & PracticeFlow::DangerZones);
    }

    void oneAttemptThroughToReplay()
    {
        PracticeFlow flow;
        QSignalSpy stages(&flow, &PracticeFlow::stageChanged);
        QCOMPARE(flow.actionForKey(Qt::Key_Space), PracticeFlow::NoAction);
        QVERIFY(flow.startSituation());
        QCOMPARE(flow.actionForKey(Qt::Key_Space), PracticeFlow::NoAction);
        QVERIFY(!flow.placeFlag());
        QVERIFY(flow.countDownEnded());
        QCOMPARE(flow.actionForKey(Qt::Key_Space), PracticeFlow::PlaceFlag);
        QCOMPARE(flow.actionForKey(Qt::Key_R), PracticeFlow::NoAction);
        QCOMPARE(flow.actionForKey(Qt::Key_Return), PracticeFlow::NoAction);
        QVERIFY(!flow.mayControlPlayback());
        QVERIFY(flow.placeFlag());
        QVERIFY(!flow.placeFlag());
        QCOMPARE(flow.actionForKey(Qt::Key_Space), PracticeFlow::NoAction);
        QVERIFY(flow.situationEnded());
        QCOMPARE(flow.actionForKey(Qt::Key_R), PracticeFlow::StartReplay);
        QCOMPARE(flow.actionForKey(Qt::Key_Enter), PracticeFlow::GoOn);
        QVERIFY(flow.startReplay());
        QVERIFY(flow.mayControlPlayback());
        QCOMPARE(flow.actionForKey(Qt::Key_Space), PracticeFlow::NoAction);
        QVERIFY(flow.replayEnded());
        QVERIFY(flow.startSituation());
        QVERIFY(!flow.flagPlaced());
        QCOMPARE(stages.size(), 6);
        QCOMPARE(stages.last().at(0).value<PracticeFlow::Stage>(), PracticeFlow::Counting);
    }

    void refusedMovesChangeNothing()
    {
        PracticeFlow flow;
        QSignalSpy stages(&flow, &PracticeFlow::stageChanged);
        QVERIFY(!flow.countDownEnded());
        QVERIFY(!flow.situationEnded());
        QVERIFY(!flow.startReplay());
        QVERIFY(!flow.showMockResult());
        QCOMPARE(flow.actionForKey(Qt::Key_Escape), PracticeFlow::NoAction);
        flow.backToChoice();
        QCOMPARE(stages.size(), 0);
        QVERIFY(flow.startSituation());
        QVERIFY(!flow.startSituation());
        QVERIFY(!flow.startReplay());
        QCOMPARE(flow.stage(), PracticeFlow::Counting);
    }

    void escapeAbandonsTheAttempt()
    {
        PracticeFlow flow;
        flow.startSituation();
        flow.countDownEnded();
        flow.placeFlag();
        QCOMPARE(flow.actionForKey(Qt::Key_Escape), PracticeFlow::GoBack);
        flow.backToChoice();
        QCOMPARE(flow.stage(), PracticeFlow::Choose);
        QVERIFY(!flow.flagPlaced());
        QCOMPARE(flow.controls(), PracticeFlow::Controls(PracticeFlow::SituationList));
    }

    void mockResultAfterTheLastSituation()
    {
        PracticeFlow flow;
        flow.startSituation();
        QVERIFY(flow.situationEnded());
        QVERIFY(flow.showMockResult());
        QVERIFY(flow.controls() & PracticeFlow::ResultTable);
        QCOMPARE(flow.actionForKey(Qt::Key_Return), PracticeFlow::NoAction);
        QVERIFY(!flow.startSituation());
    }
};

QTEST_GUILESS_MAIN(TstPracticeFlow)
#include "tst_practiceflow.moc"
