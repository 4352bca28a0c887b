#include "UiLogging.h"

Q_LOGGING_CATEGORY(lcUi, "hazard.ui", QtInfoMsg)
