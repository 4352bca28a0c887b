#include "ServerCli.h"

#include "RegistrationCommands.h"
#include "ResultCommands.h"
#include "ServingCommands.h"

ServerCli::ServerCli()
    : m_registry(QStringLiteral("hazard-server"))
    , m_context(m_registry)
{
    m_registry.setDescription(
        QStringLiteral("The examination server for hazard-station: it keeps courses, candidates and\n"
                       "results in an SQLite file, or in a PostgreSQL database that several servers\n"
                       "may share, and answers the stations over TCP."));
    m_registry.addSharedOption(ServerCommandContext::databaseOption());
    m_registry.setEpilogue(ServerCommandContext::statesHelp());
    RegistrationCommands::addTo(m_registry, m_context);
    ResultCommands::addTo(m_registry, m_context);
    ServingCommands::addTo(m_registry, m_context);
}

QString ServerCli::commandOf(const QStringList &arguments)
{
    return CommandRegistry::commandOf(arguments, {ServerCommandContext::databaseOption()});
}
