#pragma once

#include "BaseHandler.h"

// Confirmations are the station's own; receiving one needs no action.
class InfoConfirmHandler : public BaseHandler
{
public:
    void process(BaseMessage &message) override;
};
