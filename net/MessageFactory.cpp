#include "MessageFactory.h"

#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EndSyncVideoMessage.h"
#include "EnterResponseMessage.h"
#include "InfoConfirmMessage.h"
#include "ReviewMessage.h"
#include "StartSyncVideoMessage.h"
#include "SyncVideoMessage.h"

MessageFactory *MessageFactory::instance()
{
    static MessageFactory factory;
    return &factory;
}

std::unique_ptr<BaseMessage> MessageFactory::createMessage(int type) const
{
    switch (type) {
    case StartSyncVideoMessage::messageType:
        return std::make_unique<StartSyncVideoMessage>();
    case SyncVideoMessage::messageType:
        return std::make_unique<SyncVideoMessage>();
    case EndSyncVideoMessage::messageType:
        return std::make_unique<EndSyncVideoMessage>();
    case ContestEnterMessage::plainType:
        return std::make_unique<ContestEnterMessage>(false);
    case EnterResponseMessage::plainType:
        return std::make_unique<EnterResponseMessage>(false);
    case ContestResultMessage::plainType:
        return std::make_unique<ContestResultMessage>(false);
    case InfoConfirmMessage::plainType:
        return std::make_unique<InfoConfirmMessage>(false);
    case ContestNameMessage::messageType:
        return std::make_unique<ContestNameMessage>();
    case ReviewMessage::messageType:
        return std::make_unique<ReviewMessage>();
    case AuthenStateOneMessage::messageType:
        return std::make_unique<AuthenStateOneMessage>();
    case AuthenStateTwoMessage::messageType:
        return std::make_unique<AuthenStateTwoMessage>();
    case ContestEnterMessage::encryptedType:
        return std::make_unique<ContestEnterMessage>(true);
    case EnterResponseMessage::encryptedType:
        return std::make_unique<EnterResponseMessage>(true);
    case ContestResultMessage::encryptedType:
        return std::make_unique<ContestResultMessage>(true);
    case InfoConfirmMessage::encryptedType:
        return std::make_unique<InfoConfirmMessage>(true);
    default:
        return nullptr;
    }
}
