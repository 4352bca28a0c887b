#pragma once

#include <QString>

// One situation of a composed contest laid on the contest timeline:
// milliseconds from the start of the first count-down clip.
struct DangerItem
{
    int windowStart = 0;
    int windowEnd = 0;
    QString windowStartText;
    QString windowEndText;
    int spanStart = 0;
    int spanEnd = 0;
    bool flagged = false;
    // 0 means no flag.
    qint64 flagTime = 0;
    int score = 0;
};
