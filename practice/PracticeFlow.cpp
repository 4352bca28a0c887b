#include "PracticeFlow.h"

PracticeFlow::PracticeFlow(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<PracticeFlow::Stage>("PracticeFlow::Stage");
}

PracticeFlow::Controls PracticeFlow::controlsFor(Stage stage)
{
    switch (stage) {
    case Choose:
        return SituationList;
    case Counting:
    case Attempt:
        // The timeline shows the flag but no zone: they would tell the
        // learner where to press.
        return Controls(VideoSurface) | Timeline | BackButton;
    case Scored:
        return Controls(VideoSurface) | Timeline | DangerZones | ScorePanel | NextButton | ReplayButton | BackButton;
    case Replay:
        return Controls(VideoSurface) | Timeline | DangerZones | ScorePanel | NextButton | BackButton | PauseButton
            | SeekSlider | HalfSpeedButton;
    case MockResult:
        return Controls(ResultTable) | BackButton;
    }
    return NoControl;
}

PracticeFlow::Action PracticeFlow::actionForKey(int key) const
{
    switch (key) {
    case Qt::Key_Space:
        return m_stage == Attempt && !m_flagPlaced ? PlaceFlag : NoAction;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return m_stage == Scored || m_stage == Replay ? GoOn : NoAction;
    case Qt::Key_R:
        return m_stage == Scored || m_stage == Replay ? StartReplay : NoAction;
    case Qt::Key_Escape:
        return m_stage == Choose ? NoAction : GoBack;
    default:
        return NoAction;
    }
}

bool PracticeFlow::moveTo(Stage from, Stage to)
{
    return moveTo({from}, to);
}

bool PracticeFlow::moveTo(std::initializer_list<Stage> from, Stage to)
{
    for (Stage allowed : from) {
        if (m_stage == allowed) {
            m_stage = to;
            emit stageChanged(to);
            return true;
        }
    }
    return false;
}

bool PracticeFlow::startSituation()
{
    if (!moveTo({Choose, Scored, Replay}, Counting))
        return false;
    m_flagPlaced = false;
    return true;
}

bool PracticeFlow::countDownEnded()
{
    return moveTo(Counting, Attempt);
}

bool PracticeFlow::placeFlag()
{
    if (m_stage != Attempt || m_flagPlaced)
        return false;
    m_flagPlaced = true;
    return true;
}

bool PracticeFlow::situationEnded()
{
    // A clip that ends during the count-down has still ended the attempt.
    return moveTo({Counting, Attempt}, Scored);
}

bool PracticeFlow::startReplay()
{
    return moveTo({Scored, Replay}, Replay);
}

bool PracticeFlow::replayEnded()
{
    return moveTo(Replay, Scored);
}

bool PracticeFlow::showMockResult()
{
    return moveTo({Scored, Replay}, MockResult);
}

void PracticeFlow::backToChoice()
{
    m_flagPlaced = false;
    if (m_stage != Choose) {
        m_stage = Choose;
        emit stageChanged(Choose);
    }
}
