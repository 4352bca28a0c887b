#include "ContentLogging.h"

Q_LOGGING_CATEGORY(lcContent, "hazard.content", QtInfoMsg)
