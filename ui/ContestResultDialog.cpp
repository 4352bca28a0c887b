#include "ContestResultDialog.h"
#include "ui_ContestResultDialog.h"

#include "Constants.h"
#include "ResultDetail.h"
#include "StudentInfo.h"

#include <QTimer>

namespace {
constexpr int displaySeconds = 15;
}

ContestResultDialog::ContestResultDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ContestResultDialog)
    , closeTimer(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    closeTimer->setObjectName(QStringLiteral("closeTimer"));
    closeTimer->setInterval(1000);
    connect(closeTimer, &QTimer::timeout, this, &ContestResultDialog::onDisapperDialog);
}

ContestResultDialog::~ContestResultDialog() = default;

void ContestResultDialog::setResult(const ContestResultRecord &record, const StudentInfo *student)
{
    ui->lbCertType->setText(student ? student->licenceClassText() : QString());
    ui->lbName->setText(student ? student->fullName() : QString());
    ui->lbPId->setText(student ? student->pid() : QString());
    ui->lbOrderNumber->setText(student ? student->orderNumber() : QString());
    ui->lbScore->setText(QString::number(record.total));
    ui->lbResult->setText(record.verdict);

    // A situation the record has no score for shows nothing: the dialog is
    // reused, and whatever stayed on the grid belongs to the last candidate.
    ResultDetail detail;
    ResultDetail::parseRecorded(record.detail, &detail);
    const QList<int> scores = detail.scores();
    const QList<QLabel *> labels = scoreLabels();
    for (int i = 0; i < labels.size(); ++i) {
        QString text;
        if (record.unplayedSituations.contains(i))
            text = QString::fromUtf8(Constants::textVideoFaultScore);
        else if (i < scores.size())
            text = QString::number(scores.at(i));
        labels.at(i)->setText(text);
    }
}

void ContestResultDialog::showResult()
{
    elapsedSeconds = 0;
    ui->labelCountDown->setText(tr("Tắt trong %1").arg(displaySeconds));
    closeTimer->start();
    setModal(true);
    show();
}

void ContestResultDialog::onDisapperDialog()
{
    ++elapsedSeconds;
    ui->labelCountDown->setText(tr("Tắt trong %1").arg(displaySeconds - elapsedSeconds));
    if (elapsedSeconds >= displaySeconds) {
        closeTimer->stop();
        hide();
        emit notifySignout();
    }
}

QList<QLabel *> ContestResultDialog::scoreLabels() const
{
    return {ui->lb1Score, ui->lb2Score, ui->lb3Score, ui->lb4Score, ui->lb5Score,
            ui->lb6Score, ui->lb7Score, ui->lb8Score, ui->lb9Score, ui->lb10Score};
}
