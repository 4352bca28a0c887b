#include "FileUtility.h"

#include "AppLogging.h"

#include <QDebug>
#include <QFile>

FileUtility::FileUtility(QObject *parent)
    : QObject(parent)
{
}

QPair<QString, QString> FileUtility::readServerAddress(const QString &path) const
{
    QString host = QString::fromLatin1(Constants::defaultHost);
    QString port = QString::fromLatin1(Constants::defaultPort);

    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            const QStringList fields = line.split(QLatin1Char(':'));
            if (fields.size() < 3)
                continue;
            host = fields.at(1).trimmed();
            port = fields.at(2).trimmed();
        }
        return qMakePair(host, port);
    }

    qCInfo(lcApp).noquote() << "Open file is error: " + file.errorString();
    QFile created(path);
    if (created.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        created.write(QString::fromLatin1(Constants::defaultServerLine).toLocal8Bit());
        created.close();
    }
    return qMakePair(host, port);
}
