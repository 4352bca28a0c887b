#include "AppLogging.h"

Q_LOGGING_CATEGORY(lcApp, "hazard.app", QtInfoMsg)
