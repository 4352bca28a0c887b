#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A PostgreSQL server of its own for the tests and benchmarks that run
// servers on a shared database: a fresh cluster in a scratch folder, a
// superuser with a password, reached over loopback TCP at a free port, and
// removed with everything in it at destruction. PostgreSQL refuses to run
// as root, so under root the cluster belongs to `nobody`.
class PgScratch
{
public:
    enum class StopMode { Fast, Immediate };

    // The durable cluster syncs every commit to disk, as a production one
    // does; the default one does not, which only a crash of the machine
    // (rather than of the server process) would notice.
    explicit PgScratch(bool durable = false);
    ~PgScratch();
    PgScratch(const PgScratch &) = delete;
    PgScratch &operator=(const PgScratch &) = delete;

    // Creates the cluster on the first call, then starts the server and
    // waits until it accepts connections. False, with the reason in why(),
    // when it cannot, e.g. when PostgreSQL is not installed.
    bool start();
    bool stop(StopMode mode = StopMode::Fast);
    // Stops and starts again on the same port.
    bool restart(StopMode mode = StopMode::Fast);
    bool isRunning() const { return m_running; }

    // Creates an empty database owned by the superuser; its URL, or an empty
    // text with the reason in why().
    QString createDatabase(const QString &name);
    // The URL of a database: no password, the environment carries it.
    QString url(const QString &database) const;
    // The system environment plus what libpq needs to log in.
    QProcessEnvironment environment() const;
    // Runs SQL on a database over a connection kept for the next time: its
    // rows, one per line, columns joined by '|'. On failure ok is false and
    // why() holds the reason.
    QString query(const QString &database, const QString &sql, bool *ok = nullptr);

    quint16 port() const { return m_port; }
    QString why() const { return m_why; }

    // Set (HAZARD_REQUIRE_POSTGRES=1) where PostgreSQL is installed on
    // purpose, so that a server that cannot start fails the test instead of
    // skipping it.
    static bool required();

private:
    bool createCluster();
    // Runs a PostgreSQL program to its end, as the cluster's owner.
    bool runTool(const QString &program, const QStringList &args, int timeoutMs, QString *output = nullptr);
    bool fail(const QString &why);
    QString dataDir() const;

    bool m_durable;
    QTemporaryDir m_dir;
    QString m_bin;
    QString m_password;
    quint16 m_port = 0;
    bool m_created = false;
    bool m_running = false;
    // Under root: the unprivileged user that owns the cluster.
    int m_uid = -1;
    int m_gid = -1;
    QString m_why;
    QStringList m_connections;
};
