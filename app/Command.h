#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QCommandLineParser;

// A positional argument of a command, as the command's help shows it.
struct CommandArgument
{
    QString name;
    QString help;
};

// One command of a program with subcommands, described once. CommandRegistry
// parses its arguments, shows its help and lists it in the general help from
// this description alone, so that no help text can drift from what runs.
struct Command
{
    QString name;
    QString summary;     // its line in the general help
    QString description; // the head of its own --help
    QList<QCommandLineOption> options;
    // Options it cannot do without, by their first name, in the order they
    // are reported missing.
    QStringList required;
    // Exactly these positional arguments, in order.
    QList<CommandArgument> arguments;
    // Runs the parsed command and returns its exit status; only called once
    // the arguments have passed the checks above.
    std::function<int(const QCommandLineParser &)> run;
};
