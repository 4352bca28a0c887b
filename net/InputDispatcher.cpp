#include "InputDispatcher.h"

#include "VideoObject.h"

InputDispatcher *InputDispatcher::instance()
{
    static InputDispatcher dispatcher;
    return &dispatcher;
}

InputDispatcher::InputDispatcher()
    : m_sink(std::make_unique<VideoObject>())
{
}

// Destroying the sink abandons an unfinished push, leaving the old file.
InputDispatcher::~InputDispatcher() = default;

void InputDispatcher::registerClient(ClientInputInterface *client)
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    if (client)
        m_clients.append(client);
}

void InputDispatcher::unregisterClient(ClientInputInterface *client)
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    m_clients.removeAll(client);
}

int InputDispatcher::clientCount() const
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    return m_clients.size();
}

// Each listener gets its own copy of the texts, so one that moves or
// modifies them cannot affect the next.
void InputDispatcher::onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                                      const QString &fullName, const QString &image)
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onEnterResponse(code, cert, id, QString(pid), QString(fullName), QString(image));
}

void InputDispatcher::onAuthenStateOne(const QByteArray &nonce)
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onAuthenStateOne(nonce);
}

void InputDispatcher::onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                                    int nameLength)
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onContestName(codeBytes, codeLength, nameBytes, nameLength);
}

void InputDispatcher::onReview(const QString &text)
{
    std::lock_guard<std::mutex> lock(m_clientsLock);
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onReview(QString(text));
}
