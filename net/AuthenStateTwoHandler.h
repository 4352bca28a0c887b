#pragma once

#include "BaseHandler.h"

// Challenge answers are the station's own; receiving one needs no action.
class AuthenStateTwoHandler : public BaseHandler
{
public:
    void process(BaseMessage &message) override;
};
