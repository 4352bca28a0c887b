#include "ServerCli.h"

#include "CandidateImport.h"
#include "ControlChannel.h"
#include "ExamServer.h"
#include "SignalWatcher.h"
#include "Constants.h"
#include "CsvTable.h"
#include "ResultDetail.h"
#include "ServerLogging.h"
#include "ServerStore.h"
#include "SheetPage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QHostAddress>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <cstdio>

namespace {

const char defaultDatabase[] = "./hazard-server.db";

QCommandLineOption dbOption()
{
    return QCommandLineOption(QStringList{QStringLiteral("db")},
                              QStringLiteral("The server database: an SQLite file (default %1) or "
                                             "postgresql://USER@HOST:PORT/DBNAME, whose password comes from "
                                             "PGPASSWORD or a pgpass file.")
                                  .arg(QLatin1String(defaultDatabase)),
                              QStringLiteral("PATH|URL"));
}

// Which running server push and status reach: the one serving the SQLite
// file, or on a PostgreSQL database that several servers share, the one
// listening on the port.
QCommandLineOption portOption()
{
    return QCommandLineOption(QStringLiteral("port"),
                              QStringLiteral("With a PostgreSQL database: the port of the server to reach "
                                             "(default 6886)."),
                              QStringLiteral("PORT"), QStringLiteral("6886"));
}

QString statesHelp()
{
    return QStringLiteral(
        "Candidate states, and the answer a station gets when it enters the candidate:\n"
        "  ready              0   admitted to the examination\n"
        "  examined           2   may review the stored result (-1 when none is stored)\n"
        "  theory-not-passed  5   has not passed the theory test yet\n"
        "  not-required       6   does not take the simulation test\n"
        "Whatever the state: 1 for a number that is not registered in the chosen\n"
        "course, 3 while another station is examining the same candidate, -1 when the\n"
        "database fails. A stored result moves a ready candidate to examined; the\n"
        "set-state command moves a candidate by hand (e.g. back to ready for a re-sit).\n");
}

QString unknownState(const QString &name)
{
    return QStringLiteral("unknown state %1; states: %2").arg(name, CandidateState::names().join(QStringLiteral(", ")));
}

// The first of the options that is not given, or an empty text.
QString missingOption(const QCommandLineParser &parser, std::initializer_list<QCommandLineOption> required)
{
    for (const QCommandLineOption &option : required) {
        if (!parser.isSet(option))
            return option.names().first();
    }
    return QString();
}

// False when the lookup failed or found nothing, with the reason.
bool found(ServerStore::Lookup lookup, const ServerStore &store, const QString &missing, QString *why)
{
    if (lookup != ServerStore::Lookup::Found)
        *why = lookup == ServerStore::Lookup::Missing ? missing : store.lastError();
    return lookup == ServerStore::Lookup::Found;
}

QCommandLineOption courseOption(const QString &help)
{
    return QCommandLineOption(QStringLiteral("course"), help, QStringLiteral("CODE"));
}

QString licenceHelp()
{
    return QStringLiteral("Licence classes: %1 (or their codes 0..9).")
        .arg(Constants::licenceClasses().join(QLatin1Char(' ')));
}

} // namespace

ServerCli::ServerCli()
    : m_out(stdout)
    , m_err(stderr)
{
    m_out.setCodec("UTF-8");
    m_err.setCodec("UTF-8");
}

QString ServerCli::generalHelp() const
{
    return QStringLiteral(
               "Usage: hazard-server [--db PATH] COMMAND [options]\n"
               "\n"
               "The examination server for hazard-station: it keeps courses, candidates and\n"
               "results in an SQLite database and answers the stations over TCP.\n"
               "\n"
               "Commands:\n"
               "  init                      create the database\n"
               "  add-course CODE NAME      open a course for examination\n"
               "  add-candidate [options]   register a candidate for a course\n"
               "  set-state COURSE NUMBER STATE   change a candidate's state\n"
               "  import FILE.csv           register candidates from a CSV file\n"
               "  add-result COURSE NUMBER DETAIL   store a result as a station would\n"
               "  candidates [--course C]   list registered candidates\n"
               "  results [--csv] [--course C] [--from DAY] [--to DAY]   list stored results\n"
               "  sheet --course C [--number N] --out FILE.pdf   print result sheets (PDF)\n"
               "  serve [--listen HOST:PORT]   answer stations (default 127.0.0.1:6886)\n"
               "  push FILE NAME            send a file to every station connected to the\n"
               "                            running server, stored there as NAME\n"
               "  status                    stations connected to the running server\n"
               "\n"
               "Options:\n"
               "  --db PATH    the database: an SQLite file (default %1)\n"
               "  --db postgresql://USER@HOST:PORT/DBNAME\n"
               "               a PostgreSQL database that several servers may share;\n"
               "               the password comes from PGPASSWORD or a pgpass file\n"
               "  -h, --help   this text; COMMAND --help describes one command\n"
               "\n")
               .arg(QLatin1String(defaultDatabase))
        + statesHelp();
}

int ServerCli::failure(const QString &text)
{
    m_err << "hazard-server: " << text << "\n";
    m_err.flush();
    return 1;
}

int ServerCli::usageError(const QString &text)
{
    failure(text);
    return 2;
}

int ServerCli::parse(QCommandLineParser &parser, const QStringList &args, const QString &command,
                     const QString &description, int positionals)
{
    parser.setApplicationDescription(description);
    parser.addOption(dbOption());
    parser.addHelpOption();
    if (!parser.parse(args))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QString help = parser.helpText();
        // Name the command in the usage line, which otherwise shows only
        // the program.
        help.replace(QRegularExpression(QStringLiteral("^Usage: (\\S+)")),
                     QStringLiteral("Usage: hazard-server ") + command);
        m_out << help;
        m_out.flush();
        return -1;
    }
    if (parser.isSet(QStringLiteral("db")))
        m_db = parser.value(QStringLiteral("db"));
    if (positionals >= 0 && parser.positionalArguments().size() != positionals)
        return usageError(QStringLiteral("%1 takes %2 argument(s); see: hazard-server %1 --help")
                              .arg(command)
                              .arg(positionals));
    return 0;
}

QString ServerCli::controlKey(const QString &database, quint16 port)
{
    return QStringLiteral("%1 port %2").arg(database).arg(port);
}

bool ServerCli::controlKeyFor(const QCommandLineParser &parser, QString *key)
{
    if (!ServerStore::isPostgresLocation(m_db)) {
        *key = m_db;
        return true;
    }
    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        usageError(QStringLiteral("--port wants a port number"));
        return false;
    }
    // The same text the server derived from its opened store.
    *key = controlKey(ServerStore::shownLocation(m_db), quint16(port));
    return true;
}

bool ServerCli::openStore(ServerStore &store)
{
    if (store.open(m_db, ServerStore::OpenMode::MustExist))
        return true;
    failure(store.lastError());
    return false;
}

bool ServerCli::findCandidate(ServerStore &store, const QString &course, const QString &number,
                              CandidateRecord *candidate)
{
    QString why;
    if (found(store.candidate(course, number, candidate), store,
              QStringLiteral("no candidate %1 in course %2").arg(number, course), &why))
        return true;
    failure(why);
    return false;
}

int ServerCli::run(const QStringList &arguments)
{
    m_db = QString::fromLatin1(defaultDatabase);
    QStringList rest = arguments.mid(1);
    // --db and --help may come before the command.
    while (!rest.isEmpty() && rest.first().startsWith(QLatin1Char('-'))) {
        const QString option = rest.takeFirst();
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            m_out << generalHelp();
            m_out.flush();
            return 0;
        }
        if (option == QLatin1String("--db") && !rest.isEmpty()) {
            m_db = rest.takeFirst();
        } else if (option.startsWith(QLatin1String("--db="))) {
            m_db = option.mid(5);
        } else {
            return usageError(QStringLiteral("unknown option %1; see: hazard-server --help").arg(option));
        }
    }
    if (rest.isEmpty()) {
        m_err << generalHelp();
        m_err.flush();
        return 2;
    }
    const QString command = rest.takeFirst();
    // The parser wants a program name in front of the arguments.
    rest.prepend(QStringLiteral("hazard-server"));

    const struct
    {
        const char *name;
        int (ServerCli::*run)(const QStringList &);
    } commands[] = {
        {"init", &ServerCli::init},
        {"add-course", &ServerCli::addCourse},
        {"add-candidate", &ServerCli::addCandidate},
        {"set-state", &ServerCli::setState},
        {"import", &ServerCli::import},
        {"add-result", &ServerCli::addResult},
        {"candidates", &ServerCli::candidates},
        {"results", &ServerCli::results},
        {"serve", &ServerCli::serve},
        {"push", &ServerCli::push},
        {"status", &ServerCli::status},
        {"sheet", &ServerCli::sheet},
    };
    for (const auto &c : commands) {
        if (command != QLatin1String(c.name))
            continue;
        const int exitStatus = (this->*c.run)(rest);
        m_out.flush();
        m_err.flush();
        return exitStatus < 0 ? 0 : exitStatus;
    }
    return usageError(QStringLiteral("unknown command %1; see: hazard-server --help").arg(command));
}

QString ServerCli::commandOf(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QLatin1Char('-')))
            return argument;
        if (argument == QLatin1String("--db"))
            ++i;
    }
    return QString();
}

int ServerCli::init(const QStringList &args)
{
    QCommandLineParser parser;
    if (const int s = parse(parser, args, QStringLiteral("init"),
                            QStringLiteral("Create the server database, upgrade one an older hazard-server wrote, or\n"
                                           "check an existing one. A PostgreSQL database must exist and be empty\n"
                                           "(createdb) before its tables are created."),
                            0))
        return s;
    ServerStore store;
    if (!store.open(m_db, ServerStore::OpenMode::CreateIfMissing))
        return failure(store.lastError());
    const QString where = store.isShared() ? store.path() : QFileInfo(m_db).absoluteFilePath();
    m_out << (store.created() ? "database created: " : "database ready: ") << where << "\n";
    return 0;
}

int ServerCli::addCourse(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("CODE"), QStringLiteral("The course code stations send back."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The name operators pick from."));
    if (const int s = parse(parser, args, QStringLiteral("add-course"),
                            QStringLiteral("Open a course for examination. Codes and names cannot hold ';'."), 2))
        return s;
    ServerStore store;
    if (!openStore(store))
        return 1;
    const CourseRecord course{parser.positionalArguments().at(0), parser.positionalArguments().at(1)};
    if (!store.addCourse(course))
        return failure(store.lastError());
    m_out << "course added: " << course.code.trimmed() << " " << course.name.trimmed() << "\n";
    return 0;
}

int ServerCli::addCandidate(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption course = courseOption(QStringLiteral("Course code."));
    const QCommandLineOption number(QStringLiteral("number"), QStringLiteral("Candidate number."),
                                    QStringLiteral("NUMBER"));
    const QCommandLineOption licence(QStringLiteral("class"), QStringLiteral("Licence class. ") + licenceHelp(),
                                     QStringLiteral("CLASS"));
    const QCommandLineOption pid(QStringLiteral("pid"), QStringLiteral("Identity card number."), QStringLiteral("PID"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Full name."), QStringLiteral("NAME"));
    const QCommandLineOption photo(QStringLiteral("photo"),
                                   QStringLiteral("Photo file (JPEG or PNG, up to about 47 KiB), sent as Base64."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption state(QStringLiteral("state"),
                                   QStringLiteral("Initial state (default ready): ")
                                       + CandidateState::names().join(QStringLiteral(", ")) + QLatin1Char('.'),
                                   QStringLiteral("STATE"));
    const QCommandLineOption id(QStringLiteral("id"), QStringLiteral("Candidate id (default: the next free one)."),
                                QStringLiteral("ID"));
    parser.addOptions({course, number, licence, pid, name, photo, state, id});
    if (const int s = parse(parser, args, QStringLiteral("add-candidate"),
                            QStringLiteral("Register a candidate for a course.\n\n") + statesHelp(), 0))
        return s;
    if (const QString missing = missingOption(parser, {course, number, licence, pid, name}); !missing.isEmpty())
        return usageError(QStringLiteral("add-candidate needs --%1").arg(missing));
    CandidateRecord c;
    c.courseCode = parser.value(course);
    c.number = parser.value(number).trimmed();
    c.pid = parser.value(pid).trimmed();
    c.fullName = parser.value(name).trimmed();
    if (!CandidateImport::parseLicenceClass(parser.value(licence), &c.licenceClass))
        return usageError(QStringLiteral("unknown licence class %1. ").arg(parser.value(licence)) + licenceHelp());
    if (parser.isSet(state) && !CandidateState::fromName(parser.value(state), &c.state))
        return usageError(unknownState(parser.value(state)));
    if (parser.isSet(id)) {
        bool ok = false;
        c.id = parser.value(id).toInt(&ok);
        if (!ok || c.id <= 0)
            return usageError(QStringLiteral("--id takes a positive number"));
    }
    QString why;
    if (parser.isSet(photo) && !CandidateImport::readPhoto(parser.value(photo), &c.photoBase64, &why))
        return failure(why);
    ServerStore store;
    if (!openStore(store))
        return 1;
    if (!store.addCandidate(&c))
        return failure(store.lastError());
    m_out << "candidate added: id " << c.id << ", number " << c.number << ", course " << c.courseCode << ", "
          << CandidateState::name(c.state) << "\n";
    return 0;
}

int ServerCli::setState(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("COURSE"), QStringLiteral("Course code."));
    parser.addPositionalArgument(QStringLiteral("NUMBER"), QStringLiteral("Candidate number."));
    parser.addPositionalArgument(QStringLiteral("STATE"), CandidateState::names().join(QStringLiteral(", ")));
    if (const int s = parse(parser, args, QStringLiteral("set-state"),
                            QStringLiteral("Change a candidate's state.\n\n") + statesHelp(), 3))
        return s;
    const QStringList p = parser.positionalArguments();
    CandidateState::Value state;
    if (!CandidateState::fromName(p.at(2), &state))
        return usageError(unknownState(p.at(2)));
    ServerStore store;
    if (!openStore(store))
        return 1;
    CandidateRecord c;
    if (!findCandidate(store, p.at(0), p.at(1), &c))
        return 1;
    if (!store.setCandidateState(c.id, state))
        return failure(store.lastError());
    m_out << "candidate " << c.number << " (id " << c.id << "): " << CandidateState::name(c.state) << " -> "
          << CandidateState::name(state) << "\n";
    return 0;
}

int ServerCli::import(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("CSV file, UTF-8."));
    if (const int s = parse(parser, args, QStringLiteral("import"),
                            QStringLiteral("Register candidates from a CSV file, all or none: when any row is\n"
                                           "bad, every bad row is listed and nothing is stored.\n"
                                           "The first row names the columns, in any order:\n"
                                           "  number,course,class,pid,name   required\n"
                                           "  photo,state,id                 optional\n"
                                           "photo is a file path relative to the CSV file; state defaults to ready.\n")
                                + licenceHelp() + QStringLiteral("\n\n") + statesHelp(),
                            1))
        return s;
    ServerStore store;
    if (!openStore(store))
        return 1;
    const QString path = parser.positionalArguments().first();
    QList<CandidateRecord> list;
    QList<int> lines;
    QStringList errors;
    CandidateImport::readFile(path, &list, &lines, &errors);

    // Rows that are sound on their own may still clash with the database;
    // report those too, so that one pass lists every problem.
    for (int i = 0; i < list.size(); ++i) {
        const CandidateRecord &c = list.at(i);
        CourseRecord course;
        CandidateRecord existing;
        const auto courseLookup = store.course(c.courseCode, &course);
        const auto numberLookup = store.candidate(c.courseCode, c.number, &existing);
        const auto idLookup = c.id > 0 ? store.candidateById(c.id, &existing) : ServerStore::Lookup::Missing;
        if (courseLookup == ServerStore::Lookup::Failed || numberLookup == ServerStore::Lookup::Failed
            || idLookup == ServerStore::Lookup::Failed)
        return failure(store.lastError());
        if (courseLookup == ServerStore::Lookup::Missing)
            errors.append(QStringLiteral("line %1: no course %2").arg(lines.at(i)).arg(c.courseCode));
        else if (numberLookup == ServerStore::Lookup::Found)
            errors.append(QStringLiteral("line %1: candidate %2 is already registered for course %3")
                              .arg(lines.at(i))
                              .arg(c.number, c.courseCode));
        else if (idLookup == ServerStore::Lookup::Found)
            errors.append(QStringLiteral("line %1: id %2 is taken").arg(lines.at(i)).arg(c.id));
    }
    if (!errors.isEmpty()) {
        // File order reads best; the database checks ran after the file's.
        const QRegularExpression lineNumber(QStringLiteral("^line (\\d+):"));
        std::stable_sort(errors.begin(), errors.end(), [&](const QString &a, const QString &b) {
            return lineNumber.match(a).captured(1).toInt() < lineNumber.match(b).captured(1).toInt();
        });
        for (const QString &e : errors)
            m_err << path << ": " << e << "\n";
        return failure(QStringLiteral("nothing imported (%1 bad row(s))").arg(errors.size()));
    }
    if (!store.addCandidates(&list))
        return failure(store.lastError() + QStringLiteral("; nothing imported"));
    m_out << "imported " << list.size() << " candidate(s)\n";
    return 0;
}

int ServerCli::addResult(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("COURSE"), QStringLiteral("Course code."));
    parser.addPositionalArgument(QStringLiteral("NUMBER"), QStringLiteral("Candidate number."));
    parser.addPositionalArgument(QStringLiteral("DETAIL"),
                                 QStringLiteral("Scores, flag times and situation ids, e.g.\n"
                                                "5;4;0;...|12345;40210;0;...|3;1;7;..."));
    if (const int s = parse(parser, args, QStringLiteral("add-result"),
                            QStringLiteral("Store an examination result for a ready candidate, as if a station had\n"
                                           "uploaded it: for a demonstration, or to enter a result by hand. The\n"
                                           "total is the sum of the scores, the pass mark that of the candidate's\n"
                                           "licence class; the result is checked as an upload is, and the\n"
                                           "candidate becomes examined, so that a station can review it."),
                            3))
        return s;
    const QStringList p = parser.positionalArguments();
    ResultDetail detail;
    QString why;
    if (!ResultDetail::parse(p.at(2), &detail, &why))
        return failure(QStringLiteral("bad detail: ") + why);
    ServerStore store;
    if (!openStore(store))
        return 1;
    CandidateRecord c;
    if (!findCandidate(store, p.at(0), p.at(1), &c))
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
        m_out << "the same result of candidate " << c.number << " is stored already\n";
        return 0;
    case ServerStore::Upload::Rejected:
        return failure(QStringLiteral("result refused: ") + store.lastError());
    case ServerStore::Upload::Failed:
        return failure(store.lastError());
    }
    m_out << "result stored: candidate " << c.number << " (id " << c.id << "), course " << c.courseCode << ", "
          << r.total << "/50, " << (r.passed ? "passed" : "not passed") << " (pass mark " << r.passScore
          << "); now examined\n";
    return 0;
}

int ServerCli::candidates(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption course = courseOption(QStringLiteral("Only this course."));
    parser.addOption(course);
    if (const int s = parse(parser, args, QStringLiteral("candidates"),
                            QStringLiteral("List courses and their candidates."), 0))
        return s;
    ServerStore store;
    if (!openStore(store))
        return 1;
    QList<CourseRecord> courses;
    if (!store.courses(&courses))
        return failure(store.lastError());
    const QStringList classes = Constants::licenceClasses();
    for (const CourseRecord &c : courses) {
        if (parser.isSet(course) && c.code != parser.value(course))
            continue;
        m_out << "course " << c.code << ": " << c.name << "\n";
        QList<CandidateRecord> list;
        if (!store.candidatesOfCourse(c.code, &list))
            return failure(store.lastError());
        for (const CandidateRecord &r : list) {
            m_out << "  " << r.number << "  id " << r.id << "  " << classes.value(r.licenceClass)
                  << "  " << r.fullName << "  pid " << r.pid << "  " << CandidateState::name(r.state)
                  << (r.photoBase64.isEmpty() ? "  (no photo)" : "") << "\n";
        }
    }
    return 0;
}

int ServerCli::results(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Print CSV with a header row."));
    const QCommandLineOption course = courseOption(QStringLiteral("Only this course."));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("Only results received on or after this day."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Only results received on or before this day."),
                                QStringLiteral("YYYY-MM-DD"));
    parser.addOptions({csv, course, from, to});
    if (const int s = parse(parser, args, QStringLiteral("results"),
                            QStringLiteral("Print the stored results, oldest first. The detail is the scores,\n"
                                           "flag times and situation ids, joined by '|'. Days are local time.\n"
                                           "The CSV is UTF-8; a text that a spreadsheet would take for a\n"
                                           "formula (starting with = + - @) is written with a leading '."),
                            0))
        return s;
    ResultFilter filter;
    filter.courseCode = parser.value(course);
    QDate days[2];
    const QCommandLineOption *dayOptions[2] = {&from, &to};
    for (int i = 0; i < 2; ++i) {
        if (!parser.isSet(*dayOptions[i]))
            continue;
        days[i] = QDate::fromString(parser.value(*dayOptions[i]), QStringLiteral("yyyy-MM-dd"));
        if (!days[i].isValid())
            return usageError(QStringLiteral("--%1 takes a day as YYYY-MM-DD; got %2")
                                  .arg(dayOptions[i]->names().first(), parser.value(*dayOptions[i])));
    }
    if (days[0].isValid() && days[1].isValid() && days[0] > days[1])
        return usageError(QStringLiteral("--from %1 is after --to %2").arg(parser.value(from), parser.value(to)));
    // Whole local days: from the first one's midnight to the midnight after the last.
    if (days[0].isValid())
        filter.from = QDateTime(days[0], QTime(0, 0));
    if (days[1].isValid())
        filter.until = QDateTime(days[1].addDays(1), QTime(0, 0));
    ServerStore store;
    if (!openStore(store))
        return 1;
    QList<ResultRecord> list;
    if (!store.resultsMatching(filter, &list))
        return failure(store.lastError());
    const QStringList classes = Constants::licenceClasses();
    if (parser.isSet(csv)) {
        m_out << CsvTable::line({QStringLiteral("id"), QStringLiteral("received_at"), QStringLiteral("course"),
                                 QStringLiteral("number"), QStringLiteral("pid"), QStringLiteral("name"),
                                 QStringLiteral("class"), QStringLiteral("total"), QStringLiteral("pass_score"),
                                 QStringLiteral("passed"), QStringLiteral("detail"), QStringLiteral("station"),
                                 QStringLiteral("centre")})
              << "\n";
        for (const ResultRecord &r : list) {
            QStringList fields{QString::number(r.id), r.receivedAt.toString(Qt::ISODate), r.courseCode,
                               r.candidateNumber, r.candidatePid, r.candidateName,
                               classes.value(r.licenceClass), QString::number(r.total),
                               QString::number(r.passScore), QString::number(r.passed ? 1 : 0), r.detail,
                               r.station, r.centre};
            // Names and numbers come from registrations and imports; opened in a
            // spreadsheet, none of them may run as a formula.
            for (QString &field : fields)
                field = CsvTable::formulaSafe(field);
            m_out << CsvTable::line(fields) << "\n";
        }
        return 0;
    }
    if (list.isEmpty())
        m_out << "no results stored\n";
    for (const ResultRecord &r : list) {
        m_out << "#" << r.id << "  " << r.receivedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
              << "  course " << r.courseCode << "  number " << r.candidateNumber << "  " << r.candidateName << " ("
              << classes.value(r.licenceClass) << ")  " << r.total << "/50  "
              << (r.passed ? "passed" : "not passed") << " (pass mark " << r.passScore << ")\n"
              << "    " << r.detail << (r.station.isEmpty() ? QString() : QStringLiteral("  from ") + r.station)
              << "\n";
    }
    return 0;
}

int ServerCli::serve(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address and port to listen on (default 127.0.0.1:6886). "
                                                         "HOST is an IP address, 'localhost' or '*' for all."),
                                          QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:6886"));
    const QCommandLineOption secretOption(QStringLiteral("secret"),
                                          QStringLiteral("The shared secret, 57 lowercase hexadecimal characters "
                                                         "(default: the one built into the station)."),
                                          QStringLiteral("HEX"));
    const QCommandLineOption timeoutOption(QStringLiteral("auth-timeout"),
                                           QStringLiteral("Seconds a station has to answer the challenge "
                                                          "(default 30)."),
                                           QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption centreOption(QStringLiteral("centre"),
                                          QStringLiteral("The examination centre's name, stored with each result "
                                                         "and printed on its result sheet."),
                                          QStringLiteral("NAME"));
    parser.addOptions({listenOption, secretOption, timeoutOption, centreOption});
    if (const int s = parse(parser, args, QStringLiteral("serve"),
                            QStringLiteral("Answer stations until SIGINT or SIGTERM. Every exchange is logged on\n"
                                           "standard error with the station's address. The first line on standard\n"
                                           "output names the address actually listened on. A control socket next\n"
                                           "to the database lets 'hazard-server push' reach this server.\n\n")
                                + statesHelp(),
                            0))
        return s;

    const QString listen = parser.value(listenOption);
    const int colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = colon < 0 ? 0 : listen.mid(colon + 1).toUInt(&portOk);
    QString host = colon < 0 ? QString() : listen.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (host == QLatin1String("*"))
        address = QHostAddress(QHostAddress::Any);
    else
        address = QHostAddress(host);
    if (!portOk || port > 65535 || address.isNull())
        return usageError(QStringLiteral("--listen wants HOST:PORT, e.g. 127.0.0.1:6886; got %1").arg(listen));

    QByteArray secret;
    if (parser.isSet(secretOption)) {
        secret = parser.value(secretOption).toLatin1();
        if (!QRegularExpression(QStringLiteral("^[0-9a-f]{57}$")).match(parser.value(secretOption)).hasMatch())
            return usageError(QStringLiteral("--secret must be 57 lowercase hexadecimal characters"));
    }
    bool timeoutOk = false;
    const double timeout = parser.value(timeoutOption).toDouble(&timeoutOk);
    if (!timeoutOk || timeout <= 0 || timeout > 3600)
        return usageError(QStringLiteral("--auth-timeout takes 0 < SECONDS <= 3600"));

    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-warning}warning: %{endif}"
                                      "%{if-critical}error: %{endif}%{message}"));
    const QString centre = parser.value(centreOption).trimmed();
    if (centre.contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]"))))
        return usageError(QStringLiteral("--centre cannot contain control characters"));
    ServerStore store;
    if (!openStore(store))
        return 1;
    ExamServer server(&store);
    if (!secret.isEmpty())
        server.setSecret(secret);
    server.setAuthTimeout(int(timeout * 1000));
    server.setCentre(centre);
    ControlChannel control(&server);
    QString why;
    // One server per SQLite file, refused before it takes the port; on a
    // shared database each server has a control socket for its own port.
    if (!store.isShared() && !control.listen(m_db, &why))
        return failure(why);
    if (!server.listen(address, quint16(port)))
        return failure(QStringLiteral("cannot listen on %1: %2").arg(listen, server.errorString()));
    if (store.isShared() && !control.listen(controlKey(store.path(), server.port()), &why))
        return failure(why);
    const QString shown = server.address().protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(server.address().toString())
        : server.address().toString();
    m_out << "listening on " << shown << ":" << server.port() << "\n";
    m_out.flush();

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, [](int number) {
        qCInfo(lcServer).noquote() << QStringLiteral("signal %1: stopping").arg(number);
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    server.close();
    control.close();
    qCInfo(lcServer).noquote() << QStringLiteral("stopped");
    return 0;
}

int ServerCli::push(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addOption(portOption());
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to send."));
    parser.addPositionalArgument(QStringLiteral("NAME"),
                                 QStringLiteral("The path the stations store it under, relative to their "
                                                "working folder, e.g. videos/12.mp4."));
    if (const int s = parse(parser, args, QStringLiteral("push"),
                            QStringLiteral("Send a file to every station connected to the server that is serving\n"
                                           "the database (see serve). Returns once the transfers are under way."),
                            2))
        return s;
    QString key;
    if (!controlKeyFor(parser, &key))
        return 2;
    const QString file = parser.positionalArguments().at(0);
    const QString name = parser.positionalArguments().at(1);
    QString why;
    if (!ExamServer::checkPushName(name, &why))
        return failure(name + QStringLiteral(": ") + why);
    if (!QFileInfo(file).isFile())
        return failure(QStringLiteral("no file ") + file);
    const int stations = ControlChannel::requestPush(key, file, name, &why);
    if (stations < 0)
        return failure(why);
    m_out << "pushing " << name << " (" << QFileInfo(file).size() << " bytes) to " << stations << " station(s)\n";
    return 0;
}

int ServerCli::status(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addOption(portOption());
    if (const int s = parse(parser, args, QStringLiteral("status"),
                            QStringLiteral("Ask the server that is serving the database how many stations are\n"
                                           "connected. Exit status 1 when no server is running."),
                            0))
        return s;
    QString key;
    if (!controlKeyFor(parser, &key))
        return 2;
    int stations = 0;
    int authenticated = 0;
    QString why;
    if (!ControlChannel::requestStatus(key, &stations, &authenticated, &why))
        return failure(why);
    m_out << "serving " << m_db << ": " << stations << " station(s) connected, " << authenticated
          << " past the challenge\n";
    return 0;
}

int ServerCli::sheet(const QStringList &args)
{
    QCommandLineParser parser;
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
    parser.addOptions({course, number, out, centre});
    if (const int s = parse(parser, args, QStringLiteral("sheet"),
                            QStringLiteral("Write result sheets as one A4 PDF in Vietnamese, a page per candidate\n"
                                           "in number order, for a whole course or one candidate. A candidate who\n"
                                           "sat more than once gets the latest result, marked as a re-sit. The\n"
                                           "file is replaced only once it is complete."),
                            0))
        return s;
    if (const QString missing = missingOption(parser, {course, out}); !missing.isEmpty())
        return usageError(QStringLiteral("sheet needs --%1").arg(missing));
    if (!m_sheetWriter)
        return failure(QStringLiteral("this build of hazard-server cannot print result sheets"));
    ServerStore store;
    if (!openStore(store))
        return 1;
    const QString code = parser.value(course);
    CourseRecord courseRecord;
    QString why;
    if (!found(store.course(code, &courseRecord), store, QStringLiteral("no course %1").arg(code), &why))
        return failure(why);
    QList<CandidateRecord> candidates;
    ResultFilter filter;
    filter.courseCode = code;
    if (parser.isSet(number)) {
        CandidateRecord c;
        if (!findCandidate(store, code, parser.value(number), &c))
            return 1;
        candidates.append(c);
        filter.candidateId = c.id;
    } else if (!store.candidatesOfCourse(code, &candidates)) {
        return failure(store.lastError());
    }
    QList<ResultRecord> results;
    if (!store.resultsMatching(filter, &results))
        return failure(store.lastError());
    // Oldest first: the last one of a candidate is the one to print.
    QHash<int, ResultRecord> latest;
    QHash<int, int> attempts;
    for (const ResultRecord &r : qAsConst(results)) {
        latest.insert(r.candidateId, r);
        ++attempts[r.candidateId];
    }
    QList<SheetPage> pages;
    for (const CandidateRecord &c : qAsConst(candidates)) {
        if (!latest.contains(c.id))
            continue;
        SheetPage page;
        page.candidate = c;
        page.course = courseRecord;
        page.result = latest.value(c.id);
        page.attempt = attempts.value(c.id);
        page.centre = parser.isSet(centre) ? parser.value(centre).trimmed() : page.result.centre;
        pages.append(page);
    }
    if (pages.isEmpty()) {
        if (parser.isSet(number))
            return failure(
                QStringLiteral("candidate %1 has no stored result in course %2").arg(parser.value(number), code));
        return failure(QStringLiteral("no candidate of course %1 has a stored result").arg(code));
    }
    const QString path = parser.value(out);
    if (!m_sheetWriter(pages, path, &why))
        return failure(why);
    m_out << "sheet written: " << path << " (" << pages.size() << " page(s))\n";
    return 0;
}
