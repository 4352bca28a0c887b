#include "ContestEnterHandler.h"

void ContestEnterHandler::process(BaseMessage &)
{
}
