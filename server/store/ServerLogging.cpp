#include "ServerLogging.h"

Q_LOGGING_CATEGORY(lcServer, "hazard.server", QtInfoMsg)
