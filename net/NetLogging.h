#pragma once

#include <QLoggingCategory>

// Log category "hazard.net": the server link (transport, frames, handlers,
// session, result outbox). Debug lines are off unless enabled, e.g.
// QT_LOGGING_RULES="hazard.net.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcNet)
