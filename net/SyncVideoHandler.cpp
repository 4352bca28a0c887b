#include "SyncVideoHandler.h"

#include "InputDispatcher.h"
#include "NetLogging.h"
#include "SyncVideoMessage.h"
#include "VideoObject.h"

SyncVideoHandler::SyncVideoHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void SyncVideoHandler::process(BaseMessage &message)
{
    auto *chunk = dynamic_cast<SyncVideoMessage *>(&message);
    if (message.type() != SyncVideoMessage::messageType || !chunk) {
        writeTypeLine("SyncVideoHandler: can not process message with type: ", message.type());
        return;
    }
    // A push is hundreds of chunks: their lines are a trace, while the start
    // and the end of each push stay in the log.
    if (lcNet().isDebugEnabled())
        writeTypeLine("Syncvideomessage:", message.type());
    const QByteArray data = chunk->data();
    m_dispatcher->videoSink()->writeData(data.constData(), data.size());
}
