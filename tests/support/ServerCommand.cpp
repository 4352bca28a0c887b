#include "ServerCommand.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>

ServerCommand::ServerCommand(const QString &db, const QString &folder, const QProcessEnvironment &environment)
    : m_db(db)
    , m_folder(folder)
    , m_environment(environment)
{
}

ServerCommand::~ServerCommand()
{
    for (const auto &server : m_servers) {
        server->terminate();
        if (!server->waitForFinished(30000))
            server->kill();
        server->waitForFinished(30000);
    }
}

void ServerCommand::setUp(QProcess &process) const
{
    if (!m_environment.isEmpty())
        process.setProcessEnvironment(m_environment);
    process.setWorkingDirectory(m_folder);
}

int ServerCommand::execute(const QString &program, const QStringList &args, QString *out, QString *err,
                           const ServerCommand *on)
{
    QProcess process;
    if (on)
        on->setUp(process);
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -100;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

int ServerCommand::run(const QStringList &args, QString *out, QString *err) const
{
    return execute(QStringLiteral(HAZARD_SERVER_BIN), QStringList{"--db", m_db} + args, out, err, this);
}

quint16 ServerCommand::serve(const QStringList &args, const QString &logFile)
{
    m_servers.push_back(std::make_unique<QProcess>());
    QProcess &process = *m_servers.back();
    setUp(process);
    if (logFile.isEmpty())
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        process.setStandardErrorFile(logFile);
    process.start(QStringLiteral(HAZARD_SERVER_BIN), QStringList{"--db", m_db, "serve"} + args);
    for (const QDeadlineTimer deadline(60000); !process.canReadLine();)
        if (!process.waitForReadyRead(int(deadline.remainingTime())))
            break;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\n$"))
                                              .match(QString::fromUtf8(process.readLine()));
    return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
}
