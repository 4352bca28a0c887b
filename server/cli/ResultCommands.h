#pragma once

class CommandRegistry;
class ServerCommandContext;

// The hazard-server commands that enter and show what is stored:
// add-result, candidates, results, sheet.
class ResultCommands
{
public:
    static void addTo(CommandRegistry &registry, ServerCommandContext &context);
};
