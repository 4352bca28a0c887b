#pragma once

#include "Constants.h"

#include <QObject>
#include <QPair>
#include <QString>

// Reads the one configuration file of the station: the examination server's
// address.
class FileUtility : public QObject
{
    Q_OBJECT
public:
    explicit FileUtility(QObject *parent = nullptr);

    // Host and port texts. The last line with at least three ":"-separated
    // fields wins; a missing file is created with the default line so the
    // operator finds something to edit.
    QPair<QString, QString> readServerAddress(
        const QString &path = QString::fromLatin1(Constants::serverAddressFile)) const;
};
