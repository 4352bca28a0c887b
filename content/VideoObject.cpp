#include "VideoObject.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool insideFolder(const QString &canonicalPath, const QString &canonicalFolder)
{
    return canonicalPath == canonicalFolder
           || canonicalPath.startsWith(canonicalFolder + QLatin1Char('/'));
}

} // namespace

VideoObject::VideoObject(QObject *parent)
    : QObject(parent)
{
}

VideoObject::~VideoObject()
{
    discard();
}

QString VideoObject::refusalReason(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("empty name");
    if (QDir::isAbsolutePath(path) || path.startsWith(QLatin1Char('\\')))
        return QStringLiteral("absolute path");
    const QStringList parts = QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'))
                                  .split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")))
        return QStringLiteral("\"..\" component");

    const QString root = QDir::current().canonicalPath();
    // QSaveFile writes through a symlink to its target, so follow the chain
    // the same way before deciding where the bytes would land.
    QFileInfo target(QDir::current().absoluteFilePath(path));
    int depth = 64;
    while (target.isSymLink() && --depth > 0)
        target.setFile(target.absoluteDir().absoluteFilePath(target.symLinkTarget()));
    if (depth == 0)
        return QStringLiteral("symlink loop");
    const QString folder = QFileInfo(target.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QStringLiteral("folder does not exist");
    if (!insideFolder(folder, root))
        return QStringLiteral("outside the working directory");
    if (target.isDir())
        return QStringLiteral("names a folder");
    return QString();
}

void VideoObject::openFile(const QString &path)
{
    discard();
    const QString reason = refusalReason(path);
    if (!reason.isEmpty()) {
        qInfo().noquote() << "Refused file from server:" << path << "-" << reason;
        return;
    }
    m_file = new QSaveFile(QDir::current().absoluteFilePath(path));
    if (!m_file->open(QIODevice::WriteOnly)) {
        qInfo() << "Error open mp4 file";
        discard();
    }
}

void VideoObject::writeData(const char *data, int length)
{
    if (!m_file)
        return;
    qInfo().noquote() << "Length save file: " + QString::number(length);
    if (length > 0 && m_file->write(data, length) != length)
        qInfo().noquote() << "Write to file failed:" << m_file->errorString();
}

void VideoObject::closeFile()
{
    if (!m_file)
        return;
    if (!m_file->commit())
        qInfo().noquote() << "Save file failed:" << m_file->errorString();
    delete m_file;
    m_file = nullptr;
}

void VideoObject::discard()
{
    if (!m_file)
        return;
    m_file->cancelWriting();
    delete m_file;
    m_file = nullptr;
}
