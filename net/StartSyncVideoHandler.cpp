#include "StartSyncVideoHandler.h"

#include "InputDispatcher.h"
#include "StartSyncVideoMessage.h"
#include "VideoObject.h"

StartSyncVideoHandler::StartSyncVideoHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void StartSyncVideoHandler::process(BaseMessage &message)
{
    auto *start = dynamic_cast<StartSyncVideoMessage *>(&message);
    if (message.type() != StartSyncVideoMessage::messageType || !start) {
        writeTypeLine("StartSyncVideoHandler: can not process message with type: ", message.type());
        return;
    }
    writeTypeLine("StartSyncvideomessage ", message.type());
    // The sink refuses names that would land outside the working directory.
    m_dispatcher->videoSink()->openFile(BaseMessage::decodeText(start->fileName()));
}
