#pragma once

#include "BaseMessage.h"

// Closes a file push; it has no payload.
class EndSyncVideoMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 3;

    EndSyncVideoMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;
};
