#pragma once

#include <QLoggingCategory>

// Log category "hazard.app": the station's entry point and shared utilities.
// Debug lines are off unless enabled, e.g.
// QT_LOGGING_RULES="hazard.app.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcApp)
