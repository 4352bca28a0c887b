#include "PgScratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTcpServer>

#include <pwd.h>
#include <unistd.h>

namespace {

const char superuser[] = "hazard";

// The folder holding initdb and pg_ctl: Debian keeps one per major version
// under /usr/lib/postgresql, and the newest is taken; elsewhere they are on
// the PATH.
QString findBinaries()
{
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList bins;
    for (const QString &name : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed))
        bins << versions.filePath(name + QStringLiteral("/bin"));
    bins << QFileInfo(QStandardPaths::findExecutable(QStringLiteral("initdb"))).absolutePath();
    for (const QString &bin : qAsConst(bins)) {
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable()
            && QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    return QString();
}

// A loopback port nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

PgScratch::PgScratch(bool durable)
    : m_durable(durable)
    , m_dir(QDir::tempPath() + QStringLiteral("/pgscratch-XXXXXX"))
{
}

PgScratch::~PgScratch()
{
    for (const QString &name : qAsConst(m_connections))
        QSqlDatabase::removeDatabase(name);
    if (m_running)
        stop(StopMode::Immediate);
}

bool PgScratch::required() { return qEnvironmentVariableIntValue("HAZARD_REQUIRE_POSTGRES") == 1; }

bool PgScratch::fail(const QString &why)
{
    m_why = why;
    return false;
}

QString PgScratch::dataDir() const { return m_dir.filePath(QStringLiteral("data")); }

bool PgScratch::runTool(const QString &program, const QStringList &args, int timeoutMs, QString *output)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = m_bin + QLatin1Char('/') + program;
    if (m_uid >= 0)
        process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=%1").arg(m_uid),
                                                             QStringLiteral("--regid=%1").arg(m_gid),
                                                             QStringLiteral("--clear-groups"), QStringLiteral("--"), path}
                                                     + args);
    else
        process.start(path, args);
    if (!process.waitForStarted(30000))
        return fail(QStringLiteral("cannot run %1: %2").arg(program, process.errorString()));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(30000);
        return fail(QStringLiteral("%1 did not finish within %2 s").arg(program).arg(timeoutMs / 1000));
    }
    const QString out = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (output)
        *output = out;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return fail(QStringLiteral("%1 failed: %2").arg(program, out));
    return true;
}

bool PgScratch::createCluster()
{
    if (!m_dir.isValid())
        return fail(QStringLiteral("cannot create a scratch folder: ") + m_dir.errorString());
    m_bin = findBinaries();
    if (m_bin.isEmpty())
        return fail(QStringLiteral("PostgreSQL is not installed: no initdb and pg_ctl in /usr/lib/postgresql/*/bin "
                                   "or on the PATH (Debian: apt-get install postgresql)"));
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            return fail(QStringLiteral("PostgreSQL refuses to run as root, and there is no user nobody or no setpriv"));
        m_uid = int(nobody->pw_uid);
        m_gid = int(nobody->pw_gid);
        if (::chown(QFile::encodeName(m_dir.path()).constData(), uid_t(m_uid), gid_t(m_gid)) != 0)
            return fail(QStringLiteral("cannot hand the scratch folder to nobody"));
    }
    if ((m_port = freePort()) == 0)
        return fail(QStringLiteral("no free loopback port"));

    m_password = QString::number(QRandomGenerator::global()->generate64(), 36)
                 + QString::number(QRandomGenerator::global()->generate64(), 36);
    // initdb reads the password from a file only; it lives as long as initdb runs.
    const QString pwfile = m_dir.filePath(QStringLiteral("pwfile"));
    QFile file(pwfile);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_password.toUtf8() + '\n') <= 0 || !file.flush()
        || (m_uid >= 0 && ::fchown(file.handle(), uid_t(m_uid), gid_t(m_gid)) != 0))
        return fail(QStringLiteral("cannot write the password file"));
    file.close();
    const bool made = runTool(QStringLiteral("initdb"),
                              {"-D", dataDir(), "-U", superuser, "--pwfile=" + pwfile, "--auth=scram-sha-256", "-E",
                               "UTF8", "--no-locale", "--no-sync"},
                              120000);
    QFile::remove(pwfile);
    if (!made)
        return false;

    // The last setting of a name wins, so appending overrides initdb's.
    QFile conf(dataDir() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append))
        return fail(QStringLiteral("cannot configure the cluster: ") + conf.errorString());
    QByteArray settings = QStringLiteral("\nlisten_addresses = '127.0.0.1'\nport = %1\n"
                                         "unix_socket_directories = '%2'\nmax_connections = 200\n")
                              .arg(m_port)
                              .arg(m_dir.path())
                              .toUtf8();
    // Unsynced writes still reach the system's cache before a commit
    // returns, so a crash of the server process loses none; only a commit
    // that returns before its write (synchronous_commit off) would be lost.
    if (!m_durable)
        settings += "fsync = off\nfull_page_writes = off\n";
    if (conf.write(settings) != settings.size())
        return fail(QStringLiteral("cannot configure the cluster: ") + conf.errorString());
    m_created = true;
    return true;
}

bool PgScratch::start()
{
    if (m_running)
        return true;
    if (!m_created && !createCluster())
        return false;
    const QString log = m_dir.filePath(QStringLiteral("server.log"));
    if (!runTool(QStringLiteral("pg_ctl"), {"-w", "-t", "120", "-D", dataDir(), "-l", log, "start"}, 180000)) {
        QFile file(log);
        const QStringList lines = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n') : QStringList();
        return fail(m_why + QLatin1Char('\n') + lines.mid(lines.size() - 10).join(QLatin1Char('\n')));
    }
    return m_running = true;
}

bool PgScratch::stop(StopMode mode)
{
    const QString how = mode == StopMode::Fast ? QStringLiteral("fast") : QStringLiteral("immediate");
    if (m_running && !runTool(QStringLiteral("pg_ctl"), {"-w", "-t", "120", "-D", dataDir(), "-m", how, "stop"}, 180000))
        return false;
    m_running = false;
    return true;
}

bool PgScratch::restart(StopMode mode) { return stop(mode) && start(); }

QString PgScratch::url(const QString &database) const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(QLatin1String(superuser)).arg(m_port).arg(database);
}

QProcessEnvironment PgScratch::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), m_password);
    return environment;
}

QString PgScratch::createDatabase(const QString &name)
{
    bool ok = false;
    query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name), &ok);
    return ok ? url(name) : QString();
}

QString PgScratch::query(const QString &database, const QString &sql, bool *ok)
{
    bool ignored = false;
    *(ok = ok ? ok : &ignored) = false;
    const QString name = QStringLiteral("pgscratch %1 %2").arg(m_port).arg(database);
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(m_port);
        db.setUserName(QLatin1String(superuser));
        db.setPassword(m_password);
        db.setDatabaseName(database);
        m_connections.append(name);
    }
    QSqlQuery query(db);
    // A restart of the server ends the connection kept from before.
    if (!db.isOpen() || !query.exec(sql)) {
        db.close();
        query = QSqlQuery(db);
        if (!db.open() || !query.exec(sql)) {
            m_why = QStringLiteral("%1: %2").arg(sql, db.isOpen() ? query.lastError().text() : db.lastError().text());
            return QString();
        }
    }
    QStringList rows;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns.append(query.value(i).toString());
        rows.append(columns.join(QLatin1Char('|')));
    }
    *ok = true;
    return rows.join(QLatin1Char('\n'));
}
