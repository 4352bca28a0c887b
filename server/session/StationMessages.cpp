#include "StationMessages.h"

#include "CandidateRecord.h"
#include "ContestResultMessage.h"
#include "CourseRecord.h"
#include "ResultRecord.h"

#include <QStringList>

EnterResponseMessage StationMessages::entryRefusal(int code)
{
    EnterResponseMessage answer(true);
    answer.setCode(code);
    return answer;
}

EnterResponseMessage StationMessages::entryNaming(int code, const CandidateRecord &candidate)
{
    EnterResponseMessage answer = entryRefusal(code);
    answer.setCert(candidate.licenceClass);
    answer.setId(candidate.id);
    answer.setPid(candidate.pid.toUtf8());
    answer.setFullName(candidate.fullName.toUtf8());
    answer.setImage(candidate.photoBase64.toUtf8());
    return answer;
}

ContestNameMessage StationMessages::courseList(const QList<CourseRecord> &courses)
{
    QStringList codes;
    QStringList names;
    for (const CourseRecord &c : courses) {
        codes.append(c.code);
        names.append(c.name);
    }
    ContestNameMessage answer;
    answer.setIsResponse(1);
    answer.setContestCode(codes.join(QLatin1Char(';')).toUtf8());
    answer.setContestName(names.join(QLatin1Char(';')).toUtf8());
    return answer;
}

ResultRecord StationMessages::result(const ContestResultMessage &upload, const QString &station, const QString &centre)
{
    ResultRecord result;
    result.candidateId = upload.candidateId();
    result.courseCode = BaseMessage::decodeText(upload.contestCode());
    result.total = upload.totalScore();
    result.passScore = upload.passScore();
    result.passed = upload.passed() != 0;
    result.detail = BaseMessage::decodeText(upload.detail());
    result.station = station;
    result.centre = centre;
    return result;
}
