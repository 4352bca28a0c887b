#include "MainWindow.h"
#include "ui_MainWindow.h"
#include "UiLogging.h"

#include "AboutDialog.h"
#include "BusinessController.h"
#include "Composer.h"
#include "Constants.h"
#include "ContestProcedure.h"
#include "ContestResultDialog.h"
#include "DangerItem.h"
#include "DialogWaiter.h"
#include "FileUtility.h"
#include "HzSliderProgressBar.h"
#include "InfoConfirmDialog.h"
#include "InitialInfoDialog.h"
#include "MainForm.h"
#include "PlayerManager.h"
#include "StationStartup.h"
#include "StudentInfo.h"
#include "TcpClient.h"
#include "TimeUtility.h"
#include "VideoWidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(BusinessController::instance(), parent)
{
}

MainWindow::MainWindow(BusinessController *controller, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    setWindowTitle(text(Constants::applicationTitle));

    const QString videos = QString::fromLatin1(Constants::videoFolder);
    if (!QDir(videos).exists())
        QDir().mkpath(videos);

    m_initialInfoDialog = new InitialInfoDialog(this);
    m_infoConfirmDialog = new InfoConfirmDialog(this);
    m_waitBox = new DialogWaiter(this);
    m_resultDialog = new ContestResultDialog(this);
    m_aboutDialog = new AboutDialog(this);

    setUpWidgets();
    takeController(controller);
    connectSignals();
    applyStage();
}

MainWindow::~MainWindow()
{
    // The link's receiving thread calls into the controller; it must have
    // stopped before the controller goes.
    TcpClient::instance().close();
    delete m_businessController;
}

void MainWindow::setUpWidgets()
{
    m_videoWidget = new VideoWidget(ui->playerWidget);
    MainForm::setUp(*ui, m_videoWidget);
    m_progressBar = ui->hzProgressBar;
    setFocusPolicy(Qt::NoFocus);
}

void MainWindow::takeController(BusinessController *controller)
{
    m_timeUtility = TimeUtility::instance();
    m_businessController = controller;
    m_playerManager = controller->playerManager();
    m_composer = controller->composer();
    m_contestProcedure = controller->contestProcedure();
    m_fileUtility = controller->fileUtility();

    m_initialInfoDialog->setStudentInfo(m_composer->studentInfo());
    m_progressBar->setContestProcedure(m_contestProcedure);
    m_progressBar->refreshItems();
    controller->setVideoOutput(m_videoWidget);
    controller->loadContent();
}

void MainWindow::connectSignals()
{
    BusinessController *controller = m_businessController;
    connect(m_playerManager, &PlayerManager::notifyPositionChanged, this, &MainWindow::on_positionChanged);
    connect(m_playerManager, &PlayerManager::notifyEndContest, this, &MainWindow::on_endContest);
    connect(m_playerManager, &PlayerManager::notifyEndContest, m_progressBar, qOverload<>(&QWidget::update));
    connect(m_contestProcedure, &ContestProcedure::notifyAddFlag, m_progressBar, qOverload<>(&QWidget::update));
    connect(m_playerManager->player(), &QMediaPlayer::stateChanged, this, &MainWindow::on_stateChanged);
    connect(controller, &BusinessController::notifyEnterResponse, this, &MainWindow::on_enterResponse);
    connect(m_infoConfirmDialog, &InfoConfirmDialog::notifyConfirmInfo, this, &MainWindow::onConfirmInfo);
    connect(m_infoConfirmDialog, &InfoConfirmDialog::notifyCancelInfo, this, &MainWindow::onCancelInfo);
    connect(ui->hzVideoTimeSlider, &QSlider::sliderMoved, m_composer, &Composer::getExerciseIndexByPosition);
    connect(m_resultDialog, &ContestResultDialog::notifySignout, this, &MainWindow::onResetForNewContestant);
    connect(controller, &BusinessController::doneResetContest, this, &MainWindow::onDoneResetContest);
    connect(controller, &BusinessController::receivedContestName, m_initialInfoDialog,
            &InitialInfoDialog::setContestNames);
    connect(m_composer, &Composer::sendSeekInfo, m_playerManager, &PlayerManager::seekTo);
    connect(controller, &BusinessController::notifyPrepareReview, this, &MainWindow::prepareReviewContest);
    connect(controller, &BusinessController::notifyNotSupportReview, this, &MainWindow::onNotSupportReview);
    connect(ui->actionx2, &QAction::triggered, this, [this] { m_playerManager->setPlaybackRate(2.0); });
    connect(ui->actionx4, &QAction::triggered, this, [this] { m_playerManager->setPlaybackRate(4.0); });
}

bool MainWindow::runStartupChecks()
{
    if (!StationStartup::check(this, *m_fileUtility, *m_businessController))
        return false;
    showMaximized();
    openEntry();
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // Every key ends here; only Space means something, and only while an
    // examination plays.
    event->accept();
    if (event->key() == Qt::Key_Space && m_flow.takesFlags() && m_playerManager->isPlaying())
        m_contestProcedure->addFlag(ui->hzVideoTimeSlider->value());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

// Display -----------------------------------------------------------------

CandidateFlow::Playback MainWindow::playback() const
{
    switch (m_playerManager->state()) {
    case QMediaPlayer::PlayingState:
        return CandidateFlow::Playback::Playing;
    case QMediaPlayer::PausedState:
        return CandidateFlow::Playback::Paused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return CandidateFlow::Playback::Stopped;
}

void MainWindow::applyStage()
{
    MainForm::applyControls(*ui, m_flow.controls(playback()));
}

void MainWindow::on_positionChanged(qint64 progress)
{
    if (!ui->hzVideoTimeSlider->isSliderDown())
        ui->hzVideoTimeSlider->setValue(int(progress));
    ui->labelDuration->setText(m_timeUtility->progressText(progress, contestDuration));
}

void MainWindow::on_stateChanged(QMediaPlayer::State)
{
    applyStage();
}

void MainWindow::on_actionCopyright_triggered()
{
    m_aboutDialog->setTitle(text(Constants::applicationTitle));
    m_aboutDialog->setModal(true);
    m_aboutDialog->show();
}

void MainWindow::on_actionStudent_triggered()
{
    QMessageBox box;
    box.setText(m_composer->studentInfo()->summaryText());
    box.exec();
}

void MainWindow::onDoneResetContest()
{
    m_flow.contestLoaded();
    contestDuration = m_composer->totalDuration();
    m_progressBar->setMaximum(contestDuration);
    ui->hzVideoTimeSlider->setRange(0, int(contestDuration));
    ui->labelDuration->setText(m_timeUtility->progressText(0, contestDuration));
    MainForm::rewindSlider(*ui);
    applyStage();
    m_progressBar->update();

    m_waitBox->hide();
    m_playerManager->requestPlay();
    setFocusPolicy(Qt::StrongFocus);
    // The flags are key presses: the keyboard must come back here from the
    // dialogs now closed, whether or not the window system hands it back.
    activateWindow();
    setFocus(Qt::OtherFocusReason);
}

void MainWindow::on_pauseBtn_clicked()
{
    m_playerManager->requestPause();
}

void MainWindow::on_playBtn_clicked()
{
    setFocusPolicy(Qt::StrongFocus);
    const bool load = m_flow.play();
    applyStage();
    if (!load) {
        m_playerManager->requestPause();
        m_playerManager->requestPlay();
        return;
    }
    m_businessController->resetContestState();
    m_waitBox->showWaiting(text(Constants::textLoadingContest));
    m_businessController->startReview();
}

// Candidate flow ----------------------------------------------------------

void MainWindow::openEntry()
{
    m_flow.reset();
    applyStage();
    m_initialInfoDialog->setModal(true);
    m_initialInfoDialog->beginEntry();
}

void MainWindow::showServerMessage(const QString &text)
{
    m_messageBox.setModal(true);
    m_messageBox.setContent(text);
    m_messageBox.show();
}

void MainWindow::on_enterResponse(int returnCode, int cert, int id, const QString &pid,
                                  const QString &fullName, const QString &image)
{
    const QString message = m_flow.answer(returnCode);
    if (!message.isEmpty())
        showServerMessage(message);
    if (m_flow.stage() != CandidateFlow::Stage::Confirming && m_flow.stage() != CandidateFlow::Stage::ReviewConfirming)
        return;

    StudentInfo *student = m_composer->studentInfo();
    student->setCert(cert);
    student->setId(id);
    student->setFullName(fullName);
    student->setPid(pid);
    student->setImage(image);
    m_infoConfirmDialog->setModal(true);
    m_infoConfirmDialog->setInfo(student->licenceClassText(), student->fullName(), student->pid(),
                                 student->orderNumber(), m_flow.isReview());
    m_infoConfirmDialog->setImage(student->image());
    m_infoConfirmDialog->show();
    applyStage();
}

void MainWindow::onCancelInfo()
{
    m_flow.cancel();
    applyStage();
    m_infoConfirmDialog->hide();
}

void MainWindow::onConfirmInfo()
{
    if (!m_flow.confirm())
        return;
    const StudentInfo *student = m_composer->studentInfo();
    if (m_flow.isReview())
        m_businessController->sendInfoConfirm(student->id(), 1, 1);
    m_infoConfirmDialog->hide();
    m_initialInfoDialog->hide();
    applyStage();

    MainForm::showCandidate(*ui, *student);
}

void MainWindow::on_startBtn_clicked()
{
    if (!m_flow.start())
        return;
    m_businessController->sendInfoConfirm(m_composer->studentInfo()->id(), 1, 0);
    applyStage();
    ui->startBtn->clearFocus();
    setFocusPolicy(Qt::StrongFocus);
    m_businessController->resetContestState();
    m_waitBox->showWaiting(text(Constants::textLoadingContest));
    m_businessController->resetContest(Examination, 0, 0);
}

void MainWindow::on_endContest()
{
    MainForm::rewindSlider(*ui);
    m_progressBar->update();

    if (m_flow.endsExamination()) {
        finishExamination();
        m_resultDialog->showResult();
        if (!m_unplayedMessage.isEmpty())
            showServerMessage(m_unplayedMessage);
        return;
    }
    if (!m_flow.endsReview())
        return;
    const ContestResultRecord record = m_flow.finishReview(m_contestProcedure->collectResult());
    applyStage();
    m_resultDialog->setResult(record, m_composer->studentInfo());
    m_resultDialog->showResult();
}

void MainWindow::finishExamination()
{
    const QList<int> unplayed = CandidateFlow::situationsOfEntries(m_playerManager->unplayedEntries());
    const QList<int> ids = CandidateFlow::situationIds(m_composer->exercises());
    const QList<DangerItem> items = m_contestProcedure->dangerItemsSnapshot();
    const StudentInfo *student = m_composer->studentInfo();
    const CandidateFlow::Outcome outcome = m_flow.finishExamination(items, ids, student->cert(), unplayed);
    applyStage();

    MainForm::showExaminationScores(*ui, items, unplayed, outcome.record.total, outcome.record.verdict);

    // A situation the candidate could not see has no earned score: the
    // examination is not uploaded, so the server keeps the candidate
    // admissible for a new one, and the operator is told which situation.
    m_unplayedMessage = outcome.operatorMessage;
    if (outcome.upload) {
        m_businessController->sendContestResult(outcome.record.total, outcome.passMark, outcome.passed ? 1 : 0,
                                                student->id(), outcome.record.detail,
                                                m_initialInfoDialog->contestCode());
    } else {
        qCInfo(lcUi).noquote() << QStringLiteral("Examination not uploaded, situation(s) not played: ")
                                      + outcome.unplayedNamed;
    }
    m_resultDialog->setResult(outcome.record, student);
}

void MainWindow::prepareReviewContest(const ResultDetail &detail)
{
    if (!m_flow.acceptReview(detail, m_composer->studentInfo()->cert())) {
        qCInfo(lcUi).noquote() << "Review scores refused: " + detail.scoreText().left(200);
        onNotSupportReview();
        return;
    }
    MainForm::showReviewScores(*ui, m_flow.reviewScores(), m_flow.reviewTotal(), m_flow.reviewVerdict());
    applyStage();
}

void MainWindow::onNotSupportReview()
{
    openEntry();
    showServerMessage(text(Constants::textNoReview));
    MainForm::clearCandidate(*ui);
}

void MainWindow::on_exitBtn_clicked()
{
    m_playerManager->requestStop();
    onResetForNewContestant();
}

void MainWindow::onResetForNewContestant()
{
    openEntry();
    MainForm::clearResults(*ui);
    m_playerManager->rewind();
    m_contestProcedure->clearDangerItems();
    m_progressBar->repaint();
    MainForm::rewindSlider(*ui);
    MainForm::clearCandidate(*ui);
}

void MainWindow::on_actionLogin_triggered()
{
    openEntry();
}

void MainWindow::on_actionExit_triggered()
{
    QApplication::closeAllWindows();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}
