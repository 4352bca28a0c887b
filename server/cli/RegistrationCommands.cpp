#include "RegistrationCommands.h"

#include "CandidateImport.h"
#include "CandidateState.h"
#include "CommandRegistry.h"
#include "ServerCommandContext.h"
#include "ServerStore.h"

#include <QCommandLineParser>

namespace {

Command init(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("init");
    command.summary = QStringLiteral("create the database, or upgrade an older one");
    command.description = QStringLiteral(
        "Create the server database, upgrade one an older hazard-server wrote, or\n"
        "check an existing one. A PostgreSQL database must exist and be empty\n"
        "(createdb) before its tables are created.");
    command.run = [&context](const QCommandLineParser &parser) {
        const QString database = context.database(parser);
        ServerStore store;
        if (!store.open(database, ServerStore::OpenMode::CreateIfMissing))
            return context.failure(store.lastError());
        context.out() << (store.created() ? "database created: " : "database ready: ") << store.fullLocation()
                      << "\n";
        return 0;
    };
    return command;
}

Command addCourse(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("add-course");
    command.summary = QStringLiteral("open a course for examination");
    command.description = QStringLiteral("Open a course for examination. Codes and names cannot hold ';'.");
    command.arguments = {{QStringLiteral("CODE"), QStringLiteral("The course code stations send back.")},
                         {QStringLiteral("NAME"), QStringLiteral("The name operators pick from.")}};
    command.run = [&context](const QCommandLineParser &parser) {
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        const CourseRecord course{parser.positionalArguments().at(0), parser.positionalArguments().at(1)};
        if (!store.addCourse(course))
            return context.failure(store.lastError());
        context.out() << "course added: " << course.code.trimmed() << " " << course.name.trimmed() << "\n";
        return 0;
    };
    return command;
}

Command addCandidate(ServerCommandContext &context)
{
    const QCommandLineOption course(QStringLiteral("course"), QStringLiteral("Course code."), QStringLiteral("CODE"));
    const QCommandLineOption number(QStringLiteral("number"), QStringLiteral("Candidate number."),
                                    QStringLiteral("NUMBER"));
    const QCommandLineOption licence(QStringLiteral("class"),
                                     QStringLiteral("Licence class. ") + ServerCommandContext::licenceHelp(),
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
    Command command;
    command.name = QStringLiteral("add-candidate");
    command.summary = QStringLiteral("register a candidate for a course");
    command.description = QStringLiteral("Register a candidate for a course.\n\n") + ServerCommandContext::statesHelp();
    command.options = {course, number, licence, pid, name, photo, state, id};
    command.required = QStringList{QStringLiteral("course"), QStringLiteral("number"), QStringLiteral("class"),
                                   QStringLiteral("pid"), QStringLiteral("name")};
    command.run = [&context, course, number, licence, pid, name, photo, state, id](const QCommandLineParser &parser) {
        CandidateRecord c;
        c.courseCode = parser.value(course);
        c.number = parser.value(number).trimmed();
        c.pid = parser.value(pid).trimmed();
        c.fullName = parser.value(name).trimmed();
        if (!CandidateImport::parseLicenceClass(parser.value(licence), &c.licenceClass))
            return context.usageError(QStringLiteral("unknown licence class %1. ").arg(parser.value(licence))
                                      + ServerCommandContext::licenceHelp());
        if (parser.isSet(state) && !CandidateState::fromName(parser.value(state), &c.state))
            return context.usageError(ServerCommandContext::unknownState(parser.value(state)));
        if (parser.isSet(id)) {
            bool ok = false;
            c.id = parser.value(id).toInt(&ok);
            if (!ok || c.id <= 0)
                return context.usageError(QStringLiteral("--id takes a positive number"));
        }
        QString why;
        if (parser.isSet(photo) && !CandidateImport::readPhoto(parser.value(photo), &c.photoBase64, &why))
            return context.failure(why);
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        if (!store.addCandidate(&c))
            return context.failure(store.lastError());
        context.out() << "candidate added: id " << c.id << ", number " << c.number << ", course " << c.courseCode
                      << ", " << CandidateState::name(c.state) << "\n";
        return 0;
    };
    return command;
}

Command setState(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("set-state");
    command.summary = QStringLiteral("change a candidate's state");
    command.description = QStringLiteral("Change a candidate's state.\n\n") + ServerCommandContext::statesHelp();
    command.arguments = {{QStringLiteral("COURSE"), QStringLiteral("Course code.")},
                         {QStringLiteral("NUMBER"), QStringLiteral("Candidate number.")},
                         {QStringLiteral("STATE"), CandidateState::names().join(QStringLiteral(", "))}};
    command.run = [&context](const QCommandLineParser &parser) {
        const QStringList p = parser.positionalArguments();
        CandidateState::Value state;
        if (!CandidateState::fromName(p.at(2), &state))
            return context.usageError(ServerCommandContext::unknownState(p.at(2)));
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        CandidateRecord c;
        if (!context.findCandidate(store, p.at(0), p.at(1), &c))
            return 1;
        if (!store.setCandidateState(c.id, state))
            return context.failure(store.lastError());
        context.out() << "candidate " << c.number << " (id " << c.id << "): " << CandidateState::name(c.state)
                      << " -> " << CandidateState::name(state) << "\n";
        return 0;
    };
    return command;
}

Command import(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("import");
    command.summary = QStringLiteral("register candidates from a CSV file, all or none");
    command.description = QStringLiteral("Register candidates from a CSV file, all or none: when any row is\n"
                                         "bad, every bad row is listed and nothing is stored.\n"
                                         "The first row names the columns, in any order:\n"
                                         "  number,course,class,pid,name   required\n"
                                         "  photo,state,id                 optional\n"
                                         "photo is a file path relative to the CSV file; state defaults to ready.\n")
        + ServerCommandContext::licenceHelp() + QStringLiteral("\n\n") + ServerCommandContext::statesHelp();
    command.arguments = {{QStringLiteral("FILE"), QStringLiteral("CSV file, UTF-8.")}};
    command.run = [&context](const QCommandLineParser &parser) {
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        const QString path = parser.positionalArguments().first();
        QList<CandidateRecord> list;
        QList<int> lines;
        QStringList errors;
        CandidateImport::readFile(path, &list, &lines, &errors);
        // One pass lists every problem, the file's and the database's.
        QString why;
        if (!CandidateImport::checkAgainst(store, list, lines, &errors, &why))
            return context.failure(why);
        if (!errors.isEmpty()) {
            for (const QString &e : qAsConst(errors))
                context.err() << path << ": " << e << "\n";
            return context.failure(QStringLiteral("nothing imported (%1 bad row(s))").arg(errors.size()));
        }
        if (!store.addCandidates(&list))
            return context.failure(store.lastError() + QStringLiteral("; nothing imported"));
        context.out() << "imported " << list.size() << " candidate(s)\n";
        return 0;
    };
    return command;
}

} // namespace

void RegistrationCommands::addTo(CommandRegistry &registry, ServerCommandContext &context)
{
    registry.add(init(context));
    registry.add(addCourse(context));
    registry.add(addCandidate(context));
    registry.add(setState(context));
    registry.add(import(context));
}
