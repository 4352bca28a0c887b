#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Appends one pushed chunk to the open file.
class SyncVideoHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit SyncVideoHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
