#pragma once

#include "ControlKey.h"

#include <QObject>
#include <QString>

class ExamServer;
class QJsonObject;
class QLocalServer;
class QLocalSocket;

// Lets a second hazard-server invocation reach the running server: a local
// socket next to the database (owner-only, or owner and group), one JSON
// request line and one JSON reply line per connection.
class ControlChannel : public QObject
{
    Q_OBJECT
public:
    ControlChannel(ExamServer *server, QObject *parent = nullptr);
    ~ControlChannel() override;

    // Lets the server's group in as well: an installed server runs as a
    // user of its own, and the operators of the centre are in its group.
    // Before listen().
    void setGroupAccess(bool on);

    // False with *why when another server already serves this database or
    // the socket cannot be created. The key is the store's
    // (ServerStore::controlKey).
    bool listen(const ControlKey &key, QString *why);
    void close();

    // The socket's path for a server's key; the same in every process.
    static QString socketPathFor(const ControlKey &key);
    // Where sockets go that cannot lie next to their database; empty for
    // the temporary folder. Set once at start, before any thread runs.
    static void setSocketFolder(const QString &folder);

    // Client side, blocking: asks the running server to push a file to its
    // stations. Gives the number of stations, or -1 with *why.
    static int requestPush(const ControlKey &key, const QString &file, const QString &name, QString *why);
    // Client side, blocking: connected and authenticated stations.
    static bool requestStatus(const ControlKey &key, int *stations, int *authenticated, QString *why);

private:
    static bool request(const ControlKey &key, const QJsonObject &request, QJsonObject *reply, QString *why);
    void onNewConnection();
    void onRequest(QLocalSocket *socket);

    ExamServer *m_server;
    QLocalServer *m_local;
};
