#pragma once

#include "CandidateRecord.h"
#include "CourseRecord.h"
#include "ResultRecord.h"

#include <QString>

// One page of the result sheets: a candidate and the latest of their results
// in a course.
struct SheetPage
{
    CandidateRecord candidate;
    CourseRecord course;
    ResultRecord result;
    int attempt = 1; // how many results the candidate has in the course
    QString centre;  // empty: not printed
};
