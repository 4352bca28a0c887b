#include "TimeCode.h"

#include "TimeUtility.h"

#include <QRegularExpression>
#include <QTime>

namespace {

const char codeFormat[] = "hh:mm:ss";
constexpr int largestSixtieths = 23 * 3600 + 59 * 60 + 59;

} // namespace

qint64 TimeCode::largestMilliseconds()
{
    return toMilliseconds(fromSixtieths(largestSixtieths));
}

bool TimeCode::isValid(const QString &code)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    return pattern.match(code).hasMatch()
           && QTime::fromString(code, QLatin1String(codeFormat)).isValid();
}

qint64 TimeCode::toMilliseconds(const QString &code)
{
    return TimeUtility::timeToMilliseconds(QTime::fromString(code, QLatin1String(codeFormat)));
}

QString TimeCode::fromMilliseconds(qint64 milliseconds)
{
    if (milliseconds < 0 || milliseconds > largestMilliseconds())
        return QString();
    // ceil(ms * 3 / 50) sixtieths; then make sure with the station's own
    // conversion, which truncates, that the code does not fall short.
    int sixtieths = int((milliseconds * 3 + 49) / 50);
    while (sixtieths <= largestSixtieths && toMilliseconds(fromSixtieths(sixtieths)) < milliseconds)
        ++sixtieths;
    if (sixtieths > largestSixtieths)
        return QString();
    return fromSixtieths(sixtieths);
}

QString TimeCode::fromSixtieths(int sixtieths)
{
    return QStringLiteral("%1:%2:%3")
        .arg(sixtieths / 3600, 2, 10, QLatin1Char('0'))
        .arg((sixtieths / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(sixtieths % 60, 2, 10, QLatin1Char('0'));
}
