#pragma once

#include <QLoggingCategory>

// Log category "hazard.content": the situation library, the contest and the
// content database. Debug lines are off unless enabled, e.g.
// QT_LOGGING_RULES="hazard.content.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcContent)
