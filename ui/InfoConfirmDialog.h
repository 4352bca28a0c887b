#pragma once

#include <QByteArray>
#include <QDialog>

#include <memory>

namespace Ui {
class InfoConfirmDialog;
}

// Shows the identity the server returned for a candidate number and lets the
// operator confirm or reject it. It never hides itself: the main window does
// that when it receives either answer.
class InfoConfirmDialog : public QDialog
{
    Q_OBJECT
public:
    explicit InfoConfirmDialog(QWidget *parent = nullptr);
    ~InfoConfirmDialog() override;

    // The same dialog serves an examination and the review of a past one;
    // only the heading tells them apart.
    void setInfo(const QString &certType, const QString &fullName, const QString &pid,
                 const QString &orderNumber, bool review);
    // The photo comes as Base64 text. One that does not decode leaves the
    // photo area empty, so the previous candidate's face is never shown.
    void setImage(const QString &image);

signals:
    void notifyConfirmInfo();
    void notifyCancelInfo();

private slots:
    void on_btnConfirm_clicked();
    void on_btnCancel_clicked();

private:
    const std::unique_ptr<Ui::InfoConfirmDialog> ui;
    QByteArray m_imageData;
};
