#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Passes the server's entry verdict and the candidate's identity on.
class EnterResponseHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit EnterResponseHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
