#include "RecordChecks.h"

#include "Constants.h"
#include "ResultDetail.h"
#include "ServerStore.h"

namespace {

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// The situations of one examination.
int situationCount()
{
    int count = 0;
    for (const int n : Constants::contestStructure())
        count += n;
    return count;
}

bool refuse(QString *why, const QString &reason)
{
    *why = reason;
    return false;
}

} // namespace

bool RecordChecks::checkCourse(const CourseRecord &course, QString *why)
{
    if (course.code.trimmed().isEmpty())
        return refuse(why, QStringLiteral("the course code is empty"));
    if (course.name.trimmed().isEmpty())
        return refuse(why, QStringLiteral("the course name is empty"));
    // Stations receive the codes and names as ";"-joined lists.
    if (course.code.contains(QLatin1Char(';')) || course.name.contains(QLatin1Char(';')))
        return refuse(why, QStringLiteral("course codes and names cannot contain ';'"));
    if (hasControlCharacters(course.code) || hasControlCharacters(course.name))
        return refuse(why, QStringLiteral("course codes and names cannot contain control characters"));
    return true;
}

bool RecordChecks::checkCandidate(const CandidateRecord &c, QString *why)
{
    if (c.id < 0)
        return refuse(why, QStringLiteral("the id must be a positive number"));
    if (c.number.trimmed().isEmpty())
        return refuse(why, QStringLiteral("the candidate number is empty"));
    if (c.number.trimmed() != c.number || hasControlCharacters(c.number))
        return refuse(why, QStringLiteral("the candidate number has surrounding blanks or control characters"));
    if (c.courseCode.trimmed().isEmpty())
        return refuse(why, QStringLiteral("the course code is empty"));
    if (c.licenceClass < 0 || c.licenceClass >= Constants::licenceClassCount)
        return refuse(why, QStringLiteral("the licence class must be 0..%1 (%2)")
                               .arg(Constants::licenceClassCount - 1)
                               .arg(Constants::licenceClasses().join(QStringLiteral(", "))));
    if (c.fullName.trimmed().isEmpty())
        return refuse(why, QStringLiteral("the full name is empty"));
    if (c.pid.trimmed().isEmpty())
        return refuse(why, QStringLiteral("the identity number is empty"));
    if (!c.photoBase64.isEmpty()) {
        const QByteArray bytes = c.photoBase64.toLatin1();
        if (QByteArray::fromBase64(bytes, QByteArray::AbortOnBase64DecodingErrors).isEmpty()
            || QString::fromLatin1(bytes) != c.photoBase64)
            return refuse(why, QStringLiteral("the photo is not Base64 text"));
    }
    const int identityBytes = c.pid.toUtf8().size() + c.fullName.toUtf8().size() + c.photoBase64.toUtf8().size();
    if (identityBytes > maxIdentityBytes)
        return refuse(why, QStringLiteral("identity number, name and photo take %1 bytes; one answer carries at most "
                                          "%2 (a photo file of about %3 KiB)")
                               .arg(identityBytes)
                               .arg(maxIdentityBytes)
                               .arg(maxIdentityBytes * 3 / 4 / 1024));
    return true;
}

bool RecordChecks::checkResult(const ResultRecord &r, QString *why)
{
    ResultDetail detail;
    if (!ResultDetail::parse(r.detail, &detail, why) || !detail.isComplete(situationCount(), why))
        return false;
    if (detail.total() != r.total)
        return refuse(why, QStringLiteral("the scores add up to %1, the total says %2").arg(detail.total()).arg(r.total));
    if (r.passed != (r.total >= r.passScore))
        return refuse(why, QStringLiteral("passed=%1 contradicts total %2 against pass mark %3")
                               .arg(int(r.passed))
                               .arg(r.total)
                               .arg(r.passScore));
    return true;
}

bool RecordChecks::checkUpload(const CandidateRecord &candidate, const ResultRecord &r, QString *why)
{
    if (candidate.courseCode != r.courseCode)
        return refuse(why, QStringLiteral("candidate id %1 belongs to course %2, not %3")
                               .arg(r.candidateId)
                               .arg(candidate.courseCode, r.courseCode));
    const int passMark = Constants::passScores().value(candidate.licenceClass, -1);
    if (r.passScore != passMark)
        return refuse(why, QStringLiteral("pass mark %1 is not the pass mark %2 of licence class %3")
                               .arg(r.passScore)
                               .arg(passMark)
                               .arg(Constants::licenceClasses().value(candidate.licenceClass)));
    return true;
}

bool RecordChecks::checkNewResult(const CandidateRecord &candidate, const ResultRecord &r, QString *why)
{
    if (candidate.state != CandidateState::Ready)
        return refuse(why, QStringLiteral("candidate id %1 is %2, not ready for an examination")
                               .arg(r.candidateId)
                               .arg(CandidateState::name(candidate.state)));
    return true;
}

RecordChecks::Clash RecordChecks::clashOf(ServerStore &store, const CandidateRecord &c)
{
    CourseRecord course;
    switch (store.course(c.courseCode, &course)) {
    case ServerStore::Lookup::Failed:
        return Clash::Failed;
    case ServerStore::Lookup::Missing:
        return Clash::NoCourse;
    case ServerStore::Lookup::Found:
        break;
    }
    CandidateRecord existing;
    switch (store.candidate(c.courseCode, c.number, &existing)) {
    case ServerStore::Lookup::Failed:
        return Clash::Failed;
    case ServerStore::Lookup::Found:
        return Clash::NumberTaken;
    case ServerStore::Lookup::Missing:
        break;
    }
    if (c.id <= 0)
        return Clash::None;
    switch (store.candidateById(c.id, &existing)) {
    case ServerStore::Lookup::Failed:
        return Clash::Failed;
    case ServerStore::Lookup::Found:
        return Clash::IdTaken;
    case ServerStore::Lookup::Missing:
        break;
    }
    return Clash::None;
}
