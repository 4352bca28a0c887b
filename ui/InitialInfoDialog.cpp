#include "InitialInfoDialog.h"
#include "ui_InitialInfoDialog.h"

#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "StudentInfo.h"
#include "TcpClient.h"

#include <QCloseEvent>
#include <QMessageBox>

InitialInfoDialog::InitialInfoDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::InitialInfoDialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    clear();
}

InitialInfoDialog::~InitialInfoDialog() = default;

void InitialInfoDialog::beginEntry()
{
    clear();
    ui->lineOrderNumber->setFocus(Qt::OtherFocusReason);
    ui->lineOrderNumber->clear();
    requestContestNames();
    show();
}

void InitialInfoDialog::setContestNames(const QString &codes, const QString &names)
{
    if (codes.isEmpty() || names.isEmpty())
        return;
    const QStringList codeList = codes.split(QLatin1Char(';'));
    const QStringList nameList = names.split(QLatin1Char(';'));
    if (codeList.size() != nameList.size()) {
        QMessageBox::warning(this, tr("Cảnh báo"),
                             tr("Mã và tên các khóa đang thi không khớp nhau (Có thể tồn tại một "
                                "trường có giá trị null)"),
                             QMessageBox::Ok);
        return;
    }
    for (int i = 0; i < codeList.size(); ++i) {
        m_courseCodes.append(codeList.at(i));
        ui->contestComboBox->addItem(nameList.at(i));
    }
    ui->contestComboBox->setCurrentIndex(0);
}

void InitialInfoDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void InitialInfoDialog::on_startButton_clicked()
{
    if (m_selectedIndex == -1) {
        QMessageBox::information(this, tr("Thông báo"), tr("Chọn khóa thi"), QMessageBox::Ok);
        return;
    }
    if (m_selectedIndex >= m_courseCodes.size()) {
        QMessageBox::warning(this, tr("Thông báo"), tr("Mã khóa thi đang chọn không tồn tại"),
                             QMessageBox::Ok);
        return;
    }
    m_contestCode = m_courseCodes.at(m_selectedIndex);
    // Taken as typed: the server knows its numbers, the station does not.
    const QString number = ui->lineOrderNumber->text();
    if (number.isEmpty()) {
        QMessageBox::information(this, tr("Thông báo"), tr("Điền số báo danh vào ô trống"),
                                 QMessageBox::Ok);
        return;
    }
    if (m_studentInfo)
        m_studentInfo->setOrderNumber(number);

    ContestEnterMessage message(true);
    message.setContestCode(m_contestCode.toUtf8());
    message.setCandidateNumber(number.toLocal8Bit());
    TcpClient::instance().sendMessage(message);
}

void InitialInfoDialog::on_sendRequestButton_clicked()
{
    // The answer can only be taken in once the check below has returned,
    // so clearing first leaves the same list as clearing after the send.
    clear();
    requestContestNames();
}

void InitialInfoDialog::on_contestComboBox_currentIndexChanged(int index)
{
    // Clearing the combo reports -1; that is no choice of the operator.
    if (index < 0)
        return;
    m_selectedIndex = index;
    m_contestCode = m_courseCodes.value(index);
}

void InitialInfoDialog::on_cancelButton_clicked()
{
    reject();
}

void InitialInfoDialog::clear()
{
    m_contestCode.clear();
    m_courseCodes.clear();
    ui->contestComboBox->clear();
    m_selectedIndex = -1;
}

void InitialInfoDialog::requestContestNames()
{
    // The check concludes a second later without holding up the dialog, so
    // it is on screen at once and the operator can type meanwhile. A lost
    // link is reconnected by the check; the list then arrives after the new
    // key exchange.
    TcpClient::instance().sendWithLaterDeliveryCheck(std::make_unique<ContestNameMessage>(), this);
}
