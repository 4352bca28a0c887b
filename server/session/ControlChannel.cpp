#include "ControlChannel.h"

#include "ExamServer.h"
#include "ServerLogging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr int maxRequest = 64 * 1024;
constexpr int clientTimeoutMs = 30000;

QString &socketFolder()
{
    static QString folder;
    return folder;
}

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

ControlChannel::ControlChannel(ExamServer *server, QObject *parent)
    : QObject(parent)
    , m_server(server)
    , m_local(new QLocalServer(this))
{
    m_local->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_local, &QLocalServer::newConnection, this, &ControlChannel::onNewConnection);
}

ControlChannel::~ControlChannel()
{
    close();
}

void ControlChannel::setGroupAccess(bool on)
{
    m_local->setSocketOptions(on ? QLocalServer::UserAccessOption | QLocalServer::GroupAccessOption
                                 : QLocalServer::UserAccessOption);
}

void ControlChannel::setSocketFolder(const QString &folder)
{
    socketFolder() = folder;
}

QString ControlChannel::socketPathFor(const ControlKey &key)
{
    const bool file = key.databaseFile;
    const QString path = file ? QFileInfo(key.name).absoluteFilePath() + QStringLiteral(".ctl") : key.name;
    // A local socket's path is limited to about a hundred bytes; a database
    // deep in the tree gets its socket in the temporary folder instead,
    // named after the database's path.
    if (file && QFile::encodeName(path).size() < 100)
        return path;
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QDir folder = socketFolder().isEmpty() ? QDir::temp() : QDir(socketFolder());
    return folder.filePath(QStringLiteral("hazard-server-%1.ctl").arg(QString::fromLatin1(digest)));
}

bool ControlChannel::listen(const ControlKey &key, QString *why)
{
    const QString path = socketPathFor(key);
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000)) {
        *why = QStringLiteral("another hazard-server already serves this database (control socket %1)").arg(path);
        return false;
    }
    // Nobody answers: what is left there belongs to a server that died.
    QLocalServer::removeServer(path);
    if (!m_local->listen(path)) {
        *why = QStringLiteral("cannot create the control socket %1: %2").arg(path, m_local->errorString());
        return false;
    }
    qCInfo(lcServer).noquote() << QStringLiteral("control socket %1").arg(path);
    return true;
}

void ControlChannel::close()
{
    if (m_local->isListening())
        m_local->close();
}

void ControlChannel::onNewConnection()
{
    while (QLocalSocket *socket = m_local->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onRequest(socket); });
    }
}

void ControlChannel::onRequest(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxRequest)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(maxRequest);
    QJsonParseError error;
    const QJsonObject request = QJsonDocument::fromJson(line, &error).object();
    QJsonObject reply;
    const QString command = request.value(QStringLiteral("command")).toString();
    if (error.error != QJsonParseError::NoError) {
        reply.insert(QStringLiteral("error"), QStringLiteral("request is not JSON: ") + error.errorString());
    } else if (command == QLatin1String("push")) {
        QString why;
        const int stations = m_server->pushFile(request.value(QStringLiteral("file")).toString(),
                                                request.value(QStringLiteral("name")).toString(), &why);
        if (stations < 0) {
            reply.insert(QStringLiteral("error"), why);
        } else {
            reply.insert(QStringLiteral("ok"), true);
            reply.insert(QStringLiteral("stations"), stations);
        }
    } else if (command == QLatin1String("status")) {
        reply.insert(QStringLiteral("ok"), true);
        reply.insert(QStringLiteral("stations"), m_server->stationCount());
        reply.insert(QStringLiteral("authenticated"), m_server->authenticatedCount());
    } else {
        reply.insert(QStringLiteral("error"), QStringLiteral("unknown command '%1'").arg(command));
    }
    socket->write(jsonLine(reply));
    socket->disconnectFromServer();
}

bool ControlChannel::request(const ControlKey &key, const QJsonObject &request, QJsonObject *reply, QString *why)
{
    const QString path = socketPathFor(key);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(5000)) {
        *why = QStringLiteral("no hazard-server is serving %1 (control socket %2: %3)")
                   .arg(key.name, path, socket.errorString());
        return false;
    }
    socket.write(jsonLine(request));
    if (!socket.waitForBytesWritten(clientTimeoutMs)) {
        *why = QStringLiteral("cannot talk to the server: ") + socket.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = clientTimeoutMs - clock.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(int(left))) {
            *why = QStringLiteral("the server did not answer: ") + socket.errorString();
            return false;
        }
    }
    *reply = QJsonDocument::fromJson(socket.readLine(maxRequest)).object();
    if (!reply->value(QStringLiteral("ok")).toBool()) {
        *why = reply->value(QStringLiteral("error")).toString(QStringLiteral("the server's answer is unreadable"));
        return false;
    }
    return true;
}

int ControlChannel::requestPush(const ControlKey &key, const QString &file, const QString &name, QString *why)
{
    QJsonObject push;
    push.insert(QStringLiteral("command"), QStringLiteral("push"));
    push.insert(QStringLiteral("file"), QFileInfo(file).absoluteFilePath());
    push.insert(QStringLiteral("name"), name);
    QJsonObject reply;
    if (!request(key, push, &reply, why))
        return -1;
    return reply.value(QStringLiteral("stations")).toInt();
}

bool ControlChannel::requestStatus(const ControlKey &key, int *stations, int *authenticated, QString *why)
{
    QJsonObject status;
    status.insert(QStringLiteral("command"), QStringLiteral("status"));
    QJsonObject reply;
    if (!request(key, status, &reply, why))
        return false;
    *stations = reply.value(QStringLiteral("stations")).toInt();
    *authenticated = reply.value(QStringLiteral("authenticated")).toInt();
    return true;
}
