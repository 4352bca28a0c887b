#pragma once

#include "BaseHandler.h"

class InputDispatcher;

// Passes the server's course lists on; the station's own request form is ignored.
class ContestNameHandler : public BaseHandler
{
public:
    // A null dispatcher means the process-wide one.
    explicit ContestNameHandler(InputDispatcher *dispatcher = nullptr);

    void process(BaseMessage &message) override;

private:
    InputDispatcher *m_dispatcher;
};
