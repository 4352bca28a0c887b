#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Passes a past examination's result text on.
class ReviewContestHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit ReviewContestHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
