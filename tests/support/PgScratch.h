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
    // does; only a crash of the machine would tell the two apart.
    explicit PgScratch(bool durable = false);
    ~PgScratch();
    PgScratch(const PgScratch &) = delete;
    PgScratch &operator=(const PgScratch &) = delete;

    // Creates the cluster on the first call, then starts the server and
    // waits until it accepts connections; false, with why(), when it cannot.
    bool start();
    bool stop(StopMode mode = StopMode::Fast);
    bool restart(StopMode mode = StopMode::Fast);
    bool isRunning() const { return m_running; }

    // An empty database; its URL (no password: environment() carries it),
    // or an empty text.
    QString createDatabase(const QString &name);
    QString url(const QString &database) const;
    QProcessEnvironment environment() const;
    // Runs SQL on a database: its rows, one per line, columns joined by '|'.
    QString query(const QString &database, const QString &sql, bool *ok = nullptr);

    quint16 port() const { return m_port; }
    QString why() const { return m_why; }

    // Set (HAZARD_REQUIRE_POSTGRES=1) where PostgreSQL is installed on
    // purpose, so that a server that cannot start fails instead of skipping.
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
    int m_uid = -1; // under root: the unprivileged owner of the cluster
    int m_gid = -1;
    QString m_why;
    QStringList m_connections;
};
