#include "CandidateFlow.h"

#include "Constants.h"
#include "DangerItem.h"
#include "EnterResponseMessage.h"
#include "Exercise.h"
#include "ResultDetail.h"

#include <QStringList>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// The replay's buttons follow the player: what cannot happen now is greyed.
void setPlaybackButtons(CandidateFlow::Controls *c, CandidateFlow::Playback playback)
{
    c->playShown = c->pauseShown = c->exitShown = true;
    c->playEnabled = playback != CandidateFlow::Playback::Playing;
    c->pauseEnabled = playback == CandidateFlow::Playback::Playing;
    c->exitEnabled = playback != CandidateFlow::Playback::Stopped;
}

} // namespace

bool CandidateFlow::Controls::operator==(const Controls &o) const
{
    return startShown == o.startShown && startEnabled == o.startEnabled && playShown == o.playShown
           && playEnabled == o.playEnabled && pauseShown == o.pauseShown && pauseEnabled == o.pauseEnabled
           && exitShown == o.exitShown && exitEnabled == o.exitEnabled && loginEnabled == o.loginEnabled
           && speedEnabled == o.speedEnabled && seekEnabled == o.seekEnabled && guideShown == o.guideShown
           && dangerZonesShown == o.dangerZonesShown;
}

CandidateFlow::Controls CandidateFlow::controlsOf(Stage stage, Playback playback)
{
    Controls c;
    switch (stage) {
    case Stage::Entry:
    case Stage::Confirming:
        c.startShown = true;
        c.loginEnabled = true;
        c.guideShown = true;
        break;
    case Stage::Ready:
        c.startShown = c.startEnabled = true;
        c.loginEnabled = true;
        c.guideShown = true;
        break;
    case Stage::Preparing:
    case Stage::Examining:
        // Nothing lets the candidate pause, seek, speed up or leave.
        c.startShown = true;
        c.guideShown = true;
        break;
    case Stage::ReviewConfirming:
    case Stage::ReviewAwaiting:
        c.playShown = c.pauseShown = c.exitShown = true;
        c.loginEnabled = true;
        break;
    case Stage::ReviewReady:
        setPlaybackButtons(&c, playback);
        c.loginEnabled = true;
        break;
    case Stage::Reviewing:
        setPlaybackButtons(&c, playback);
        c.speedEnabled = c.seekEnabled = true;
        c.dangerZonesShown = true;
        break;
    case Stage::Result:
        c.startShown = true;
        c.guideShown = true;
        c.dangerZonesShown = true;
        break;
    }
    return c;
}

int CandidateFlow::passMark(int licenceClass)
{
    const QList<int> marks = Constants::passScores();
    return marks.value(licenceClass, marks.value(0));
}

QList<int> CandidateFlow::situationsOfEntries(const QList<int> &entries)
{
    QList<int> situations;
    for (const int entry : entries) {
        if (entry % 2 == 1)
            situations.append(entry / 2);
    }
    return situations;
}

QList<int> CandidateFlow::situationIds(const QList<Exercise *> &contest)
{
    QList<int> ids;
    for (const Exercise *exercise : contest) {
        if (exercise->id() > 0)
            ids.append(exercise->id());
    }
    return ids;
}

QString CandidateFlow::verdict(int total, int passMark)
{
    return text(total >= passMark ? Constants::textPassed : Constants::textFailed);
}

QString CandidateFlow::answer(qint32 code)
{
    // The number dialog stays open under the identity until it is
    // confirmed: a new answer may come while one is shown.
    if (m_stage != Stage::Entry && m_stage != Stage::Confirming && m_stage != Stage::ReviewConfirming)
        return QString();
    switch (code) {
    case EnterResponseMessage::Admitted:
    case EnterResponseMessage::ReviewAvailable:
        m_review = code == EnterResponseMessage::ReviewAvailable;
        m_stage = m_review ? Stage::ReviewConfirming : Stage::Confirming;
        return QString();
    case EnterResponseMessage::UnknownCandidate:
        return text(Constants::textWrongCandidateNumber);
    case EnterResponseMessage::Error:
        return text(Constants::textErrorTryAgain);
    case EnterResponseMessage::AlreadyExamining:
        return text(Constants::textCandidateInExam);
    case EnterResponseMessage::TheoryNotPassed:
        return text(Constants::textTheoryNotPassed);
    case EnterResponseMessage::NotRequired:
        return text(Constants::textNotRequired);
    default:
        // Anything else: the server has nothing to say to the operator.
        return QString();
    }
}

bool CandidateFlow::cancel()
{
    if (m_stage != Stage::Confirming && m_stage != Stage::ReviewConfirming)
        return false;
    m_stage = Stage::Entry;
    return true;
}

bool CandidateFlow::confirm()
{
    if (m_stage == Stage::Confirming)
        m_stage = Stage::Ready;
    else if (m_stage == Stage::ReviewConfirming)
        m_stage = Stage::ReviewAwaiting;
    else
        return false;
    return true;
}

bool CandidateFlow::start()
{
    if (m_stage != Stage::Ready)
        return false;
    m_stage = Stage::Preparing;
    return true;
}

bool CandidateFlow::contestLoaded()
{
    if (m_stage != Stage::Preparing)
        return false;
    m_stage = Stage::Examining;
    return true;
}

bool CandidateFlow::acceptReview(const ResultDetail &stored, int licenceClass)
{
    // A second text while the first is shown replaces it.
    if (m_stage != Stage::ReviewAwaiting && m_stage != Stage::ReviewReady)
        return false;
    // The codec has read the numbers; whether they are scores an
    // examination can give is the flow's to say.
    bool ok = !stored.scores().isEmpty();
    for (int i = 0; ok && i < stored.scores().size(); ++i)
        ok = stored.scores().at(i) <= ResultDetail::maxScore;
    if (!ok) {
        reset();
        return false;
    }
    m_reviewScores = stored.scores();
    m_reviewTotal = stored.total();
    m_reviewVerdict = verdict(m_reviewTotal, passMark(licenceClass));
    m_replayLoaded = false;
    m_stage = Stage::ReviewReady;
    return true;
}

bool CandidateFlow::play()
{
    if (m_stage == Stage::ReviewReady)
        m_stage = Stage::Reviewing;
    if (m_stage != Stage::Reviewing || m_replayLoaded)
        return false;
    m_replayLoaded = true;
    return true;
}

CandidateFlow::Outcome CandidateFlow::finishExamination(const QList<DangerItem> &items, const QList<int> &situationIds,
                                                        int licenceClass, const QList<int> &unplayed)
{
    QList<int> scores;
    QList<qint64> flags;
    for (const DangerItem &item : items) {
        scores.append(item.score);
        flags.append(item.flagTime);
    }
    const ResultDetail detail(scores, flags, situationIds);

    Outcome outcome;
    outcome.passMark = passMark(licenceClass);
    outcome.record.total = detail.total();
    outcome.record.detail = detail.text();
    outcome.passed = outcome.record.total >= outcome.passMark;
    outcome.record.verdict = verdict(outcome.record.total, outcome.passMark);
    outcome.upload = unplayed.isEmpty();
    if (!unplayed.isEmpty()) {
        QStringList numbers, named;
        for (const int k : unplayed) {
            numbers << QString::number(k + 1);
            named << QStringLiteral("%1 (mã %2)").arg(k + 1).arg(situationIds.value(k));
        }
        outcome.record.verdict = text(Constants::textVideoFault).arg(numbers.join(QStringLiteral(", ")));
        outcome.record.unplayedSituations = unplayed;
        outcome.unplayedNamed = named.join(QStringLiteral(", "));
        outcome.operatorMessage = text(Constants::textSituationNotPlayed).arg(outcome.unplayedNamed);
    }
    m_stage = Stage::Result;
    return outcome;
}

ContestResultRecord CandidateFlow::finishReview(const ContestResultRecord &replayed)
{
    ContestResultRecord record = replayed;
    record.verdict = m_reviewVerdict;
    m_stage = Stage::Result;
    return record;
}

void CandidateFlow::reset()
{
    m_stage = Stage::Entry;
    m_review = false;
    m_replayLoaded = false;
    m_reviewTotal = 0;
    m_reviewVerdict.clear();
    m_reviewScores.clear();
}
