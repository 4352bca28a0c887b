#pragma once

#include <memory>

class BaseMessage;

// Maps a frame's type byte to a new, empty message of the matching class:
// 1 to 11 plain, 100 to 103 the encrypted forms. Stateless and process-wide.
class MessageFactory
{
public:
    static MessageFactory *instance();

    // Null for a type outside the table; the caller owns the message.
    std::unique_ptr<BaseMessage> createMessage(int type) const;

private:
    MessageFactory() = default;
};
