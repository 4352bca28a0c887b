#include "MediaProbe.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cmath>

namespace {

const char program[] = "ffprobe";
constexpr int probeTimeoutMs = 60000;

} // namespace

bool MediaProbe::isAvailable()
{
    return !QStandardPaths::findExecutable(QLatin1String(program)).isEmpty();
}

bool MediaProbe::probe(const QString &path, qint64 *durationMs, QString *error)
{
    QProcess process;
    process.start(QLatin1String(program),
                  {QStringLiteral("-v"), QStringLiteral("error"),
                   QStringLiteral("-show_entries"), QStringLiteral("stream=codec_type:format=duration"),
                   QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"),
                   QStringLiteral("--"), path});
    if (!process.waitForStarted(probeTimeoutMs)) {
        *error = QStringLiteral("ffprobe could not be started");
        return false;
    }
    if (!process.waitForFinished(probeTimeoutMs)) {
        process.kill();
        process.waitForFinished(probeTimeoutMs);
        *error = QStringLiteral("ffprobe did not finish");
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString detail = QString::fromUtf8(process.readAllStandardError()).trimmed();
        *error = detail.isEmpty() ? QStringLiteral("ffprobe cannot read it")
                                  : detail.section(QLatin1Char('\n'), 0, 0);
        return false;
    }

    bool hasVideo = false;
    double seconds = -1;
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString entry = line.trimmed();
        if (entry == QLatin1String("codec_type=video"))
            hasVideo = true;
        else if (entry.startsWith(QLatin1String("duration="))) {
            bool ok = false;
            const double value = entry.mid(9).toDouble(&ok);
            if (ok)
                seconds = value;
        }
    }
    if (!hasVideo) {
        *error = QStringLiteral("it holds no video stream");
        return false;
    }
    if (!(seconds > 0)) {
        *error = QStringLiteral("its duration is unknown");
        return false;
    }
    *durationMs = qint64(std::llround(seconds * 1000.0));
    return true;
}
