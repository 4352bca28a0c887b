#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Passes the server's key-exchange challenge on.
class AuthenStateOneHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit AuthenStateOneHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
