#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Commits the pushed file.
class EndSyncVideoHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit EndSyncVideoHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
