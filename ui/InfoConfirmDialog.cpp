#include "InfoConfirmDialog.h"
#include "ui_InfoConfirmDialog.h"
#include "UiLogging.h"

#include <QDebug>
#include <QPixmap>

InfoConfirmDialog::InfoConfirmDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::InfoConfirmDialog)
{
    ui->setupUi(this);
}

InfoConfirmDialog::~InfoConfirmDialog() = default;

void InfoConfirmDialog::setInfo(const QString &certType, const QString &fullName,
                                const QString &pid, const QString &orderNumber, bool review)
{
    ui->lbCertType->setText(certType);
    ui->lbName->setText(fullName);
    ui->lbPId->setText(pid);
    ui->lbOrderNumber->setText(orderNumber);
    ui->title->setText(review ? tr("Xem lại bài thi") : tr("Thông tin học viên"));
}

void InfoConfirmDialog::setImage(const QString &image)
{
    m_imageData = QByteArray::fromBase64(image.toLocal8Bit());
    QPixmap photo;
    if (!photo.loadFromData(m_imageData)) {
        qCInfo(lcUi) << "InfoConfirmDialog::setImage: Can't load image into pixmap";
        photo = QPixmap();
    }
    ui->lbAvatar->setPixmap(photo);
}

void InfoConfirmDialog::on_btnConfirm_clicked()
{
    emit notifyConfirmInfo();
}

void InfoConfirmDialog::on_btnCancel_clicked()
{
    emit notifyCancelInfo();
}
