#pragma once

#include <QLoggingCategory>

// Log category "hazard.practice": the learner's progress file and the
// practice program. Debug lines are off unless enabled, e.g.
// QT_LOGGING_RULES="hazard.practice.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcPractice)
