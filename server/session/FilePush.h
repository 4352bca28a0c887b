#pragma once

#include "BaseMessage.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QFile;
class QTcpSocket;

// The file pushes to one station. Transfers run one after the other, each
// sent as the socket drains, so that a slow station holds one chunk's worth
// of memory, not the whole file.
class FilePush : public QObject
{
    Q_OBJECT
public:
    // A type-2 frame's payload: the largest frame less its header.
    static constexpr int maxChunk = int(BaseMessage::maxFrameLength) - BaseMessage::headerSize;
    // Bytes queued on the socket before a transfer waits for it to drain.
    static constexpr qint64 highWater = 4 * qint64(BaseMessage::maxFrameLength);

    // Sends one frame to the station; false stops the transfer.
    using Sender = std::function<bool(const BaseMessage &)>;

    FilePush(QTcpSocket *socket, Sender send, const QString &peer, QObject *parent = nullptr);
    ~FilePush() override;

    // The name is what the station creates, relative to its working folder.
    void enqueue(const QString &path, const QByteArray &name);
    // Drops the running transfer and the queue: the connection is ending.
    void stop();

signals:
    void transferDone(const QByteArray &name);

private:
    struct Transfer
    {
        QString path;
        QByteArray name;
    };

    void onBytesWritten();
    void proceed();
    bool startNext();
    void finishCurrent();
    void log(const QString &text) const;

    QTcpSocket *m_socket;
    Sender m_send;
    QString m_peer;
    QList<Transfer> m_queue;
    QFile *m_file = nullptr;
    qint64 m_size = 0;
    bool m_stopped = false;
};
