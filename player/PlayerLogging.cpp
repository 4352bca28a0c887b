#include "PlayerLogging.h"

Q_LOGGING_CATEGORY(lcPlayer, "hazard.player", QtInfoMsg)
