#include "HandlerFactory.h"

#include "AuthenStateOneHandler.h"
#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoHandler.h"
#include "AuthenStateTwoMessage.h"
#include "BaseMessage.h"
#include "ConsoleLine.h"
#include "ContestEnterHandler.h"
#include "ContestEnterMessage.h"
#include "ContestNameHandler.h"
#include "ContestNameMessage.h"
#include "ContestResultHandler.h"
#include "ContestResultMessage.h"
#include "EndSyncVideoHandler.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseHandler.h"
#include "EnterResponseMessage.h"
#include "InfoConfirmHandler.h"
#include "InfoConfirmMessage.h"
#include "ReviewContestHandler.h"
#include "ReviewMessage.h"
#include "StartSyncVideoHandler.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoHandler.h"
#include "SyncVideoMessage.h"

HandlerFactory *HandlerFactory::instance()
{
    static HandlerFactory factory;
    return &factory;
}

std::unique_ptr<BaseHandler> HandlerFactory::createHandler(int type) const
{
    switch (type) {
    case StartSyncVideoMessage::messageType:
        return std::make_unique<StartSyncVideoHandler>();
    case SyncVideoMessage::messageType:
        return std::make_unique<SyncVideoHandler>();
    case EndSyncVideoMessage::messageType:
        return std::make_unique<EndSyncVideoHandler>();
    case ContestEnterMessage::plainType:
    case ContestEnterMessage::encryptedType:
        return std::make_unique<ContestEnterHandler>();
    case EnterResponseMessage::plainType:
    case EnterResponseMessage::encryptedType:
        return std::make_unique<EnterResponseHandler>();
    case ContestResultMessage::plainType:
    case ContestResultMessage::encryptedType:
        return std::make_unique<ContestResultHandler>();
    case InfoConfirmMessage::plainType:
    case InfoConfirmMessage::encryptedType:
        return std::make_unique<InfoConfirmHandler>();
    case ContestNameMessage::messageType:
        return std::make_unique<ContestNameHandler>();
    case ReviewMessage::messageType:
        return std::make_unique<ReviewContestHandler>();
    case AuthenStateOneMessage::messageType:
        return std::make_unique<AuthenStateOneHandler>();
    case AuthenStateTwoMessage::messageType:
        return std::make_unique<AuthenStateTwoHandler>();
    default:
        return nullptr;
    }
}

void HandlerFactory::dispatchToHandler(BaseMessage &message)
{
    std::unique_ptr<BaseHandler> handler = instance()->createHandler(message.type());
    if (!handler) {
        ConsoleLine::write("Create handler failed. Message type = "
                           + QByteArray::number(message.type()));
        return;
    }
    handler->process(message);
}
