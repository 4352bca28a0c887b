#include "ClipWatch.h"

#include "Constants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

ClipWatch::ClipWatch(qint64 pid, const QString &workingFolder)
    : m_fdFolder(QStringLiteral("/proc/%1/fd").arg(pid))
    // The kernel names open files by their resolved paths. The scratch
    // folder comes and goes with each contest; the working folder is
    // resolved once, here.
    , m_scratchPrefix(QDir::cleanPath(QDir(workingFolder).canonicalPath() + QLatin1Char('/')
                                      + QLatin1String(Constants::scratchFolder))
                      + QLatin1Char('/'))
{
}

ClipWatch::ClipWatch(const QString &fdFolder, const QString &scratchPrefix)
    : m_fdFolder(fdFolder)
    , m_scratchPrefix(scratchPrefix)
{
}

ClipWatch ClipWatch::inScratchFolder(qint64 pid, const QString &scratchFolder)
{
    // The folder itself may not exist yet; its parent does.
    const QFileInfo folder(QDir::cleanPath(scratchFolder));
    const QString parent = QDir(folder.absolutePath()).canonicalPath();
    return ClipWatch(QStringLiteral("/proc/%1/fd").arg(pid), parent + QLatin1Char('/') + folder.fileName() + QLatin1Char('/'));
}

QString ClipWatch::openClip() const
{
    const QDir fds(m_fdFolder);
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (target.startsWith(m_scratchPrefix) && target.endsWith(QLatin1String(".mp4")) && isReadOnly(fd))
            return target.mid(m_scratchPrefix.size());
    }
    return QString();
}

bool ClipWatch::isReadOnly(const QString &fd) const
{
    // A copy being decrypted is open for writing, under its final name for
    // a moment after the rename; only the player opens clips to read.
    QFile info(QStringLiteral("%1info/%2").arg(m_fdFolder, fd));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("flags:")) {
            bool ok = false;
            const int flags = line.mid(6).trimmed().toInt(&ok, 8);
            return ok && (flags & O_ACCMODE) == O_RDONLY;
        }
    }
    return false;
}

bool ClipWatch::processRuns() const
{
    return QFileInfo::exists(m_fdFolder);
}
