#include "ServerCommandContext.h"

#include "CandidateState.h"
#include "CommandRegistry.h"
#include "Constants.h"
#include "ServerStore.h"

#include <QCommandLineParser>

ServerCommandContext::ServerCommandContext(CommandRegistry &registry)
    : m_registry(registry)
{
}

const char *ServerCommandContext::defaultDatabase()
{
    return "./hazard-server.db";
}

QCommandLineOption ServerCommandContext::databaseOption()
{
    return QCommandLineOption(QStringList{QStringLiteral("db")},
                              QStringLiteral("The server database: an SQLite file (default %1) or "
                                             "postgresql://USER@HOST:PORT/DBNAME, whose password comes from "
                                             "PGPASSWORD or a pgpass file.")
                                  .arg(QLatin1String(defaultDatabase())),
                              QStringLiteral("PATH|URL"));
}

QString ServerCommandContext::statesHelp()
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

QString ServerCommandContext::licenceHelp()
{
    return QStringLiteral("Licence classes: %1 (or their codes 0..9).")
        .arg(Constants::licenceClasses().join(QLatin1Char(' ')));
}

QString ServerCommandContext::unknownState(const QString &name)
{
    return QStringLiteral("unknown state %1; states: %2").arg(name, CandidateState::names().join(QStringLiteral(", ")));
}

QTextStream &ServerCommandContext::out()
{
    return m_registry.out();
}

QTextStream &ServerCommandContext::err()
{
    return m_registry.err();
}

int ServerCommandContext::failure(const QString &text)
{
    return m_registry.failure(text);
}

int ServerCommandContext::usageError(const QString &text)
{
    return m_registry.usageError(text);
}

QString ServerCommandContext::valueOr(const QCommandLineParser &parser, const QCommandLineOption &option,
                                      const QString &key) const
{
    const QString name = option.names().first();
    if (!parser.isSet(name) && !m_settings.value(key).isEmpty())
        return m_settings.value(key);
    return parser.value(name);
}

QString ServerCommandContext::database(const QCommandLineParser &parser) const
{
    if (parser.isSet(QStringLiteral("db")))
        return parser.value(QStringLiteral("db"));
    const QString configured = m_settings.value(QStringLiteral("DB"));
    return configured.isEmpty() ? QString::fromLatin1(defaultDatabase()) : configured;
}

bool ServerCommandContext::openStore(const QCommandLineParser &parser, ServerStore &store)
{
    if (store.open(database(parser), ServerStore::OpenMode::MustExist))
        return true;
    failure(store.lastError());
    return false;
}

bool ServerCommandContext::findCandidate(ServerStore &store, const QString &course, const QString &number,
                                         CandidateRecord *candidate)
{
    const ServerStore::Lookup lookup = store.candidate(course, number, candidate);
    if (lookup == ServerStore::Lookup::Found)
        return true;
    failure(lookup == ServerStore::Lookup::Missing ? QStringLiteral("no candidate %1 in course %2").arg(number, course)
                                                   : store.lastError());
    return false;
}
