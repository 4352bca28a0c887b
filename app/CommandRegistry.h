#pragma once

#include "Command.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

// The commands of one program (`PROGRAM COMMAND [options] ARGS`): parses a
// command's arguments uniformly, runs it, and generates the general help and
// each command's help from the Command descriptions. Output is UTF-8.
//
// `PROGRAM --version` prints the program's name and the application's
// version (QCoreApplication::applicationVersion).
//
// Exit statuses: what the command returns; 0 after a help text; 2 for a
// usage error (unknown command or option, wrong argument count, a required
// option missing), reported on standard error as "PROGRAM: reason".
class CommandRegistry
{
public:
    // Writes on standard output and standard error.
    explicit CommandRegistry(const QString &program);
    // Writes into the texts instead.
    CommandRegistry(const QString &program, QString *out, QString *err);
    CommandRegistry(const CommandRegistry &) = delete;
    CommandRegistry &operator=(const CommandRegistry &) = delete;

    // Shown under the general help's usage line.
    void setDescription(const QString &text) { m_description = text; }
    // Shown at the end of the general help.
    void setEpilogue(const QString &text) { m_epilogue = text; }
    // An option every command takes; it may also come before the command.
    void addSharedOption(const QCommandLineOption &option) { m_shared.append(option); }
    void add(const Command &command) { m_commands.append(command); }

    // arguments[0] is the program's path. Returns the exit status.
    int run(const QStringList &arguments);

    QString generalHelp() const;
    // "name --required VALUE [options] ARG...", as the general help lists it.
    static QString synopsis(const Command &command);
    // The command that run() would run, or an empty text; lets main() pick
    // its application object before there is one. `leading` are the options
    // that may come before the command.
    static QString commandOf(const QStringList &arguments, const QList<QCommandLineOption> &leading = {});

    QTextStream &out() { return m_out; }
    QTextStream &err() { return m_err; }
    // Reports "PROGRAM: text" on standard error; the exit status of a failed
    // command (1) or of a usage error (2).
    int failure(const QString &text);
    int usageError(const QString &text);

private:
    const Command *find(const QString &name) const;
    int runCommand(const Command &command, const QStringList &arguments);
    // Index into m_shared of a leading option, or -1; `takesValue` if it
    // also takes the next argument.
    static int leadingOption(const QList<QCommandLineOption> &options, const QString &argument, bool *takesValue);

    QString m_program;
    QString m_description;
    QString m_epilogue;
    QList<QCommandLineOption> m_shared;
    QList<Command> m_commands;
    QTextStream m_out;
    QTextStream m_err;
};
