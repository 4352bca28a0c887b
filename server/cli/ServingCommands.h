#pragma once

class CommandRegistry;
class ServerCommandContext;

// The hazard-server commands around a running server: serve, and push and
// status, which reach it through its control socket.
class ServingCommands
{
public:
    static void addTo(CommandRegistry &registry, ServerCommandContext &context);
};
