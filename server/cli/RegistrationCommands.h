#pragma once

class CommandRegistry;
class ServerCommandContext;

// The hazard-server commands that set up the database and register courses
// and candidates: init, add-course, add-candidate, set-state, import.
class RegistrationCommands
{
public:
    static void addTo(CommandRegistry &registry, ServerCommandContext &context);
};
