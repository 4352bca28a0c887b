#pragma once

#include <QObject>

// Where the learner is in a practice run and what the window may offer
// there. It has no widgets: the window asks controls() which controls to
// show and actionForKey() what a key means, and reports what happened
// (clip started, situation ended, ...). Pause, seek and half speed exist
// only in Replay, so a scored attempt is always watched as in the
// examination.
class PracticeFlow : public QObject
{
    Q_OBJECT
public:
    enum Stage {
        Choose,      // the lists: situations, chapters, mock, the ones I miss
        Counting,    // the count-down clip before a situation
        Attempt,     // the situation plays; one flag may be placed
        Scored,      // score, zones and flag shown; replay or go on
        Replay,      // the situation again, zones shown, free to pause and seek
        MockResult,  // the mock examination's result table
    };
    Q_ENUM(Stage)

    enum Control {
        NoControl = 0,
        SituationList = 1 << 0,
        VideoSurface = 1 << 1,
        Timeline = 1 << 2,
        DangerZones = 1 << 3,
        ScorePanel = 1 << 4,
        NextButton = 1 << 5,
        ReplayButton = 1 << 6,
        BackButton = 1 << 7,
        PauseButton = 1 << 8,
        SeekSlider = 1 << 9,
        HalfSpeedButton = 1 << 10,
        ResultTable = 1 << 11,
    };
    Q_DECLARE_FLAGS(Controls, Control)
    Q_FLAG(Controls)

    enum Action {
        NoAction,
        PlaceFlag,
        GoOn,
        StartReplay,
        GoBack,
    };
    Q_ENUM(Action)

    explicit PracticeFlow(QObject *parent = nullptr);

    Stage stage() const { return m_stage; }
    Controls controls() const { return controlsFor(m_stage); }
    static Controls controlsFor(Stage stage);
    // What a key press means in the current stage; NoAction where the key
    // has no meaning there (Space outside the attempt, R before a score).
    Action actionForKey(int key) const;
    bool flagPlaced() const { return m_flagPlaced; }
    // Pause, seek and rate changes: only while replaying.
    bool mayControlPlayback() const { return m_stage == Replay; }

    // Each answers whether the move is allowed from the current stage; a
    // refused move changes nothing.
    bool startSituation();
    bool countDownEnded();
    // The one flag of the attempt; a second press is refused.
    bool placeFlag();
    bool situationEnded();
    bool startReplay();
    bool replayEnded();
    bool showMockResult();
    // Esc: from anywhere back to the lists, the attempt abandoned unscored.
    void backToChoice();

signals:
    void stageChanged(PracticeFlow::Stage stage);

private:
    bool moveTo(Stage from, Stage to);
    bool moveTo(std::initializer_list<Stage> from, Stage to);

    Stage m_stage = Choose;
    bool m_flagPlaced = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(PracticeFlow::Controls)
