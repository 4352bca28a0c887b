#include "TimeUtility.h"

namespace {

QTime clockTime(qint64 v)
{
    return QTime(int((v / 3600000) % 60), int((v / 60000) % 60), int((v / 1000) % 60),
                 int(v % 1000));
}

// The long form only once the value passes an hour.
QString clockFormat(qint64 seconds)
{
    return seconds > 3600 ? QStringLiteral("hh:mm:ss") : QStringLiteral("mm:ss");
}

} // namespace

TimeUtility *TimeUtility::instance()
{
    static TimeUtility utility;
    return &utility;
}

int TimeUtility::timeToMilliseconds(const QTime &time)
{
    const QTime origin = QTime::fromString(QStringLiteral("00:00:00"), QStringLiteral("hh:mm:ss"));
    const int seconds = time.isValid() ? origin.secsTo(time) : 0;
    return int(seconds * 50.0 / 3.0);
}

QString TimeUtility::progressText(qint64 current, qint64 total) const
{
    const qint64 c = current / 1000;
    const qint64 s = total / 1000;
    if (c == 0 && s == 0)
        return QString();
    const QString format = clockFormat(s);
    return clockTime(current).toString(format) + QStringLiteral(" / ")
           + clockTime(total).toString(format);
}

QString TimeUtility::positionText(qint64 position)
{
    if (position == 0)
        return QString();
    const qint64 sixtieths = ((position * 60) / 1000) % 60;
    const QString format = clockFormat(position / 1000);
    return clockTime(position).toString(format) + QLatin1Char(':')
           + QStringLiteral("%1").arg(sixtieths, 2, 10, QLatin1Char('0'));
}
