#pragma once

#include "Constants.h"
#include "Rc4Cipher.h"
#include "TestFiles.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// Real video clips for the playback tests: made with ffmpeg, small and
// without audio so the suite stays fast, and stored enciphered like the
// content the station ships.
namespace ClipFixture {

// A plain H.264 mp4 of `durationMs` at 25 frames a second.
inline bool renderClip(const QString &path, int durationMs, const QString &source = QStringLiteral("testsrc"))
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString args = QStringLiteral("-hide_banner -loglevel error -y -f lavfi -i %1=size=160x90:rate=25:duration=%2 "
                                        "-an -c:v libx264 -pix_fmt yuv420p -movflags +faststart");
    ffmpeg.start(QStringLiteral("ffmpeg"), args.arg(source).arg(durationMs / 1000.0).split(QLatin1Char(' ')) << path);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

// Writes `plain` in the stored form: the leading megabyte enciphered with
// the built-in video key, the rest as it is.
inline bool writeEnciphered(const QString &path, QByteArray plain)
{
    const int prefix = int(qMin<qint64>(plain.size(), Constants::encryptedPrefixSize));
    Rc4Cipher().encrypt(plain.constData(), plain.data(), prefix);
    return TestFiles::write(path, plain);
}

} // namespace ClipFixture
