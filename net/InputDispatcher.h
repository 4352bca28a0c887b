#pragma once

#include "ClientInputInterface.h"

#include <QList>

#include <memory>
#include <mutex>

class VideoObject;

// Fans the handlers' results out to every registered listener, in
// registration order, and owns the writer of files pushed by the server.
//
// The receiving thread delivers under a lock that registration also takes, so
// a listener that has been unregistered is never called again and may be
// destroyed at once.
class InputDispatcher
{
public:
    static InputDispatcher *instance();

    // A dispatcher of one's own (tools, tests); the link uses instance().
    InputDispatcher();
    ~InputDispatcher();

    InputDispatcher(const InputDispatcher &) = delete;
    InputDispatcher &operator=(const InputDispatcher &) = delete;

    // Not owned.
    void registerClient(ClientInputInterface *client);
    // Waits for a delivery to it that is under way. Must not be called from
    // a listener's own operation.
    void unregisterClient(ClientInputInterface *client);
    int clientCount() const;

    void onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                         const QString &fullName, const QString &image);
    void onAuthenStateOne(const QByteArray &nonce);
    void onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                       int nameLength);
    void onReview(const QString &text);

    VideoObject *videoSink() const { return m_sink.get(); }

private:
    mutable std::mutex m_clientsLock;
    QList<ClientInputInterface *> m_clients;
    std::unique_ptr<VideoObject> m_sink;
};
