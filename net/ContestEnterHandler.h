#pragma once

#include "BaseHandler.h"

// Entry requests are the station's own; receiving one needs no action.
class ContestEnterHandler : public BaseHandler
{
public:
    void process(BaseMessage &message) override;
};
