#include "NetLogging.h"

Q_LOGGING_CATEGORY(lcNet, "hazard.net", QtInfoMsg)
