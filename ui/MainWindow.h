#pragma once

#include "CandidateFlow.h"
#include "CustomerBox.h"

#include <QMainWindow>
#include <QMediaPlayer>
#include <QString>

#include <memory>

class AboutDialog;
class BusinessController;
class Composer;
class ContestProcedure;
class ContestResultDialog;
class DialogWaiter;
class FileUtility;
class HzSliderProgressBar;
class InfoConfirmDialog;
class InitialInfoDialog;
class PlayerManager;
class ResultDetail;
class QCloseEvent;
class QKeyEvent;
class TimeUtility;
class VideoWidget;

namespace Ui {
class MainWindow;
}

// The station's one window. It shows the candidate card, the situation video
// with its timeline and the result panel; it owns every dialog, joins the
// session controller's objects to each other and to itself, and turns the
// space bar into flags. Where a candidate stands, which controls that shows
// and what a result says is the candidate flow's (CandidateFlow): the window
// tells it what happened and shows what it answers.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // On the process-wide session controller; the window deletes it with
    // itself, as it does a given one.
    explicit MainWindow(QWidget *parent = nullptr);
    // On the given controller, which the window takes over.
    explicit MainWindow(BusinessController *controller, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Connects to the examination server and checks the content; on success
    // shows the window and opens the entry. False, once the operator has
    // closed the failure message, when the station cannot serve candidates:
    // the caller then ends the program.
    bool runStartupChecks();
    // Scores the finished examination, shows it and uploads it.
    void finishExamination();

    // Connected by pointer: their names would make the form's connection by
    // object name look for children called so.
    void on_positionChanged(qint64 progress);
    void on_endContest();
    void on_stateChanged(QMediaPlayer::State state);
    void on_enterResponse(int returnCode, int cert, int id, const QString &pid,
                          const QString &fullName, const QString &image);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Ignored: "Thoát" is the only way out.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_startBtn_clicked();
    void on_actionExit_triggered();
    void on_actionCopyright_triggered();
    void on_actionStudent_triggered();
    void onDoneResetContest();
    void onResetForNewContestant();
    void prepareReviewContest(const ResultDetail &detail);
    void onNotSupportReview();
    void onConfirmInfo();
    void onCancelInfo();
    void on_actionLogin_triggered();
    void on_playBtn_clicked();
    void on_pauseBtn_clicked();
    void on_exitBtn_clicked();

private:
    void setUpWidgets();
    void takeController(BusinessController *controller);
    void connectSignals();
    void openEntry();
    CandidateFlow::Playback playback() const;
    // Shows the flow's controls for its stage and the player's state.
    void applyStage();
    void showServerMessage(const QString &text);

    const std::unique_ptr<Ui::MainWindow> ui;
    PlayerManager *m_playerManager = nullptr;
    VideoWidget *m_videoWidget = nullptr;
    qint64 contestDuration = 0;
    InitialInfoDialog *m_initialInfoDialog = nullptr;
    DialogWaiter *m_waitBox = nullptr;
    FileUtility *m_fileUtility = nullptr;
    Composer *m_composer = nullptr;
    TimeUtility *m_timeUtility = nullptr;
    ContestProcedure *m_contestProcedure = nullptr;
    HzSliderProgressBar *m_progressBar = nullptr;
    BusinessController *m_businessController = nullptr;
    InfoConfirmDialog *m_infoConfirmDialog = nullptr;
    CustomerBox m_messageBox;
    ContestResultDialog *m_resultDialog = nullptr;
    AboutDialog *m_aboutDialog = nullptr;
    CandidateFlow m_flow;
    // The operator's message about situations that did not play, shown
    // once the result is.
    QString m_unplayedMessage;
};
