#include "MainWindow.h"
#include "ui_MainWindow.h"
#include "UiLogging.h"

#include "AboutDialog.h"
#include "BusinessController.h"
#include "Composer.h"
#include "Constants.h"
#include "ContestProcedure.h"
#include "ContestResultDialog.h"
#include "ContestResultRecord.h"
#include "DangerItem.h"
#include "DialogWaiter.h"
#include "Exercise.h"
#include "FileUtility.h"
#include "HzSliderProgressBar.h"
#include "InfoConfirmDialog.h"
#include "InitialInfoDialog.h"
#include "PlayerManager.h"
#include "StudentInfo.h"
#include "TcpClient.h"
#include "TimeUtility.h"
#include "VideoWidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QPixmap>
#include <QStyle>
#include <QTimer>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QListWidgetItem *centredItem(const QString &text)
{
    auto *item = new QListWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
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
    ui->label->setText(QStringLiteral("<p style=\"margin:0\"><span style=\"color:#fff; font-size:21px;\">%1</span></p>"
                                      "<p style=\"margin:0\"><span style=\"color:#fff; font-size:24px; "
                                      "font-weight:bold;\">%2</span></p>")
                           .arg(text(Constants::authorityName).toHtmlEscaped(),
                                text(Constants::applicationTitle).toUpper().toHtmlEscaped()));

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
    ui->labelEstimate->hide();
    ui->resultEstimate->hide();

    m_videoWidget = new VideoWidget(ui->playerWidget);
    auto *playerLayout = new QHBoxLayout(ui->playerWidget);
    playerLayout->setContentsMargins(0, 0, 0, 0);
    playerLayout->setSpacing(0);
    playerLayout->addWidget(m_videoWidget);

    m_progressBar = ui->hzProgressBar;
    m_progressBar->showDangerZones = false;
    resetResultGui();
    setFocusPolicy(Qt::NoFocus);

    ui->startBtn->setEnabled(false);
    ui->playBtn->hide();
    ui->playBtn->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    ui->pauseBtn->setEnabled(false);
    ui->pauseBtn->hide();
    ui->pauseBtn->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    ui->exitBtn->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    ui->exitBtn->setEnabled(false);
    ui->exitBtn->hide();
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
    connect(m_composer, &Composer::loadCompletedContest, this, &MainWindow::on_loadCompletedContest);
    connect(m_playerManager->player(), &QMediaPlayer::stateChanged, this, &MainWindow::on_stateChanged);
    connect(controller, &BusinessController::notifyEnterResponse, this, &MainWindow::on_enterResponse);
    connect(m_infoConfirmDialog, &InfoConfirmDialog::notifyConfirmInfo, this, &MainWindow::onConfirmInfo);
    connect(m_infoConfirmDialog, &InfoConfirmDialog::notifyCancelInfo, this, &MainWindow::onCancelInfo);
    connect(ui->hzVideoTimeSlider, &QSlider::sliderMoved, m_composer, &Composer::getExerciseIndexByPosition);
    connect(m_resultDialog, &ContestResultDialog::notifySignout, this, &MainWindow::onResetForNewContestant);
    connect(controller, &BusinessController::doneResetContest, this, &MainWindow::onDoneResetContest);
    connect(controller, &BusinessController::receivedContestName, this, &MainWindow::updateContestName);
    connect(m_composer, &Composer::sendSeekInfo, m_playerManager, &PlayerManager::seekTo);
    connect(controller, &BusinessController::notifyPrepareReview, this, &MainWindow::prepareReviewContest);
    connect(controller, &BusinessController::notifyReviewContestContent, this, &MainWindow::onReviewContestContent);
    connect(controller, &BusinessController::notifyNotSupportReview, this, &MainWindow::onNotSupportReview);
}

bool MainWindow::runStartupChecks()
{
    const QPair<QString, QString> address = m_fileUtility->readServerAddress();
    qint32 error = -2;
    const int code = TcpClient::instance().connectToServer(address.first, address.second, &error);
    if (code != TcpClient::Connected) {
        QMessageBox::critical(this, tr("Cảnh báo"),
                              tr("Không kết nối được máy chủ quản lý mô phỏng (%1) - (%2)").arg(code).arg(error),
                              QMessageBox::Ok);
        return false;
    }
    if (m_businessController->isContentInvalid()) {
        QMessageBox::critical(this, tr("Cảnh báo"), tr("Không kết nối được cơ sở dữ liệu Sqlite mô phỏng hợp lệ"),
                              QMessageBox::Ok);
        return false;
    }
    showMaximized();
    openEntry();
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // Every key ends here; only Space means something, and only while an
    // examination plays.
    event->accept();
    if (event->key() == Qt::Key_Space && examMode && m_playerManager->isPlaying())
        m_contestProcedure->addFlag(ui->hzVideoTimeSlider->value());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

// Display -----------------------------------------------------------------

void MainWindow::on_positionChanged(qint64 progress)
{
    if (!ui->hzVideoTimeSlider->isSliderDown())
        ui->hzVideoTimeSlider->setValue(int(progress));
    ui->labelDuration->setText(m_timeUtility->progressText(progress, contestDuration));
}

void MainWindow::on_loadCompletedContest()
{
    if (!ui->startBtn->isEnabled())
        ui->startBtn->setEnabled(true);
}

void MainWindow::on_stateChanged(QMediaPlayer::State state)
{
    if (state == m_playerManager->state())
        return;
    switch (state) {
    case QMediaPlayer::StoppedState:
        ui->playBtn->setEnabled(true);
        ui->playBtn->setFocusPolicy(Qt::NoFocus);
        ui->pauseBtn->setEnabled(false);
        ui->exitBtn->setEnabled(false);
        break;
    case QMediaPlayer::PlayingState:
        ui->startBtn->setEnabled(false);
        ui->playBtn->setEnabled(false);
        ui->pauseBtn->setEnabled(true);
        ui->pauseBtn->setFocusPolicy(Qt::NoFocus);
        ui->exitBtn->setEnabled(true);
        ui->exitBtn->setFocusPolicy(Qt::NoFocus);
        break;
    case QMediaPlayer::PausedState:
        ui->playBtn->setEnabled(true);
        ui->playBtn->setFocusPolicy(Qt::NoFocus);
        ui->pauseBtn->setEnabled(false);
        ui->exitBtn->setEnabled(true);
        ui->exitBtn->setFocusPolicy(Qt::NoFocus);
        break;
    }
    m_playerManager->setState(state);
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

void MainWindow::resetResultGui()
{
    ui->lbScore->clear();
    ui->resultEstimate->clear();
    ui->awserListWidget->clear();
    ui->resultLtisWidget->clear();
    ui->hzVideoTimeSlider->setValue(0);
    ui->hzVideoTimeSlider->repaint();
}

void MainWindow::onDoneResetContest()
{
    contestDuration = m_composer->totalDuration();
    m_progressBar->setMaximum(contestDuration);
    ui->hzVideoTimeSlider->setRange(0, int(contestDuration));
    ui->labelDuration->setText(m_timeUtility->progressText(0, contestDuration));
    ui->hzVideoTimeSlider->setValue(0);
    ui->hzVideoTimeSlider->repaint();
    m_progressBar->showDangerZones = !examMode;
    m_progressBar->update();

    m_waitBox->hide();
    m_playerManager->requestPlay();
    setFocusPolicy(Qt::StrongFocus);
    // The flags are key presses: the keyboard must come back here from the
    // dialogs now closed, whether or not the window system hands it back.
    activateWindow();
    setFocus(Qt::OtherFocusReason);
}

void MainWindow::updateContestName(const QString &contestCode, const QString &contestName)
{
    m_initialInfoDialog->setContestNames(contestCode, contestName);
}

void MainWindow::on_pauseBtn_clicked()
{
    m_playerManager->requestPause();
}

void MainWindow::on_playBtn_clicked()
{
    setFocusPolicy(Qt::StrongFocus);
    ui->actionLogin->setEnabled(false);
    ui->hzVideoTimeSlider->setEnabled(true);
    ui->actionx2->setEnabled(true);
    ui->actionx4->setEnabled(true);
    if (!reviewPending) {
        m_playerManager->requestPause();
        m_playerManager->requestPlay();
        return;
    }
    m_businessController->resetContestState();
    m_waitBox->showWaiting(text(Constants::textLoadingContest));
    m_businessController->startReview();
    reviewPending = false;
}

void MainWindow::on_actionx2_triggered()
{
    m_playerManager->setPlaybackRate(2.0);
}

void MainWindow::on_actionx4_triggered()
{
    m_playerManager->setPlaybackRate(4.0);
}

// Candidate flow ----------------------------------------------------------

void MainWindow::openEntry()
{
    m_initialInfoDialog->setModal(true);
    m_initialInfoDialog->beginEntry();
}

void MainWindow::clearCandidateCard()
{
    ui->lbCertType->clear();
    ui->lbName->clear();
    ui->lbPId->clear();
    ui->lbOrderNumber->clear();
    ui->lbAvatar->clear();
    ui->actionLogin->setEnabled(true);
}

void MainWindow::fillCandidate(int cert, int id, const QString &pid, const QString &fullName,
                               const QString &image)
{
    StudentInfo *student = m_composer->studentInfo();
    student->setCert(cert);
    student->setId(id);
    student->setFullName(fullName);
    student->setPid(pid);
    student->setImage(image);
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
    const bool review = returnCode == 2;
    switch (returnCode) {
    case 0:
    case 2: {
        fillCandidate(cert, id, pid, fullName, image);
        const StudentInfo *student = m_composer->studentInfo();
        m_infoConfirmDialog->setModal(true);
        m_infoConfirmDialog->setInfo(student->licenceClassText(), student->fullName(), student->pid(),
                                     student->orderNumber(), review);
        m_infoConfirmDialog->setImage(student->image());
        m_infoConfirmDialog->show();
        ui->startBtn->setVisible(!review);
        for (QPushButton *button : {ui->playBtn, ui->pauseBtn, ui->exitBtn}) {
            button->setVisible(review);
            if (review)
                button->setEnabled(false);
        }
        ui->labelGuildLine->setVisible(!review);
        examMode = !review;
        break;
    }
    case 1:
        showServerMessage(text(Constants::textWrongCandidateNumber));
        break;
    case -1:
        showServerMessage(text(Constants::textErrorTryAgain));
        break;
    case 3:
        showServerMessage(text(Constants::textCandidateInExam));
        break;
    case 5:
        showServerMessage(text(Constants::textTheoryNotPassed));
        break;
    case 6:
        showServerMessage(text(Constants::textNotRequired));
        break;
    default:
        // 4 and anything unknown: the server has nothing to say to the operator.
        break;
    }
}

void MainWindow::onCancelInfo()
{
    m_infoConfirmDialog->hide();
}

void MainWindow::onConfirmInfo()
{
    const StudentInfo *student = m_composer->studentInfo();
    if (!examMode)
        m_businessController->sendInfoConfirm(student->id(), 1, 1);
    m_infoConfirmDialog->hide();
    m_initialInfoDialog->hide();

    ui->lbCertType->setText(student->licenceClassText());
    ui->lbName->setText(student->fullName());
    ui->lbPId->setText(student->pid());
    ui->lbOrderNumber->setText(student->orderNumber());
    ui->startBtn->setEnabled(true);

    QPixmap photo;
    if (!photo.loadFromData(QByteArray::fromBase64(student->image().toLocal8Bit()))) {
        photo.load(QString::fromLatin1(Constants::defaultCandidatePicture));
        qCInfo(lcUi) << "MainWindow::onConfirmInfo: Can't load image into pixmap";
    }
    ui->lbAvatar->setPixmap(photo);
}

void MainWindow::on_startBtn_clicked()
{
    m_businessController->sendInfoConfirm(m_composer->studentInfo()->id(), 1, 0);
    ui->startBtn->setEnabled(false);
    ui->startBtn->clearFocus();
    setFocusPolicy(Qt::StrongFocus);
    ui->actionLogin->setEnabled(false);
    ui->exitBtn->setEnabled(!examMode);
    // A review before this candidate leaves the slider seekable; an
    // examination must not be.
    if (examMode)
        ui->hzVideoTimeSlider->setEnabled(false);
    m_businessController->resetContestState();
    m_waitBox->showWaiting(text(Constants::textLoadingContest));
    m_businessController->resetContest(Examination, 0, 0);
}

void MainWindow::on_endContest()
{
    ui->hzVideoTimeSlider->setValue(0);
    ui->hzVideoTimeSlider->repaint();
    m_progressBar->update();
    ui->startBtn->setEnabled(false);
    ui->startBtn->show();

    if (examMode) {
        finishExamination();
        m_resultDialog->showResult();
        if (!m_unplayedMessage.isEmpty())
            showServerMessage(m_unplayedMessage);
        return;
    }
    ContestResultRecord record = m_contestProcedure->collectResult();
    record.verdict = ui->resultEstimate->text();
    m_resultDialog->setResult(record, m_composer->studentInfo());
    endPlaybackButtons();
    m_resultDialog->showResult();
}

QString MainWindow::showEstimate(int total, bool *passed)
{
    ui->labelEstimate->show();
    ui->resultEstimate->show();
    const int estimate = m_composer->passEstimate(total, 0);
    if (estimate == 1)
        ui->resultEstimate->setText(text(Constants::textPassed));
    else if (estimate == 0)
        ui->resultEstimate->setText(text(Constants::textFailed));
    if (passed)
        *passed = estimate == 1;
    return text(estimate == 1 ? Constants::textPassed : Constants::textFailed);
}

QList<int> MainWindow::unplayedSituations() const
{
    // The playlist alternates count-down clip and situation.
    QList<int> situations;
    for (int entry : m_playerManager->unplayedEntries()) {
        if (entry % 2 == 1)
            situations.append(entry / 2);
    }
    return situations;
}

void MainWindow::finishExamination()
{
    m_progressBar->showDangerZones = true;
    ui->hzVideoTimeSlider->setValue(0);
    ui->hzVideoTimeSlider->repaint();

    const QList<int> unplayed = unplayedSituations();
    const QList<DangerItem> items = m_contestProcedure->dangerItemsSnapshot();
    for (int i = 0; i < items.size(); ++i) {
        ui->awserListWidget->insertItem(i, centredItem(QString::number(i + 1)));
        ui->resultLtisWidget->insertItem(i, centredItem(unplayed.contains(i) ? text(Constants::textVideoFaultScore)
                                                                              : QString::number(items.at(i).score)));
    }

    ContestResultRecord record = m_contestProcedure->collectResult();
    bool passed = false;
    record.verdict = showEstimate(record.total, &passed);
    const int threshold = m_composer->passThreshold();
    ui->lbScore->setText(QStringLiteral("%1/50").arg(record.total));
    record.detail += QLatin1Char('|') + m_composer->videoIdText();

    // A situation the candidate could not see has no earned score: the
    // examination is not uploaded, so the server keeps the candidate
    // admissible for a new one, and the operator is told which situation.
    m_unplayedMessage.clear();
    if (!unplayed.isEmpty()) {
        QStringList numbers, named;
        const QList<Exercise *> exercises = m_composer->exercises();
        for (int k : unplayed) {
            const Exercise *situation = exercises.value(2 * k + 1);
            numbers << QString::number(k + 1);
            named << QStringLiteral("%1 (mã %2)").arg(k + 1).arg(situation ? situation->id() : 0);
        }
        qCInfo(lcUi).noquote() << QStringLiteral("Examination not uploaded, situation(s) not played: ") + named.join(QStringLiteral(", "));
        record.verdict = text(Constants::textVideoFault).arg(numbers.join(QStringLiteral(", ")));
        record.unplayedSituations = unplayed;
        ui->resultEstimate->setText(record.verdict);
        m_unplayedMessage = text(Constants::textSituationNotPlayed).arg(named.join(QStringLiteral(", ")));
        m_resultDialog->setResult(record, m_composer->studentInfo());
        return;
    }

    m_businessController->sendContestResult(record.total, threshold, passed ? 1 : 0,
                                            m_composer->studentInfo()->id(), record.detail,
                                            m_initialInfoDialog->contestCode());
    m_resultDialog->setResult(record, m_composer->studentInfo());
}

void MainWindow::prepareReviewContest(const ResultDetail &detail)
{
    const QStringList parts = detail.scoreText().split(QLatin1Char(';'));
    reviewPending = true;
    // A second review text replaces the first instead of adding rows to it.
    ui->awserListWidget->clear();
    ui->resultLtisWidget->clear();
    int total = 0;
    for (int i = 0; i < parts.size(); ++i) {
        ui->awserListWidget->insertItem(i, centredItem(QString::number(i + 1)));
        ui->resultLtisWidget->insertItem(i, centredItem(parts.at(i)));
        total += parts.at(i).toInt();
    }
    m_composer->setMode(ExaminationReview);
    showEstimate(total, nullptr);
    ui->lbScore->setText(QStringLiteral("%1/50").arg(total));

    ui->startBtn->hide();
    ui->playBtn->show();
    ui->playBtn->setEnabled(true);
    ui->pauseBtn->show();
    ui->exitBtn->show();
}

void MainWindow::onReviewContestContent()
{
    ui->playBtn->setEnabled(true);
}

void MainWindow::endPlaybackButtons()
{
    ui->playBtn->hide();
    ui->playBtn->setEnabled(false);
    ui->pauseBtn->hide();
    ui->actionx2->setEnabled(false);
    ui->actionx4->setEnabled(false);
    ui->exitBtn->hide();
}

void MainWindow::onNotSupportReview()
{
    openEntry();
    showServerMessage(text(Constants::textNoReview));
    endPlaybackButtons();
    ui->startBtn->setEnabled(false);
    ui->startBtn->show();
    clearCandidateCard();
}

void MainWindow::on_exitBtn_clicked()
{
    m_playerManager->requestStop();
    ui->startBtn->setEnabled(false);
    ui->startBtn->show();
    endPlaybackButtons();
    onResetForNewContestant();
}

void MainWindow::onResetForNewContestant()
{
    openEntry();
    resetResultGui();
    m_playerManager->rewind();
    m_contestProcedure->clearDangerItems();
    m_progressBar->showDangerZones = false;
    m_progressBar->repaint();
    ui->hzVideoTimeSlider->setValue(0);
    ui->hzVideoTimeSlider->repaint();
    clearCandidateCard();
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
