#include "EndSyncVideoMessage.h"

EndSyncVideoMessage::EndSyncVideoMessage()
    : BaseMessage(messageType, headerSize)
{
}

int EndSyncVideoMessage::serialize(char *, qint64) const
{
    return 0;
}

int EndSyncVideoMessage::parse(const char *, qint64)
{
    return 0;
}
