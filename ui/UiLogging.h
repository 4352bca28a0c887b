#pragma once

#include <QLoggingCategory>

// Log category "hazard.ui": the station's windows and dialogs. Debug lines are
// off unless enabled, e.g. QT_LOGGING_RULES="hazard.ui.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcUi)
