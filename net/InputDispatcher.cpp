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
    if (client)
        m_clients.append(client);
}

// Each listener gets its own copy of the texts, so one that moves or
// modifies them cannot affect the next.
void InputDispatcher::onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                                      const QString &fullName, const QString &image)
{
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onEnterResponse(code, cert, id, QString(pid), QString(fullName), QString(image));
}

void InputDispatcher::onAuthenStateOne(const QByteArray &nonce)
{
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onAuthenStateOne(nonce);
}

void InputDispatcher::onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                                    int nameLength)
{
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onContestName(codeBytes, codeLength, nameBytes, nameLength);
}

void InputDispatcher::onReview(const QString &text)
{
    for (ClientInputInterface *client : qAsConst(m_clients))
        client->onReview(QString(text));
}
