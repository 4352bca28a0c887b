#include "AuthenStateTwoHandler.h"

void AuthenStateTwoHandler::process(BaseMessage &)
{
}
