#include "ContestNameHandler.h"

#include "ContestNameMessage.h"
#include "InputDispatcher.h"

ContestNameHandler::ContestNameHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void ContestNameHandler::process(BaseMessage &message)
{
    auto *names = dynamic_cast<ContestNameMessage *>(&message);
    if (message.type() != ContestNameMessage::messageType || !names) {
        writeTypeLine("ContestNameHandler: can not process message with type: ", message.type());
        return;
    }
    // Only the server's answer carries lists; a request echoed back is not one.
    if (names->isResponse() != 1)
        return;
    const QByteArray code = names->contestCode();
    const QByteArray name = names->contestName();
    m_dispatcher->onContestName(code.constData(), code.size(), name.constData(), name.size());
}
