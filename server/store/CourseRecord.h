#pragma once

#include <QString>

// One course that stations may examine in.
struct CourseRecord
{
    QString code;
    QString name;
};
