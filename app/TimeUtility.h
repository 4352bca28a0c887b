#pragma once

#include <QObject>
#include <QString>
#include <QTime>

// Time codes of the content database and the texts of playback positions.
class TimeUtility : public QObject
{
    Q_OBJECT
public:
    static TimeUtility *instance();

    // The database's "hh:mm:ss" codes really hold minutes, seconds and
    // sixtieths of a second; one sixtieth is 50/3 ms.
    static int timeToMilliseconds(const QTime &time);
    // "mm:ss / mm:ss", or the long form when the total exceeds an hour.
    QString progressText(qint64 current, qint64 total) const;
    // "mm:ss:ff" with ff in sixtieths of a second; empty for 0.
    static QString positionText(qint64 position);

private:
    TimeUtility() = default;
};
