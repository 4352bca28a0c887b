#include "MainForm.h"
#include "ui_MainWindow.h"
#include "UiLogging.h"

#include "Constants.h"
#include "StudentInfo.h"

#include <QHBoxLayout>
#include <QListWidgetItem>
#include <QPixmap>
#include <QStyle>

namespace {

QListWidgetItem *centredItem(const QString &text)
{
    auto *item = new QListWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

} // namespace

void MainForm::setUp(Ui::MainWindow &form, QWidget *video)
{
    form.label->setText(QStringLiteral("<p style=\"margin:0\"><span style=\"color:#fff; font-size:21px;\">%1</span></p>"
                                       "<p style=\"margin:0\"><span style=\"color:#fff; font-size:24px; "
                                       "font-weight:bold;\">%2</span></p>")
                            .arg(QString::fromUtf8(Constants::authorityName).toHtmlEscaped(),
                                 QString::fromUtf8(Constants::applicationTitle).toUpper().toHtmlEscaped()));
    form.labelEstimate->hide();
    form.resultEstimate->hide();
    auto *playerLayout = new QHBoxLayout(form.playerWidget);
    playerLayout->setContentsMargins(0, 0, 0, 0);
    playerLayout->setSpacing(0);
    playerLayout->addWidget(video);
    form.hzProgressBar->showDangerZones = false;
    clearResults(form);
    const QStyle *style = form.playBtn->style();
    form.playBtn->setIcon(style->standardIcon(QStyle::SP_MediaPlay));
    form.pauseBtn->setIcon(style->standardIcon(QStyle::SP_MediaPause));
    form.exitBtn->setIcon(style->standardIcon(QStyle::SP_TitleBarCloseButton));
    for (QPushButton *button : {form.playBtn, form.pauseBtn, form.exitBtn})
        button->setFocusPolicy(Qt::NoFocus);
}

void MainForm::applyControls(Ui::MainWindow &form, const CandidateFlow::Controls &c)
{
    form.startBtn->setVisible(c.startShown);
    form.startBtn->setEnabled(c.startEnabled);
    form.playBtn->setVisible(c.playShown);
    form.playBtn->setEnabled(c.playEnabled);
    form.pauseBtn->setVisible(c.pauseShown);
    form.pauseBtn->setEnabled(c.pauseEnabled);
    form.exitBtn->setVisible(c.exitShown);
    form.exitBtn->setEnabled(c.exitEnabled);
    form.actionLogin->setEnabled(c.loginEnabled);
    form.actionx2->setEnabled(c.speedEnabled);
    form.actionx4->setEnabled(c.speedEnabled);
    form.hzVideoTimeSlider->setEnabled(c.seekEnabled);
    form.labelGuildLine->setVisible(c.guideShown);
    if (form.hzProgressBar->showDangerZones != c.dangerZonesShown) {
        form.hzProgressBar->showDangerZones = c.dangerZonesShown;
        form.hzProgressBar->update();
    }
}

void MainForm::showCandidate(Ui::MainWindow &form, const StudentInfo &student)
{
    form.lbCertType->setText(student.licenceClassText());
    form.lbName->setText(student.fullName());
    form.lbPId->setText(student.pid());
    form.lbOrderNumber->setText(student.orderNumber());
    QPixmap photo;
    if (!photo.loadFromData(QByteArray::fromBase64(student.image().toLocal8Bit()))) {
        photo.load(QString::fromLatin1(Constants::defaultCandidatePicture));
        qCInfo(lcUi) << "MainWindow::onConfirmInfo: Can't load image into pixmap";
    }
    form.lbAvatar->setPixmap(photo);
}

void MainForm::clearCandidate(Ui::MainWindow &form)
{
    form.lbCertType->clear();
    form.lbName->clear();
    form.lbPId->clear();
    form.lbOrderNumber->clear();
    form.lbAvatar->clear();
}

void MainForm::showExaminationScores(Ui::MainWindow &form, const QList<DangerItem> &items,
                                     const QList<int> &unplayed, int total, const QString &verdict)
{
    QStringList scores;
    for (int i = 0; i < items.size(); ++i) {
        scores << (unplayed.contains(i) ? QString::fromUtf8(Constants::textVideoFaultScore)
                                        : QString::number(items.at(i).score));
    }
    showScores(form, scores, total, verdict);
}

void MainForm::showReviewScores(Ui::MainWindow &form, const QList<int> &scores, int total, const QString &verdict)
{
    QStringList rows;
    for (const int score : scores)
        rows << QString::number(score);
    showScores(form, rows, total, verdict);
}

void MainForm::showScores(Ui::MainWindow &form, const QStringList &scores, int total, const QString &verdict)
{
    // A second list replaces the first instead of adding rows to it.
    form.awserListWidget->clear();
    form.resultLtisWidget->clear();
    for (int i = 0; i < scores.size(); ++i) {
        form.awserListWidget->insertItem(i, centredItem(QString::number(i + 1)));
        form.resultLtisWidget->insertItem(i, centredItem(scores.at(i)));
    }
    form.labelEstimate->show();
    form.resultEstimate->show();
    form.resultEstimate->setText(verdict);
    form.lbScore->setText(QStringLiteral("%1/50").arg(total));
}

void MainForm::clearResults(Ui::MainWindow &form)
{
    form.lbScore->clear();
    form.resultEstimate->clear();
    form.awserListWidget->clear();
    form.resultLtisWidget->clear();
    rewindSlider(form);
}

void MainForm::rewindSlider(Ui::MainWindow &form)
{
    form.hzVideoTimeSlider->setValue(0);
    form.hzVideoTimeSlider->repaint();
}
