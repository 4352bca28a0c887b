#pragma once

#include "BaseHandler.h"

// Result uploads are the station's own; receiving one needs no action.
class ContestResultHandler : public BaseHandler
{
public:
    void process(BaseMessage &message) override;
};
