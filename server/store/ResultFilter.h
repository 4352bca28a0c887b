#pragma once

#include <QDateTime>
#include <QString>

// Which stored results to list; an empty or invalid field does not narrow.
struct ResultFilter
{
    QString courseCode;
    int candidateId = 0;
    QDateTime from;  // received at or after
    QDateTime until; // received before
};
