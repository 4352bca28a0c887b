#include "StudentInfo.h"

#include "Constants.h"

StudentInfo::StudentInfo(QObject *parent)
    : QObject(parent)
{
}

QString StudentInfo::licenceClassText() const
{
    const QStringList classes = Constants::licenceClasses();
    if (m_cert < 0 || m_cert >= classes.size())
        return QString();
    return classes.at(m_cert);
}

QString StudentInfo::summaryText() const
{
    return QStringLiteral("Họ và tên: ") + m_fullName + QStringLiteral("<br>")
           + QStringLiteral("Số CMT: ") + m_idCardNumber + QStringLiteral("<br>")
           + QStringLiteral("Loại GPLX: ") + licenceClassText() + QStringLiteral("<br>")
           + QStringLiteral("Địa chỉ: ") + m_address;
}
