#pragma once

#include "ContestNameMessage.h"
#include "EnterResponseMessage.h"

#include <QList>

class ContestResultMessage;
class QString;
struct CandidateRecord;
struct CourseRecord;
struct ResultRecord;

// The server's records as a station sees them, and a station's upload as the
// store keeps it. The session decides what to send; this is only the form.
class StationMessages
{
public:
    // A refusal tells nothing about anyone; only an admission (code 0) or a
    // review (code 2) names the candidate.
    static EnterResponseMessage entryRefusal(int code);
    static EnterResponseMessage entryNaming(int code, const CandidateRecord &candidate);
    static ContestNameMessage courseList(const QList<CourseRecord> &courses);
    static ResultRecord result(const ContestResultMessage &upload, const QString &station, const QString &centre);
};
