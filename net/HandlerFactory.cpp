#include "HandlerFactory.h"

#include "AuthenStateOneHandler.h"
#include "AuthenStateTwoHandler.h"
#include "BaseMessage.h"
#include "ConsoleLine.h"
#include "ContestEnterHandler.h"
#include "ContestNameHandler.h"
#include "ContestResultHandler.h"
#include "EndSyncVideoHandler.h"
#include "EnterResponseHandler.h"
#include "InfoConfirmHandler.h"
#include "ReviewContestHandler.h"
#include "StartSyncVideoHandler.h"
#include "SyncVideoHandler.h"

HandlerFactory *HandlerFactory::instance()
{
    static HandlerFactory factory;
    return &factory;
}

std::unique_ptr<BaseHandler> HandlerFactory::createHandler(int type) const
{
    switch (type) {
    case 1:
        return std::make_unique<StartSyncVideoHandler>();
    case 2:
        return std::make_unique<SyncVideoHandler>();
    case 3:
        return std::make_unique<EndSyncVideoHandler>();
    case 4:
    case 100:
        return std::make_unique<ContestEnterHandler>();
    case 5:
    case 101:
        return std::make_unique<EnterResponseHandler>();
    case 6:
    case 102:
        return std::make_unique<ContestResultHandler>();
    case 7:
    case 103:
        return std::make_unique<InfoConfirmHandler>();
    case 8:
        return std::make_unique<ContestNameHandler>();
    case 9:
        return std::make_unique<ReviewContestHandler>();
    case 10:
        return std::make_unique<AuthenStateOneHandler>();
    case 11:
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
