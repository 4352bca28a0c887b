#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Opens the file that the server is about to push.
class StartSyncVideoHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit StartSyncVideoHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
