#include "SheetPages.h"

#include "ResultFilter.h"
#include "ServerStore.h"

#include <QHash>

namespace {

// False when the lookup failed or found nothing, with the reason.
bool found(ServerStore::Lookup lookup, const ServerStore &store, const QString &missing, QString *why)
{
    if (lookup != ServerStore::Lookup::Found)
        *why = lookup == ServerStore::Lookup::Missing ? missing : store.lastError();
    return lookup == ServerStore::Lookup::Found;
}

} // namespace

bool SheetPages::collect(ServerStore &store, const QString &course, const QString &number,
                         QList<SheetPage> *pages, QString *why)
{
    CourseRecord courseRecord;
    if (!found(store.course(course, &courseRecord), store, QStringLiteral("no course %1").arg(course), why))
        return false;
    QList<CandidateRecord> candidates;
    ResultFilter filter;
    filter.courseCode = course;
    if (!number.isNull()) {
        CandidateRecord c;
        if (!found(store.candidate(course, number, &c), store,
                   QStringLiteral("no candidate %1 in course %2").arg(number, course), why))
            return false;
        candidates.append(c);
        filter.candidateId = c.id;
    } else if (!store.candidatesOfCourse(course, &candidates)) {
        *why = store.lastError();
        return false;
    }
    QList<ResultRecord> results;
    if (!store.resultsMatching(filter, &results)) {
        *why = store.lastError();
        return false;
    }
    // Oldest first: the last one of a candidate is the one to print.
    QHash<int, ResultRecord> latest;
    QHash<int, int> attempts;
    for (const ResultRecord &r : qAsConst(results)) {
        latest.insert(r.candidateId, r);
        ++attempts[r.candidateId];
    }
    pages->clear();
    for (const CandidateRecord &c : qAsConst(candidates)) {
        if (!latest.contains(c.id))
            continue;
        SheetPage page;
        page.candidate = c;
        page.course = courseRecord;
        page.result = latest.value(c.id);
        page.attempt = attempts.value(c.id);
        page.centre = page.result.centre;
        pages->append(page);
    }
    if (!pages->isEmpty())
        return true;
    *why = number.isNull() ? QStringLiteral("no candidate of course %1 has a stored result").arg(course)
                            : QStringLiteral("candidate %1 has no stored result in course %2").arg(number, course);
    return false;
}
