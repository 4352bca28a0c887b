#pragma once

#include <QString>

// Which video a running station is playing, seen from outside: the media
// backend keeps the clip it plays open, and only that one, in the station's
// scratch folder. Linux only (reads /proc).
class ClipWatch
{
public:
    // workingFolder: the station's working directory.
    ClipWatch(qint64 pid, const QString &workingFolder);
    // A program that decrypts into a scratch folder of its own, as the
    // practice program does.
    static ClipWatch inScratchFolder(qint64 pid, const QString &scratchFolder);

    // The file name of the clip open now, empty when none is.
    QString openClip() const;
    // False once the process has gone.
    bool processRuns() const;

private:
    ClipWatch(const QString &fdFolder, const QString &scratchPrefix);
    bool isReadOnly(const QString &fd) const;

    QString m_fdFolder;
    QString m_scratchPrefix;
};
