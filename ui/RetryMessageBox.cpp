#include "RetryMessageBox.h"

#include <QMessageBox>

RetryMessageBox::RetryMessageBox(QWidget *parent)
    : m_parent(parent)
{
}

bool RetryMessageBox::askRetry()
{
    // No default button: an operator who presses Enter out of habit must not
    // decide for either answer.
    const QMessageBox::StandardButton answer = QMessageBox::question(
        m_parent.data(), QString::fromUtf8("Cảnh báo"),
        QString::fromUtf8("Không kết nối được máy chủ quản lý mô phỏng. Bấm Yes để kết nối lại?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    return answer == QMessageBox::Yes;
}
