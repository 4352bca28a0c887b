#include "CommandRegistry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

// Where the general help's second column starts, and its right margin.
const int helpColumn = 28;
const int helpWidth = 79;

QString optionSyntax(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString syntax = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        syntax += QStringLiteral(" <%1>").arg(option.valueName());
    return syntax;
}

// "  head   text", the text filled to the right margin in the second column;
// a head too wide for the first column gets a line of its own.
QString helpEntry(const QString &head, const QString &text)
{
    QString entry = QStringLiteral("  ") + head;
    if (entry.size() + 2 > helpColumn) {
        entry += QLatin1Char('\n');
        entry += QString(helpColumn, QLatin1Char(' '));
    } else {
        entry += QString(helpColumn - entry.size(), QLatin1Char(' '));
    }
    int lineLength = helpColumn;
    bool first = true;
    for (const QString &word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (!first && lineLength + 1 + word.size() > helpWidth) {
            entry += QLatin1Char('\n') + QString(helpColumn, QLatin1Char(' '));
            lineLength = helpColumn;
        } else if (!first) {
            entry += QLatin1Char(' ');
            ++lineLength;
        }
        entry += word;
        lineLength += word.size();
        first = false;
    }
    return entry + QLatin1Char('\n');
}

} // namespace

CommandRegistry::CommandRegistry(const QString &program)
    : m_program(program)
    , m_out(stdout)
    , m_err(stderr)
{
    m_out.setCodec("UTF-8");
    m_err.setCodec("UTF-8");
}

CommandRegistry::CommandRegistry(const QString &program, QString *out, QString *err)
    : m_program(program)
    , m_out(out)
    , m_err(err)
{
}

int CommandRegistry::failure(const QString &text)
{
    m_err << m_program << ": " << text << "\n";
    m_err.flush();
    return 1;
}

int CommandRegistry::usageError(const QString &text)
{
    failure(text);
    return 2;
}

int CommandRegistry::leadingOption(const QList<QCommandLineOption> &options, const QString &argument,
                                   bool *takesValue)
{
    *takesValue = false;
    for (int i = 0; i < options.size(); ++i) {
        const QCommandLineOption &option = options.at(i);
        const bool hasValue = !option.valueName().isEmpty();
        for (const QString &name : option.names()) {
            const QString spelt = QStringLiteral("--") + name;
            if (argument == spelt) {
                *takesValue = hasValue;
                return i;
            }
            if (hasValue && argument.startsWith(spelt + QLatin1Char('=')))
                return i;
        }
    }
    return -1;
}

const Command *CommandRegistry::find(const QString &name) const
{
    for (const Command &command : m_commands) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

int CommandRegistry::run(const QStringList &arguments)
{
    QStringList leading;
    QStringList rest = arguments.mid(1);
    while (!rest.isEmpty() && rest.first().startsWith(QLatin1Char('-'))) {
        const QString option = rest.takeFirst();
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            m_out << generalHelp();
            m_out.flush();
            return 0;
        }
        if (option == QLatin1String("--version")) {
            m_out << m_program << ' ' << QCoreApplication::applicationVersion() << '\n';
            m_out.flush();
            return 0;
        }
        bool takesValue = false;
        if (leadingOption(m_shared, option, &takesValue) < 0 || (takesValue && rest.isEmpty()))
            return usageError(QStringLiteral("unknown option %1; see: %2 --help").arg(option, m_program));
        leading << option;
        if (takesValue)
            leading << rest.takeFirst();
    }
    if (rest.isEmpty()) {
        m_err << generalHelp();
        m_err.flush();
        return 2;
    }
    const QString name = rest.takeFirst();
    const Command *command = find(name);
    if (!command)
        return usageError(QStringLiteral("unknown command %1; see: %2 --help").arg(name, m_program));
    // Options given before the command count as the command's own; given
    // twice, the later one wins.
    const int status = runCommand(*command, QStringList{m_program} + leading + rest);
    m_out.flush();
    m_err.flush();
    return status;
}

int CommandRegistry::runCommand(const Command &command, const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(command.description);
    parser.addOptions(command.options);
    parser.addOptions(m_shared);
    parser.addHelpOption();
    for (const CommandArgument &argument : command.arguments)
        parser.addPositionalArgument(argument.name, argument.help);
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QString help = parser.helpText();
        // Qt names only the program in the usage line.
        help.replace(QRegularExpression(QStringLiteral("^Usage: (\\S+)")),
                     QStringLiteral("Usage: %1 %2").arg(m_program, command.name));
        m_out << help;
        return 0;
    }
    if (parser.positionalArguments().size() != command.arguments.size())
        return usageError(QStringLiteral("%1 takes %2 argument(s); see: %3 %1 --help")
                              .arg(command.name)
                              .arg(command.arguments.size())
                              .arg(m_program));
    for (const QString &option : command.required) {
        if (!parser.isSet(option))
            return usageError(QStringLiteral("%1 needs --%2").arg(command.name, option));
    }
    return command.run(parser);
}

QString CommandRegistry::synopsis(const Command &command)
{
    QString text = command.name;
    bool optional = false;
    for (const QCommandLineOption &option : command.options) {
        if (command.required.contains(option.names().first()))
            text += QStringLiteral(" --%1 %2").arg(option.names().first(), option.valueName());
        else
            optional = true;
    }
    if (optional)
        text += QStringLiteral(" [options]");
    for (const CommandArgument &argument : command.arguments)
        text += QLatin1Char(' ') + argument.name;
    return text;
}

QString CommandRegistry::generalHelp() const
{
    QString text = QStringLiteral("Usage: ") + m_program;
    for (const QCommandLineOption &option : m_shared)
        text += QStringLiteral(" [%1]").arg(optionSyntax(option));
    text += QStringLiteral(" COMMAND [options]\n\n");
    if (!m_description.isEmpty())
        text += m_description + QStringLiteral("\n\n");
    text += QStringLiteral("Commands:\n");
    for (const Command &command : m_commands)
        text += helpEntry(synopsis(command), command.summary);
    text += QStringLiteral("\nOptions:\n");
    for (const QCommandLineOption &option : m_shared)
        text += helpEntry(optionSyntax(option), option.description());
    text += helpEntry(QStringLiteral("-h, --help"), QStringLiteral("this text; COMMAND --help describes one command"));
    text += helpEntry(QStringLiteral("--version"), QStringLiteral("the program's version"));
    if (!m_epilogue.isEmpty())
        text += QLatin1Char('\n') + m_epilogue;
    return text;
}

QString CommandRegistry::commandOf(const QStringList &arguments, const QList<QCommandLineOption> &leading)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QLatin1Char('-')))
            return argument;
        bool takesValue = false;
        if (leadingOption(leading, argument, &takesValue) >= 0 && takesValue)
            ++i;
    }
    return QString();
}
