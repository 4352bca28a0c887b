#include "EndSyncVideoHandler.h"

#include "EndSyncVideoMessage.h"
#include "InputDispatcher.h"
#include "VideoObject.h"

EndSyncVideoHandler::EndSyncVideoHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void EndSyncVideoHandler::process(BaseMessage &message)
{
    if (message.type() != EndSyncVideoMessage::messageType) {
        writeTypeLine("EndSyncVideoHandler: can not process message with type: ", message.type());
        return;
    }
    writeTypeLine("EndSyncvideomessage", message.type());
    m_dispatcher->videoSink()->closeFile();
}
