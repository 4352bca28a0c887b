#pragma once

#include <memory>

class BaseHandler;
class BaseMessage;

// Maps a message type to a new handler of the matching class, acting through
// the process-wide InputDispatcher. Stateless and process-wide.
class HandlerFactory
{
public:
    static HandlerFactory *instance();

    // Null for a type outside the table; the caller owns the handler.
    std::unique_ptr<BaseHandler> createHandler(int type) const;

    // The station's delivery of a received message: runs the type's
    // handler on it, or reports that the type has none.
    static void dispatchToHandler(BaseMessage &message);

private:
    HandlerFactory() = default;
};
