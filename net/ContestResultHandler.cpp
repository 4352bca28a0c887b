#include "ContestResultHandler.h"

void ContestResultHandler::process(BaseMessage &)
{
}
