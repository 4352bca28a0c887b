#pragma once

#include "CommandRegistry.h"
#include "ServerCommandContext.h"

#include <QString>
#include <QStringList>

// The hazard-server command line: one operator command per invocation, each
// described once in the unit of its group (RegistrationCommands,
// ResultCommands, ServingCommands). Returns the process exit status;
// nothing here ends the process itself.
class ServerCli
{
public:
    using SheetWriter = ServerCommandContext::SheetWriter;

    ServerCli();
    ServerCli(const ServerCli &) = delete;
    ServerCli &operator=(const ServerCli &) = delete;

    // arguments[0] is the program name.
    // The settings file (ServerSettings::location()) is read first; one that
    // cannot be read fails every command.
    int run(const QStringList &arguments);
    // The command run() would run, or an empty text; lets main() choose the
    // application object before there is one.
    static QString commandOf(const QStringList &arguments);
    QString generalHelp() const { return m_registry.generalHelp(); }

    void setSheetWriter(const SheetWriter &writer) { m_context.sheetWriter = writer; }

private:
    CommandRegistry m_registry;
    ServerCommandContext m_context;
};
