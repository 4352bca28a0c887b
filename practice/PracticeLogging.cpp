#include "PracticeLogging.h"

Q_LOGGING_CATEGORY(lcPractice, "hazard.practice", QtInfoMsg)
