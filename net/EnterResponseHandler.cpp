#include "EnterResponseHandler.h"

#include "EnterResponseMessage.h"
#include "InputDispatcher.h"

EnterResponseHandler::EnterResponseHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void EnterResponseHandler::process(BaseMessage &message)
{
    auto *response = dynamic_cast<EnterResponseMessage *>(&message);
    const quint8 type = message.type();
    if ((type != EnterResponseMessage::plainType && type != EnterResponseMessage::encryptedType)
        || !response) {
        writeTypeLine("EnterResponseHandler: can not process message with type: ", type);
        return;
    }
    m_dispatcher->onEnterResponse(response->code(), response->cert(), response->id(),
                                  BaseMessage::decodeText(response->pid()), BaseMessage::decodeText(response->fullName()),
                                  BaseMessage::decodeText(response->image()));
}
