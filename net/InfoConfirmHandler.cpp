#include "InfoConfirmHandler.h"

void InfoConfirmHandler::process(BaseMessage &)
{
}
