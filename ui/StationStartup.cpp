#include "StationStartup.h"

#include "BusinessController.h"
#include "FileUtility.h"
#include "TcpClient.h"

#include <QMessageBox>

bool StationStartup::check(QWidget *window, const FileUtility &files, const BusinessController &controller)
{
    const QPair<QString, QString> address = files.readServerAddress();
    qint32 error = -2;
    const int code = TcpClient::instance().connectToServer(address.first, address.second, &error);
    if (code != TcpClient::Connected) {
        QMessageBox::critical(window, QString::fromUtf8("Cảnh báo"),
                              QString::fromUtf8("Không kết nối được máy chủ quản lý mô phỏng (%1) - (%2)")
                                  .arg(code)
                                  .arg(error),
                              QMessageBox::Ok);
        return false;
    }
    if (controller.isContentInvalid()) {
        QMessageBox::critical(window, QString::fromUtf8("Cảnh báo"),
                              QString::fromUtf8("Không kết nối được cơ sở dữ liệu Sqlite mô phỏng hợp lệ"),
                              QMessageBox::Ok);
        return false;
    }
    return true;
}
