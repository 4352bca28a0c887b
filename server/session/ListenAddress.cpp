#include "ListenAddress.h"

bool ListenAddress::parse(const QString &text, QHostAddress *address, quint16 *port)
{
    // The last colon: an unbracketed IPv6 address has colons of its own.
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    bool portOk = false;
    const uint number = text.mid(colon + 1).toUInt(&portOk);
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    QHostAddress parsed;
    if (host == QLatin1String("localhost"))
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (host == QLatin1String("*"))
        parsed = QHostAddress(QHostAddress::Any);
    else
        parsed = QHostAddress(host);
    if (!portOk || number > 65535 || parsed.isNull())
        return false;
    *address = parsed;
    *port = quint16(number);
    return true;
}

QString ListenAddress::toString(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(address.toString())
        : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}
