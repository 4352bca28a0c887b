#include "ResultCommands.h"

#include "CandidateState.h"
#include "CommandRegistry.h"
#include "Constants.h"
#include "ResultDetail.h"
#include "ResultFilter.h"
#include "ResultListing.h"
#include "ServerCommandContext.h"
#include "ServerStore.h"
#include "SheetPages.h"

#include <QCommandLineParser>
#include <QDate>

namespace {

QCommandLineOption courseOption(const QString &help)
{
    return QCommandLineOption(QStringLiteral("course"), help, QStringLiteral("CODE"));
}

Command addResult(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("add-result");
    command.summary = QStringLiteral("store a result as a station would upload it");
    command.description = QStringLiteral(
        "Store an examination result for a ready candidate, as if a station had\n"
        "uploaded it: for a demonstration, or to enter a result by hand. The\n"
        "total is the sum of the scores, the pass mark that of the candidate's\n"
        "licence class; the result is checked as an upload is, and the\n"
        "candidate becomes examined, so that a station can review it.");
    command.arguments = {{QStringLiteral("COURSE"), QStringLiteral("Course code.")},
                         {QStringLiteral("NUMBER"), QStringLiteral("Candidate number.")},
                         {QStringLiteral("DETAIL"), QStringLiteral("Scores, flag times and situation ids, e.g.\n"
                                                                   "5;4;0;...|12345;40210;0;...|3;1;7;...")}};
    command.run = [&context](const QCommandLineParser &parser) {
        const QStringList p = parser.positionalArguments();
        ResultDetail detail;
        QString why;
        if (!ResultDetail::parse(p.at(2), &detail, &why))
            return context.failure(QStringLiteral("bad detail: ") + why);
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        CandidateRecord c;
        if (!context.findCandidate(store, p.at(0), p.at(1), &c))
            return 1;
        ResultRecord r;
        r.candidateId = c.id;
        r.courseCode = c.courseCode;
        r.total = detail.total();
        r.passScore = Constants::passScores().value(c.licenceClass, -1);
        r.passed = r.total >= r.passScore;
        r.detail = p.at(2);
        switch (store.storeResult(r)) {
        case ServerStore::Upload::Stored:
            break;
        case ServerStore::Upload::Duplicate:
            context.out() << "the same result of candidate " << c.number << " is stored already\n";
            return 0;
        case ServerStore::Upload::Rejected:
            return context.failure(QStringLiteral("result refused: ") + store.lastError());
        case ServerStore::Upload::Failed:
            return context.failure(store.lastError());
        }
        context.out() << "result stored: candidate " << c.number << " (id " << c.id << "), course " << c.courseCode
                      << ", " << r.total << "/50, " << (r.passed ? "passed" : "not passed") << " (pass mark "
                      << r.passScore << "); now examined\n";
        return 0;
    };
    return command;
}

Command candidates(ServerCommandContext &context)
{
    const QCommandLineOption course = courseOption(QStringLiteral("Only this course."));
    Command command;
    command.name = QStringLiteral("candidates");
    command.summary = QStringLiteral("list courses and their candidates");
    command.description = QStringLiteral("List courses and their candidates.");
    command.options = {course};
    command.run = [&context, course](const QCommandLineParser &parser) {
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        QList<CourseRecord> courses;
        if (!store.courses(&courses))
            return context.failure(store.lastError());
        const QStringList classes = Constants::licenceClasses();
        for (const CourseRecord &c : qAsConst(courses)) {
            if (parser.isSet(course) && c.code != parser.value(course))
                continue;
            context.out() << "course " << c.code << ": " << c.name << "\n";
            QList<CandidateRecord> list;
            if (!store.candidatesOfCourse(c.code, &list))
                return context.failure(store.lastError());
            for (const CandidateRecord &r : qAsConst(list)) {
                context.out() << "  " << r.number << "  id " << r.id << "  " << classes.value(r.licenceClass)
                              << "  " << r.fullName << "  pid " << r.pid << "  " << CandidateState::name(r.state)
                              << (r.photoBase64.isEmpty() ? "  (no photo)" : "") << "\n";
            }
        }
        return 0;
    };
    return command;
}

Command results(ServerCommandContext &context)
{
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Print CSV with a header row."));
    const QCommandLineOption course = courseOption(QStringLiteral("Only this course."));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("Only results received on or after this day."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Only results received on or before this day."),
                                QStringLiteral("YYYY-MM-DD"));
    Command command;
    command.name = QStringLiteral("results");
    command.summary = QStringLiteral("list stored results, or write them as CSV");
    command.description = QStringLiteral("Print the stored results, oldest first. The detail is the scores,\n"
                                         "flag times and situation ids, joined by '|'. Days are local time.\n"
                                         "The CSV is UTF-8; a text that a spreadsheet would take for a\n"
                                         "formula (starting with = + - @) is written with a leading '.");
    command.options = {csv, course, from, to};
    command.run = [&context, csv, course, from, to](const QCommandLineParser &parser) {
        ResultFilter filter;
        filter.courseCode = parser.value(course);
        QDate days[2];
        const QCommandLineOption *dayOptions[2] = {&from, &to};
        for (int i = 0; i < 2; ++i) {
            if (!parser.isSet(*dayOptions[i]))
                continue;
            days[i] = QDate::fromString(parser.value(*dayOptions[i]), QStringLiteral("yyyy-MM-dd"));
            if (!days[i].isValid())
                return context.usageError(QStringLiteral("--%1 takes a day as YYYY-MM-DD; got %2")
                                              .arg(dayOptions[i]->names().first(), parser.value(*dayOptions[i])));
        }
        if (days[0].isValid() && days[1].isValid() && days[0] > days[1])
            return context.usageError(
                QStringLiteral("--from %1 is after --to %2").arg(parser.value(from), parser.value(to)));
        // Whole local days: from the first one's midnight to the midnight after the last.
        if (days[0].isValid())
            filter.from = QDateTime(days[0], QTime(0, 0));
        if (days[1].isValid())
            filter.until = QDateTime(days[1].addDays(1), QTime(0, 0));
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        QList<ResultRecord> list;
        if (!store.resultsMatching(filter, &list))
            return context.failure(store.lastError());
        context.out() << (parser.isSet(csv) ? ResultListing::csv(list) : ResultListing::text(list));
        return 0;
    };
    return command;
}

Command sheet(ServerCommandContext &context)
{
    const QCommandLineOption course = courseOption(QStringLiteral("Course code."));
    const QCommandLineOption number(QStringLiteral("number"),
                                    QStringLiteral("Only this candidate (default: every candidate of the course "
                                                   "with a stored result)."),
                                    QStringLiteral("NUMBER"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The PDF file to write."),
                                 QStringLiteral("FILE.pdf"));
    const QCommandLineOption centre(QStringLiteral("centre"),
                                    QStringLiteral("The examination centre to print (default: the one stored with "
                                                   "the result)."),
                                    QStringLiteral("NAME"));
    Command command;
    command.name = QStringLiteral("sheet");
    command.summary = QStringLiteral("print result sheets as PDF, a page per candidate");
    command.description = QStringLiteral("Write result sheets as one A4 PDF in Vietnamese, a page per candidate\n"
                                         "in number order, for a whole course or one candidate. A candidate who\n"
                                         "sat more than once gets the latest result, marked as a re-sit. The\n"
                                         "file is replaced only once it is complete.");
    command.options = {course, number, out, centre};
    command.required = QStringList{QStringLiteral("course"), QStringLiteral("out")};
    command.run = [&context, course, number, out, centre](const QCommandLineParser &parser) {
        if (!context.sheetWriter)
            return context.failure(QStringLiteral("this build of hazard-server cannot print result sheets"));
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        QList<SheetPage> pages;
        QString why;
        if (!SheetPages::collect(store, parser.value(course), parser.isSet(number) ? parser.value(number) : QString(),
                                 &pages, &why))
            return context.failure(why);
        if (parser.isSet(centre)) {
            for (SheetPage &page : pages)
                page.centre = parser.value(centre).trimmed();
        }
        const QString path = parser.value(out);
        if (!context.sheetWriter(pages, path, &why))
            return context.failure(why);
        context.out() << "sheet written: " << path << " (" << pages.size() << " page(s))\n";
        return 0;
    };
    return command;
}

} // namespace

void ResultCommands::addTo(CommandRegistry &registry, ServerCommandContext &context)
{
    registry.add(addResult(context));
    registry.add(candidates(context));
    registry.add(results(context));
    registry.add(sheet(context));
}
