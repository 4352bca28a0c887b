#pragma once

#include <QHash>
#include <QString>

// The settings file of an installed server, e.g.
// /etc/hazard-server/hazard-server.conf: the defaults of what an operator
// would otherwise type on every command, so that the commands reach the
// service's database without knowing where it lives.
//
// One KEY=VALUE per line, as systemd's EnvironmentFile= reads them; blank
// lines and lines starting with # are ignored, blanks around the key and
// the value and one pair of double quotes around the value are removed.
// Keys:
//   DB           the database (--db)
//   LISTEN       serve's --listen, and the port push and status reach on a
//                PostgreSQL database
//   CENTRE       serve's --centre
//   CONTROL_DIR  where control sockets go that cannot lie next to the
//                database (a PostgreSQL database's), instead of the
//                temporary folder, which a hardened service keeps private
//
// Options given on the command line win over the file.
class ServerSettings
{
public:
    // $HAZARD_SERVER_SETTINGS when it is set (empty: no file), otherwise the
    // file this build names (none in a build from source, whose behaviour
    // then stays that of no settings at all).
    static QString location();

    // Reads the file; a file that does not exist leaves no settings in
    // effect. False with *why for a file that cannot be read, a line that is
    // not KEY=VALUE or a key not listed above.
    bool load(const QString &path, QString *why);

    // A file was read.
    bool inEffect() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // Empty when the file does not set it.
    QString value(const QString &key) const { return m_values.value(key); }

private:
    QString m_path;
    QHash<QString, QString> m_values;
};
