#pragma once

#include "ContestResultRecord.h"

#include <QList>
#include <QString>

struct DangerItem;
class ResultDetail;

class Exercise;

// One candidate's way through the station, from the entry of the candidate
// number through an examination or a review back to the entry, without any
// widget: the window feeds it what happened (the server's answer, a click, the
// end of the contest), asks which controls the stage shows, and shows what it
// builds. Anything else that walks the same way (the demo walker, a practice
// program) reads the same stages and the same controls.
//
// A plain value, used on the GUI thread only. Events that do not belong to the
// current stage are ignored and reported by a false result, so a late signal
// cannot move a candidate who has already left.
class CandidateFlow
{
public:
    enum class Stage {
        Entry,            // the candidate number dialog is open
        Confirming,       // an admitted candidate's identity waits for confirmation
        Ready,            // confirmed: the examination waits for its start
        Preparing,        // the contest is composed and decrypted
        Examining,        // the examination plays; Space sets flags
        ReviewConfirming, // a candidate with a stored result confirms the identity
        ReviewAwaiting,   // confirmed: the stored result is on its way
        ReviewReady,      // the stored scores are shown, the replay waits for play
        Reviewing,        // the stored examination is replayed (loaded, playing or paused)
        Result,           // the result dialog counts down to the next candidate
    };

    // The player's state as the controls depend on it.
    enum class Playback { Stopped, Playing, Paused };

    // What the main window shows and lets the operator use in a stage.
    struct Controls
    {
        bool startShown = false;
        bool startEnabled = false;
        bool playShown = false;
        bool playEnabled = false;
        bool pauseShown = false;
        bool pauseEnabled = false;
        bool exitShown = false;
        bool exitEnabled = false;
        bool loginEnabled = false; // "Đăng nhập" reopens the entry
        bool speedEnabled = false; // x2 and x4
        bool seekEnabled = false;  // the timeline slider
        bool guideShown = false;   // the line telling the candidate to press Space
        bool dangerZonesShown = false;

        bool operator==(const Controls &other) const;
        bool operator!=(const Controls &other) const { return !(*this == other); }
    };

    // A finished examination as it is shown and, unless a situation did not
    // play, uploaded.
    struct Outcome
    {
        // total, the detail "scores|flags|ids", the verdict text and the
        // situations that did not play.
        ContestResultRecord record;
        int passMark = 0;
        bool passed = false;
        // False when a situation did not play: the candidate has no earned
        // score, and the server must keep the candidate admissible.
        bool upload = false;
        // For the operator when not uploaded: which situations, with ids.
        QString operatorMessage;
        // The same for the log: situation numbers with their ids.
        QString unplayedNamed;
    };

    Stage stage() const { return m_stage; }
    // Whether the candidate now at the station came for a review.
    bool isReview() const { return m_review; }
    // Space sets a flag only here, and only while the player plays.
    bool takesFlags() const { return m_stage == Stage::Examining; }
    Controls controls(Playback playback) const { return controlsOf(m_stage, playback); }

    static Controls controlsOf(Stage stage, Playback playback = Playback::Stopped);
    // The mark a candidate of the licence class (its code) must reach; a code
    // outside the known classes gets the first class's.
    static int passMark(int licenceClass);
    // Situations (from 0) among playlist entries: the playlist alternates
    // count-down clip and situation.
    static QList<int> situationsOfEntries(const QList<int> &entries);
    // The ids of a composed contest's situations, in contest order, as they
    // are uploaded (the count-down clip has none).
    static QList<int> situationIds(const QList<Exercise *> &contest);
    // "Đạt" or "Không đạt".
    static QString verdict(int total, int passMark);

    // The server's answer to a candidate number (EnterResponseMessage::Code).
    // An admission moves on to confirming (this candidate's, replacing one
    // shown); a refusal leaves the stage as it is. The text for the
    // operator, empty when there is none.
    QString answer(qint32 code);
    // The operator closed the identity without confirming it.
    bool cancel();
    // The identity is confirmed: an examination waits for its start, a
    // review asks the server for the stored result.
    bool confirm();
    // "Bắt đầu thi": the examination's contest is being prepared.
    bool start();
    // The contest is loaded and about to play.
    bool contestLoaded();
    // The stored result of a review, as the server keeps it. False, and back
    // at the entry, when its scores are not those of an examination: there
    // is nothing the window could show.
    bool acceptReview(const ResultDetail &stored, int licenceClass);
    // The review's total, verdict and per-situation scores, once accepted.
    int reviewTotal() const { return m_reviewTotal; }
    QString reviewVerdict() const { return m_reviewVerdict; }
    QList<int> reviewScores() const { return m_reviewScores; }
    // "Phát" in a review: the first click loads the replay (true), later ones
    // resume it (false).
    bool play();
    // Whether the contest that just ended was an examination (the window then
    // builds its outcome) or a review; false for any other stage.
    bool endsExamination() const { return m_stage == Stage::Examining; }
    bool endsReview() const { return m_stage == Stage::Reviewing; }
    // The examination's outcome from its situations' scoring (contest order),
    // the ids of its situations and the situations (from 0) that did not
    // play. Moves on to the result.
    Outcome finishExamination(const QList<DangerItem> &items, const QList<int> &situationIds, int licenceClass,
                              const QList<int> &unplayed);
    // The replay's record (scores and flags as restored) with the stored
    // verdict. Moves on to the result.
    ContestResultRecord finishReview(const ContestResultRecord &replayed);
    // The review cannot be had, or the candidate left or was counted down:
    // back to the entry for the next candidate.
    void reset();

private:
    Stage m_stage = Stage::Entry;
    bool m_review = false;
    bool m_replayLoaded = false;
    int m_reviewTotal = 0;
    QString m_reviewVerdict;
    QList<int> m_reviewScores;
};
