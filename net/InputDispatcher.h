#pragma once

#include "ClientInputInterface.h"

#include <QList>

#include <memory>

class VideoObject;

// Fans the handlers' results out to every registered listener, in
// registration order, and owns the writer of files pushed by the server.
//
// Listeners register before the link opens and are never removed, so the
// list is read without a lock on the receiving thread.
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
    int clientCount() const { return m_clients.size(); }

    void onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                         const QString &fullName, const QString &image);
    void onAuthenStateOne(const QByteArray &nonce);
    void onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                       int nameLength);
    void onReview(const QString &text);

    VideoObject *videoSink() const { return m_sink.get(); }

private:
    QList<ClientInputInterface *> m_clients;
    std::unique_ptr<VideoObject> m_sink;
};
