#pragma once

#include "CandidateFlow.h"
#include "DangerItem.h"

#include <QStringList>

class QWidget;
class StudentInfo;

namespace Ui {
class MainWindow;
}

// What the main window's form shows, written once: the controls of a flow
// stage, the candidate card and the result panel. The window shows through
// it, and the demo walker lays out the same form with the same controls to
// find where the buttons are.
class MainForm
{
public:
    // The headline, the video in its frame, the buttons' icons; no button
    // takes the keyboard, as Space is the candidate's flag key.
    static void setUp(Ui::MainWindow &form, QWidget *video);
    static void applyControls(Ui::MainWindow &form, const CandidateFlow::Controls &controls);
    static void showCandidate(Ui::MainWindow &form, const StudentInfo &student);
    static void clearCandidate(Ui::MainWindow &form);
    // One row per situation, the total out of 50 and the verdict; a
    // situation that did not play shows the video-fault mark, not a score.
    static void showExaminationScores(Ui::MainWindow &form, const QList<DangerItem> &items,
                                      const QList<int> &unplayed, int total, const QString &verdict);
    static void showReviewScores(Ui::MainWindow &form, const QList<int> &scores, int total, const QString &verdict);
    static void clearResults(Ui::MainWindow &form);
    // The timeline's slider back at the start, drawn at once.
    static void rewindSlider(Ui::MainWindow &form);

private:
    static void showScores(Ui::MainWindow &form, const QStringList &scores, int total, const QString &verdict);
};
