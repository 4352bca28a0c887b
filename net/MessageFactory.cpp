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
    case ContestEnterMessage::encryptedType:
        return std::make_unique<ContestEnterMessage>(type == ContestEnterMessage::encryptedType);
    case EnterResponseMessage::plainType:
    case EnterResponseMessage::encryptedType:
        return std::make_unique<EnterResponseMessage>(type == EnterResponseMessage::encryptedType);
    case ContestResultMessage::plainType:
    case ContestResultMessage::encryptedType:
        return std::make_unique<ContestResultMessage>(type == ContestResultMessage::encryptedType);
    case InfoConfirmMessage::plainType:
    case InfoConfirmMessage::encryptedType:
        return std::make_unique<InfoConfirmMessage>(type == InfoConfirmMessage::encryptedType);
    case ContestNameMessage::messageType:
        return std::make_unique<ContestNameMessage>();
    case ReviewMessage::messageType:
        return std::make_unique<ReviewMessage>();
    case AuthenStateOneMessage::messageType:
        return std::make_unique<AuthenStateOneMessage>();
    case AuthenStateTwoMessage::messageType:
        return std::make_unique<AuthenStateTwoMessage>();
    default:
        return nullptr;
    }
}
