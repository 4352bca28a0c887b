#pragma once

#include <QLoggingCategory>

// Log category "hazard.player": video decryption and playback. Debug lines are
// off unless enabled, e.g. QT_LOGGING_RULES="hazard.player.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)
