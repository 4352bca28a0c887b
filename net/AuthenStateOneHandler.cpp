#include "AuthenStateOneHandler.h"

#include "AuthenStateOneMessage.h"
#include "InputDispatcher.h"

AuthenStateOneHandler::AuthenStateOneHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void AuthenStateOneHandler::process(BaseMessage &message)
{
    auto *challenge = dynamic_cast<AuthenStateOneMessage *>(&message);
    if (message.type() != AuthenStateOneMessage::messageType || !challenge) {
        writeTypeLine("AuthenStateOneHandler: can not process message with type: ", message.type());
        return;
    }
    m_dispatcher->onAuthenStateOne(challenge->nonce());
}
