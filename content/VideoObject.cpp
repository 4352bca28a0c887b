#include "VideoObject.h"

#include "ContentLogging.h"

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
    abandon();
    m_strayChunks = 0;
    const QString reason = refusalReason(path);
    m_refused = !reason.isEmpty();
    if (m_refused) {
        qCInfo(lcContent).noquote() << "Refused file from server:" << path << "-" << reason;
        return;
    }
    m_name = path;
    m_file = new QSaveFile(QDir::current().absoluteFilePath(path));
    if (!m_file->open(QIODevice::WriteOnly)) {
        qCInfo(lcContent) << "Error open mp4 file";
        discard();
    }
}

void VideoObject::writeData(const char *data, int length)
{
    if (!m_file) {
        if (!m_refused && m_strayChunks++ == 0)
            qCInfo(lcContent).noquote() << "Pushed chunk with no open transfer; ignored";
        return;
    }
    qCDebug(lcContent).noquote() << "Length save file: " + QString::number(length);
    if (length > 0 && m_file->write(data, length) != length)
        qCWarning(lcContent).noquote() << "Write to file failed:" << m_file->errorString();
}

void VideoObject::closeFile()
{
    const int strayChunks = m_strayChunks;
    m_strayChunks = 0;
    if (!m_file) {
        if (!m_refused)
            qCInfo(lcContent).noquote() << QStringLiteral("End of a push with no open transfer; ignored (%1 chunk(s) ignored before it)")
                                     .arg(strayChunks);
        m_refused = false;
        return;
    }
    if (!m_file->commit())
        qCWarning(lcContent).noquote() << "Save file failed:" << m_file->errorString();
    delete m_file;
    m_file = nullptr;
}

void VideoObject::abandon()
{
    if (m_file)
        qCInfo(lcContent).noquote() << "Push of" << m_name << "cut short; discarded";
    discard();
    m_refused = false;
}

void VideoObject::discard()
{
    if (!m_file)
        return;
    m_file->cancelWriting();
    delete m_file;
    m_file = nullptr;
}
