#include "ServerCli.h"

#include "ControlChannel.h"
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

int ServerCli::run(const QStringList &arguments)
{
    QString why;
    if (!m_context.settings().load(ServerSettings::location(), &why))
        return m_registry.failure(why);
    ControlChannel::setSocketFolder(m_context.settings().value(QStringLiteral("CONTROL_DIR")));
    return m_registry.run(arguments);
}

QString ServerCli::commandOf(const QStringList &arguments)
{
    return CommandRegistry::commandOf(arguments, {ServerCommandContext::databaseOption()});
}
