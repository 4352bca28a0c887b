#pragma once

#include <QLoggingCategory>

// Log category "hazard.server": the examination server, whose exchanges are
// what a centre's operator reads. Debug lines are off unless enabled, e.g.
// QT_LOGGING_RULES="hazard.server.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcServer)
