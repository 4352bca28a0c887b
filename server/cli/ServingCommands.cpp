#include "ServingCommands.h"

#include "ServerLogging.h"

#include "CommandRegistry.h"
#include "ControlChannel.h"
#include "ExamServer.h"
#include "ListenAddress.h"
#include "ServerCommandContext.h"
#include "ServerStore.h"
#include "SignalWatcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Which running server push and status reach: the one serving the SQLite
// file, or on a PostgreSQL database that several servers share, the one
// listening on the port.
QCommandLineOption portOption()
{
    return QCommandLineOption(QStringLiteral("port"),
                              QStringLiteral("With a PostgreSQL database: the port of the server to reach "
                                             "(default 6886)."),
                              QStringLiteral("PORT"), QStringLiteral("6886"));
}

// False after a usage error.
bool controlKeyFor(ServerCommandContext &context, const QCommandLineParser &parser, ControlKey *key)
{
    // Without --port, the port of the server the settings file describes.
    QString portText = parser.value(QStringLiteral("port"));
    QHostAddress listenAddress;
    quint16 listenPort = 0;
    if (!parser.isSet(QStringLiteral("port"))
        && ListenAddress::parse(context.settings().value(QStringLiteral("LISTEN")), &listenAddress, &listenPort))
        portText = QString::number(listenPort);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    // The same name the server derived from its opened store; a database
    // with one server needs no port, and ignores it.
    const std::optional<ControlKey> found =
        ServerStore::controlKey(context.database(parser), ok && port <= 65535 ? quint16(port) : 0);
    if (!found) {
        context.usageError(QStringLiteral("--port wants a port number"));
        return false;
    }
    *key = *found;
    return true;
}

Command serve(ServerCommandContext &context)
{
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address and port to listen on (default 127.0.0.1:6886). "
                                                         "HOST is an IP address, 'localhost' or '*' for all."),
                                          QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:6886"));
    const QCommandLineOption secretOption(QStringLiteral("secret"),
                                          QStringLiteral("The shared secret, 57 lowercase hexadecimal characters "
                                                         "(default: the one built into the station)."),
                                          QStringLiteral("HEX"));
    const QCommandLineOption timeoutOption(QStringLiteral("auth-timeout"),
                                           QStringLiteral("Seconds a station has to answer the challenge "
                                                          "(default 30)."),
                                           QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption centreOption(QStringLiteral("centre"),
                                          QStringLiteral("The examination centre's name, stored with each result "
                                                         "and printed on its result sheet."),
                                          QStringLiteral("NAME"));
    Command command;
    command.name = QStringLiteral("serve");
    command.summary = QStringLiteral("answer stations (default 127.0.0.1:6886)");
    command.description = QStringLiteral("Answer stations until SIGINT or SIGTERM. Every exchange is logged on\n"
                                         "standard error with the station's address. The first line on standard\n"
                                         "output names the address actually listened on. A control socket next\n"
                                         "to the database lets 'hazard-server push' reach this server.\n\n")
        + ServerCommandContext::statesHelp();
    command.options = {listenOption, secretOption, timeoutOption, centreOption};
    command.run = [&context, listenOption, secretOption, timeoutOption, centreOption](const QCommandLineParser &parser) {
        const QString listen = context.valueOr(parser, listenOption, QStringLiteral("LISTEN"));
        QHostAddress address;
        quint16 port = 0;
        if (!ListenAddress::parse(listen, &address, &port))
            return context.usageError(
                QStringLiteral("--listen wants HOST:PORT, e.g. 127.0.0.1:6886; got %1").arg(listen));
        QByteArray secret;
        if (parser.isSet(secretOption)) {
            secret = parser.value(secretOption).toLatin1();
            if (!QRegularExpression(QStringLiteral("^[0-9a-f]{57}$")).match(parser.value(secretOption)).hasMatch())
                return context.usageError(QStringLiteral("--secret must be 57 lowercase hexadecimal characters"));
        }
        bool timeoutOk = false;
        const double timeout = parser.value(timeoutOption).toDouble(&timeoutOk);
        if (!timeoutOk || timeout <= 0 || timeout > 3600)
            return context.usageError(QStringLiteral("--auth-timeout takes 0 < SECONDS <= 3600"));

        qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-warning}warning: %{endif}"
                                          "%{if-critical}error: %{endif}%{message}"));
        const QString centre = context.valueOr(parser, centreOption, QStringLiteral("CENTRE")).trimmed();
        if (centre.contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]"))))
            return context.usageError(QStringLiteral("--centre cannot contain control characters"));
        ServerStore store;
        if (!context.openStore(parser, store))
            return 1;
        ExamServer server(&store);
        if (!secret.isEmpty())
            server.setSecret(secret);
        server.setAuthTimeout(int(timeout * 1000));
        server.setCentre(centre);
        ControlChannel control(&server);
        // An installed server (one with a settings file) lets the operators
        // in its group reach it.
        control.setGroupAccess(context.settings().inEffect());
        QString why;
        // A database with one server is claimed before the port, so that a
        // second server is refused before it takes one; on a shared database
        // each server has a control socket for the port it got.
        const std::optional<ControlKey> soleKey = store.controlKey(0);
        if (soleKey && !control.listen(*soleKey, &why))
            return context.failure(why);
        if (!server.listen(address, port))
            return context.failure(QStringLiteral("cannot listen on %1: %2").arg(listen, server.errorString()));
        if (!soleKey && !control.listen(*store.controlKey(server.port()), &why))
            return context.failure(why);
        context.out() << "listening on " << ListenAddress::toString(server.address(), server.port()) << "\n";
        context.out().flush();

        SignalWatcher watcher;
        QObject::connect(&watcher, &SignalWatcher::terminationRequested, [](int number) {
            qCInfo(lcServer).noquote() << QStringLiteral("signal %1: stopping").arg(number);
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
        server.close();
        control.close();
        qCInfo(lcServer).noquote() << QStringLiteral("stopped");
        return 0;
    };
    return command;
}

Command push(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("push");
    command.summary = QStringLiteral("send a file to every station of the running server");
    command.description = QStringLiteral("Send a file to every station connected to the server that is serving\n"
                                         "the database (see serve). Returns once the transfers are under way.");
    command.options = {portOption()};
    command.arguments = {{QStringLiteral("FILE"), QStringLiteral("The file to send.")},
                         {QStringLiteral("NAME"), QStringLiteral("The path the stations store it under, relative to "
                                                                 "their working folder, e.g. videos/12.mp4.")}};
    command.run = [&context](const QCommandLineParser &parser) {
        ControlKey key;
        if (!controlKeyFor(context, parser, &key))
            return 2;
        const QString file = parser.positionalArguments().at(0);
        const QString name = parser.positionalArguments().at(1);
        QString why;
        if (!ExamServer::checkPushName(name, &why))
            return context.failure(name + QStringLiteral(": ") + why);
        if (!QFileInfo(file).isFile())
            return context.failure(QStringLiteral("no file ") + file);
        const int stations = ControlChannel::requestPush(key, file, name, &why);
        if (stations < 0)
            return context.failure(why);
        context.out() << "pushing " << name << " (" << QFileInfo(file).size() << " bytes) to " << stations
                      << " station(s)\n";
        return 0;
    };
    return command;
}

Command status(ServerCommandContext &context)
{
    Command command;
    command.name = QStringLiteral("status");
    command.summary = QStringLiteral("stations connected to the running server");
    command.description = QStringLiteral("Ask the server that is serving the database how many stations are\n"
                                         "connected. Exit status 1 when no server is running.");
    command.options = {portOption()};
    command.run = [&context](const QCommandLineParser &parser) {
        ControlKey key;
        if (!controlKeyFor(context, parser, &key))
            return 2;
        int stations = 0;
        int authenticated = 0;
        QString why;
        if (!ControlChannel::requestStatus(key, &stations, &authenticated, &why))
            return context.failure(why);
        context.out() << "serving " << context.database(parser) << ": " << stations << " station(s) connected, "
                      << authenticated << " past the challenge\n";
        return 0;
    };
    return command;
}

} // namespace

void ServingCommands::addTo(CommandRegistry &registry, ServerCommandContext &context)
{
    registry.add(serve(context));
    registry.add(push(context));
    registry.add(status(context));
}
