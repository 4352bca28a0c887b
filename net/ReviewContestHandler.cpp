#include "ReviewContestHandler.h"

#include "InputDispatcher.h"
#include "ReviewMessage.h"

ReviewContestHandler::ReviewContestHandler(InputDispatcher *dispatcher)
    : m_dispatcher(dispatcher ? dispatcher : InputDispatcher::instance())
{
}

void ReviewContestHandler::process(BaseMessage &message)
{
    auto *review = dynamic_cast<ReviewMessage *>(&message);
    if (message.type() != ReviewMessage::messageType || !review) {
        writeTypeLine("ReviewContestHandler: can not process message with type: ", message.type());
        return;
    }
    m_dispatcher->onReview(BaseMessage::decodeText(review->text()));
}
