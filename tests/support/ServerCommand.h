#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QProcess;

// The real hazard-server executable on one database, run as the operator
// runs it from a folder. Servers it started are stopped at its destruction.
class ServerCommand
{
public:
    // Without an environment, the commands get this process's.
    ServerCommand(const QString &db, const QString &folder,
                  const QProcessEnvironment &environment = QProcessEnvironment());
    ~ServerCommand();
    ServerCommand(const ServerCommand &) = delete;
    ServerCommand &operator=(const ServerCommand &) = delete;

    // Runs one command to its end: its exit status, or -100 when it crashed
    // or did not finish.
    int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr) const;
    // Starts `serve` with these options and waits for the line that names
    // the port: the port, or 0. The log goes to `logFile`, or stderr.
    quint16 serve(const QStringList &args, const QString &logFile = QString());
    // The servers serve() started, in order.
    QProcess &server(int index) const { return *m_servers.at(size_t(index)); }

    // Any program, run like run(); in the folder and environment of `on`.
    static int execute(const QString &program, const QStringList &args, QString *out = nullptr,
                       QString *err = nullptr, const ServerCommand *on = nullptr);

private:
    void setUp(QProcess &process) const;

    QString m_db;
    QString m_folder;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_servers;
};
