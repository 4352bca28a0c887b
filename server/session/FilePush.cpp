#include "FilePush.h"

#include "EndSyncVideoMessage.h"
#include "ServerLogging.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoMessage.h"

#include <QDebug>
#include <QFile>
#include <QTcpSocket>

FilePush::FilePush(QTcpSocket *socket, Sender send, const QString &peer, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_send(std::move(send))
    , m_peer(peer)
{
    connect(m_socket, &QTcpSocket::bytesWritten, this, &FilePush::onBytesWritten);
}

FilePush::~FilePush() = default;

void FilePush::log(const QString &text) const
{
    qCInfo(lcServer).noquote() << m_peer << text;
}

void FilePush::enqueue(const QString &path, const QByteArray &name)
{
    if (m_stopped)
        return;
    m_queue.append({path, name});
    if (!m_file)
        proceed();
}

void FilePush::stop()
{
    m_stopped = true;
    delete m_file;
    m_file = nullptr;
    m_queue.clear();
}

void FilePush::onBytesWritten()
{
    if (m_file)
        proceed();
}

bool FilePush::startNext()
{
    const Transfer &next = m_queue.first();
    m_file = new QFile(next.path, this);
    if (!m_file->open(QIODevice::ReadOnly)) {
        log(QStringLiteral("file push %1: cannot read %2: %3")
                .arg(QString::fromUtf8(next.name), next.path, m_file->errorString()));
        delete m_file;
        m_file = nullptr;
        m_queue.removeFirst();
        return true;
    }
    m_size = m_file->size();
    StartSyncVideoMessage start;
    start.setFileName(next.name);
    if (!m_send(start))
        return false;
    log(QStringLiteral("file push %1: started (%2 bytes)").arg(QString::fromUtf8(next.name)).arg(m_size));
    return true;
}

void FilePush::proceed()
{
    while (!m_stopped) {
        if (!m_file) {
            if (m_queue.isEmpty())
                return;
            if (!startNext())
                return;
            continue;
        }
        if (m_socket->bytesToWrite() >= highWater)
            return; // bytesWritten brings us back
        const QByteArray chunk = m_file->read(maxChunk);
        if (chunk.isEmpty()) {
            finishCurrent();
            continue;
        }
        SyncVideoMessage data;
        data.setData(chunk);
        if (!m_send(data))
            return;
    }
}

void FilePush::finishCurrent()
{
    const QByteArray name = m_queue.first().name;
    const qint64 sent = m_file->pos();
    const bool readFailed = m_file->error() != QFileDevice::NoError;
    const QString readError = m_file->errorString();
    delete m_file;
    m_file = nullptr;
    m_queue.removeFirst();
    if (readFailed || sent != m_size) {
        // The end message makes the station replace its file with what it
        // received; without it the station keeps its old file and drops the
        // partial one at the next transfer's start.
        log(QStringLiteral("file push %1: abandoned after %2 of %3 bytes: %4")
                .arg(QString::fromUtf8(name))
                .arg(sent)
                .arg(m_size)
                .arg(readFailed ? readError : QStringLiteral("the file changed while it was sent")));
        return;
    }
    if (!m_send(EndSyncVideoMessage()))
        return;
    log(QStringLiteral("file push %1: %2 bytes sent").arg(QString::fromUtf8(name)).arg(sent));
    emit transferDone(name);
}
