#include "ResultListing.h"

#include "Constants.h"
#include "CsvTable.h"

#include <QTextStream>

QString ResultListing::csv(const QList<ResultRecord> &results)
{
    QString text;
    QTextStream out(&text);
    out << CsvTable::line({QStringLiteral("id"), QStringLiteral("received_at"), QStringLiteral("course"),
                           QStringLiteral("number"), QStringLiteral("pid"), QStringLiteral("name"),
                           QStringLiteral("class"), QStringLiteral("total"), QStringLiteral("pass_score"),
                           QStringLiteral("passed"), QStringLiteral("detail"), QStringLiteral("station"),
                           QStringLiteral("centre")})
        << "\n";
    const QStringList classes = Constants::licenceClasses();
    for (const ResultRecord &r : results) {
        QStringList fields{QString::number(r.id), r.receivedAt.toString(Qt::ISODate), r.courseCode,
                           r.candidateNumber, r.candidatePid, r.candidateName,
                           classes.value(r.licenceClass), QString::number(r.total),
                           QString::number(r.passScore), QString::number(r.passed ? 1 : 0), r.detail,
                           r.station, r.centre};
        // Names and numbers come from registrations and imports; opened in a
        // spreadsheet, none of them may run as a formula.
        for (QString &field : fields)
            field = CsvTable::formulaSafe(field);
        out << CsvTable::line(fields) << "\n";
    }
    out.flush();
    return text;
}

QString ResultListing::text(const QList<ResultRecord> &results)
{
    if (results.isEmpty())
        return QStringLiteral("no results stored\n");
    QString text;
    QTextStream out(&text);
    const QStringList classes = Constants::licenceClasses();
    for (const ResultRecord &r : results) {
        out << "#" << r.id << "  " << r.receivedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            << "  course " << r.courseCode << "  number " << r.candidateNumber << "  " << r.candidateName << " ("
            << classes.value(r.licenceClass) << ")  " << r.total << "/50  "
            << (r.passed ? "passed" : "not passed") << " (pass mark " << r.passScore << ")\n"
            << "    " << r.detail << (r.station.isEmpty() ? QString() : QStringLiteral("  from ") + r.station)
            << "\n";
    }
    out.flush();
    return text;
}
