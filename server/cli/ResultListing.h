#pragma once

#include "ResultRecord.h"

#include <QList>
#include <QString>

// The stored results as `hazard-server results` prints them.
class ResultListing
{
public:
    // UTF-8 CSV with a header row naming the columns, one row per result,
    // the examination centre last. A field a spreadsheet would read as a
    // formula gets a leading '.
    static QString csv(const QList<ResultRecord> &results);
    // Two lines per result for an operator, times in local time.
    static QString text(const QList<ResultRecord> &results);
};
